#include "tools/launcher/EngineArguments.h"

QString escapeFilterValue(const QString& text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char(','), QLatin1String("\\,"));
}

void adaptEngineArguments(QStringList& arguments, const QByteArray& videoOutput,
                          const QByteArray& audioOutput, const QStringList& videoOptions) {
    QString outputs = QString::fromLocal8Bit(videoOutput);
    while (outputs.endsWith(QLatin1Char(',')))
        outputs.chop(1);
    if (outputs.isEmpty())
        outputs = QLatin1String(kDefaultVideoOutputs);
    // Only the option itself, never a source path that happens to read "-vo".
    const int at = arguments.indexOf(QStringLiteral("-vo"));
    if (at >= 0) {
        if (at + 1 < arguments.size())
            arguments[at + 1] = outputs;
        else
            arguments.append(outputs);
        for (int i = 0; i < videoOptions.size(); ++i)
            arguments.insert(at + 2 + i, videoOptions[i]);
        arguments.insert(at + 2 + videoOptions.size(), QLatin1String(kSubtitleRenderer));
    }
    const QLatin1String screenshot("screenshot=");
    const int filter = arguments.indexOf(QStringLiteral("-vf"));
    if (filter >= 0 && filter + 1 < arguments.size() && arguments[filter + 1].startsWith(screenshot))
        arguments[filter + 1] = screenshot + escapeFilterValue(arguments[filter + 1].mid(screenshot.size()));
    if (!audioOutput.isEmpty()) {
        arguments.prepend(QString::fromLocal8Bit(audioOutput));
        arguments.prepend(QStringLiteral("-ao"));
    }
}

unsigned long windowIdArgument(const QStringList& arguments) {
    const int at = arguments.indexOf(QStringLiteral("-wid"));
    if (at < 0 || at + 1 >= arguments.size())
        return 0;
    bool ok = false;
    const qulonglong id = arguments[at + 1].toULongLong(&ok, 10);
    return ok && id <= 0xffffffffULL ? (unsigned long)(id) : 0;
}
