// gen-bluray: writes Blu-ray test material.
//   gen-bluray disc FOLDER          a small playable disc (clips made with ffmpeg)
//   gen-bluray many FOLDER COUNT    COUNT playlists, mostly duplicates, no clips
//   gen-bluray seeds FOLDER         fuzzing seeds in FOLDER/playlist and FOLDER/metadata
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

#include "tools/gen-bluray/BlurayWriter.h"

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "gen-bluray: %s\n", qPrintable(message));
    return 1;
}

bool writeSeeds(const QString& folder, const QList<QPair<QString, QByteArray>>& seeds) {
    if (!QDir().mkpath(folder))
        return false;
    for (const auto& [name, bytes] : seeds) {
        QFile file(folder + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return fail("usage: gen-bluray disc FOLDER | many FOLDER COUNT | seeds FOLDER");
    const QString command = args[0];
    const QString folder = args[1];
    QString error;
    if (command == QLatin1String("disc")) {
        if (!genbd::writeDisc(folder, genbd::sampleDisc(), &error))
            return fail(error);
    } else if (command == QLatin1String("many")) {
        bool ok = false;
        const int count = args.value(2).toInt(&ok);
        if (!ok || count < 1 || count > 99999)
            return fail("COUNT must be a number from 1 to 99999");
        if (!genbd::writeDisc(folder, genbd::manyPlaylistsDisc(count), &error))
            return fail(error);
    } else if (command == QLatin1String("seeds")) {
        if (!writeSeeds(folder + "/playlist", genbd::seedPlaylists()) ||
            !writeSeeds(folder + "/metadata", genbd::seedMetadata()))
            return fail("cannot write seeds under " + folder);
    } else {
        return fail("unknown command " + command);
    }
    return 0;
}
