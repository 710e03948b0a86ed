#pragma once

#include <QByteArray>
#include <QString>

// Clock text of whole seconds: "hh:mm:ss" (hours grow past two digits).
QByteArray formatTime(qint64 seconds);
// Whole seconds of a text starting "h:m:s"; unreadable parts count 0.
qint64 parseDurationText(const QByteArray& text);
inline qint64 parseDurationText(const QString& text) {
    return parseDurationText(text.toLatin1());
}
// Conversions between 8-bit text in the local code page and Unicode text.
QString localToWide(const QByteArray& text);
QByteArray wideToLocal(const QString& text);
