#include "app/LogHandler.h"

#include <QFile>
#include <QString>

void logMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg)
        return;
    // Opened and closed per message, so nothing stays open and every line is
    // on disk as soon as it is written.
    QFile file(QStringLiteral("Log.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(QStringLiteral("Debug: %1\n").arg(message).toLocal8Bit());
}
