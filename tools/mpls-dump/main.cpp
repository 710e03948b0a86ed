// mpls-dump FILE...: prints what the player reads from Blu-ray playlist files, as JSON.
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

#include "media/MplsReader.h"
#include "tools/mpls-dump/JsonText.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: mpls-dump FILE...\n");
        return 2;
    }
    MplsReader reader;
    QByteArray out = "[";
    int unreadable = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString& file = files[i];
        const QFileInfo info(file);
        if (!info.isFile() || !info.isReadable()) {
            std::fprintf(stderr, "mpls-dump: cannot read %s\n", qPrintable(file));
            ++unreadable;
        }
        QList<ClipInfo> clips;
        QList<StreamInfo> subtitles, audio;
        QList<qint32> chapters;
        const qint32 result = reader.readPlaylist(file, clips, subtitles, audio, chapters);
        out += (i ? ",\n " : "\n ") + QByteArray("{\"file\": ") + jsontext::quote(file) +
               ", \"result\": " + QByteArray::number(result) + ", \"clips\": " + jsontext::clips(clips) +
               ", \"chapters\": " + jsontext::numbers(chapters) + ", \"audio\": " + jsontext::streams(audio) +
               ", \"subtitles\": " + jsontext::streams(subtitles) + '}';
    }
    out += "\n]\n";
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return unreadable ? 1 : 0;
}
