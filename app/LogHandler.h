#pragma once

#include <QtGlobal>

class QMessageLogContext;
class QString;

// Process-wide message handler: appends each debug message as "Debug: <text>"
// and a line feed to "Log.txt" in the current working directory. Warnings,
// critical and fatal messages are dropped. Failures to write are silent.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
