#include "app/LogHandler.h"

#include <QString>

#include "util/SafeWrite.h"

void logMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg)
        return;
    // Opened and closed per message, so nothing stays open and every line is
    // on disk as soon as it is written. The folder the player was started
    // from may be shared: a link planted as Log.txt is not written through.
    appendToFile(QStringLiteral("Log.txt"), QStringLiteral("Debug: %1\n").arg(message).toLocal8Bit());
}
