#include "tools/launcher/EngineArguments.h"

void adaptEngineArguments(QStringList& arguments, const QByteArray& videoOutput,
                          const QByteArray& audioOutput) {
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
    }
    if (!audioOutput.isEmpty()) {
        arguments.prepend(QString::fromLocal8Bit(audioOutput));
        arguments.prepend(QStringLiteral("-ao"));
    }
}
