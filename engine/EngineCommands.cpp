#include "engine/EngineCommands.h"

QStringList engineArguments(quint64 windowId, const QString& screenshotFolder, const Source& source) {
    QStringList arguments{QStringLiteral("-demuxer"), QStringLiteral("lavf"), QStringLiteral("-ni"),
                          QStringLiteral("-slave"), QStringLiteral("-quiet")};
    arguments << QStringLiteral("-wid") << QString::number(windowId);
    arguments << QStringLiteral("-vo") << QStringLiteral("direct3d") << QStringLiteral("-lavdopts")
              << QStringLiteral("threads=4");
    arguments << QStringLiteral("-vf") << QStringLiteral("screenshot=") + screenshotFolder;
    arguments << QStringLiteral("-af") << QStringLiteral("channels=6,volume=5.1:1");
    if (source.kind == SourceKind::Dvd) {
        arguments << QStringLiteral("dvd://1") << QStringLiteral("-dvd-device");
    } else if (source.kind == SourceKind::BluRay) {
        if (!source.titleChosen)
            arguments << QStringLiteral("br://0") << QStringLiteral("-bluray-device");
        else if (source.hasTitle)
            arguments << QStringLiteral("br://%1").arg(source.title) << QStringLiteral("-bluray-device");
    }
    // A lone path starting with "-" would be read as an option; "./" names the
    // same file. After a "-...-device" option it is that option's value anyway.
    const bool isOptionValue = arguments.last().endsWith(QLatin1String("-device"));
    if (!isOptionValue && source.path.startsWith(QLatin1Char('-')))
        arguments << QStringLiteral("./") + source.path;
    else
        arguments << source.path;
    return arguments;
}

QString enginePlayingName(const QStringList& arguments) {
    const qsizetype n = arguments.size();
    if (n >= 3 && arguments.at(n - 2).startsWith(QLatin1Char('-')) &&
        arguments.at(n - 2).endsWith(QLatin1String("-device")))
        return arguments.at(n - 3);
    return n > 0 ? arguments.last() : QString();
}
