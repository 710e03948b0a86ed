// disc-dump FOLDER: prints the titles the player offers for a Blu-ray folder, as JSON.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "media/DiscScan.h"
#include "tools/mpls-dump/JsonText.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: disc-dump FOLDER\n");
        return 2;
    }
    const QString folder = args[0];
    const QFileInfo playlists(folder + QStringLiteral("/BDMV/PLAYLIST"));
    if (!QFileInfo(folder).isDir() || !playlists.isDir() || !playlists.isReadable() ||
        !QDir(playlists.filePath()).isReadable()) {
        std::fprintf(stderr,
                     "disc-dump: cannot read the playlists of %s (no readable BDMV/PLAYLIST folder)\n",
                     qPrintable(folder));
        return 1;
    }
    const DiscInfo disc = scanDisc(folder);
    QByteArray out = "{\"folder\": " + jsontext::quote(folder) +
                     ", \"name\": " + jsontext::quote(QString::fromLocal8Bit(disc.name)) +
                     ", \"thumbnail\": " + jsontext::quote(QFile::decodeName(disc.thumbnail)) +
                     ", \"sourceKey\": " + jsontext::quote(disc.sourceKey()) + ", \"titles\": [";
    for (qsizetype i = 0; i < disc.titles.size(); ++i) {
        const DiscTitle& t = disc.titles[i];
        out += (i ? ",\n  " : "\n  ") + QByteArray("{\"number\": ") + QByteArray::number(t.number) +
               ", \"playlist\": " + jsontext::quote(t.playlist) +
               ", \"duration\": " + jsontext::quote(t.duration) +
               ", \"chapters\": " + jsontext::numbers(t.chapters) +
               ", \"audio\": " + jsontext::streams(t.audio) +
               ", \"subtitles\": " + jsontext::streams(t.subtitles) + '}';
    }
    out += disc.titles.isEmpty() ? "]}\n" : "\n]}\n";
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
