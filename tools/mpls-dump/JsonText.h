#pragma once

// Minimal JSON text building that keeps keys in the order they are written.
#include <QByteArray>
#include <QList>
#include <QString>

#include "media/MplsTypes.h"

namespace jsontext {

inline QByteArray quote(const QString& text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u == '\n') {
            out += "\\n";
        } else if (u == '\r') {
            out += "\\r";
        } else if (u == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            out += QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0');
        } else {
            out += QString(c).toUtf8();
        }
    }
    return out + '"';
}

inline QByteArray numbers(const QList<qint32>& values) {
    QByteArray out = "[";
    for (qsizetype i = 0; i < values.size(); ++i)
        out += (i ? ", " : "") + QByteArray::number(values[i]);
    return out + ']';
}

inline QByteArray streams(const QList<StreamInfo>& values) {
    QByteArray out = "[";
    for (qsizetype i = 0; i < values.size(); ++i)
        out += (i ? ", " : "") + QByteArray("{\"label\": ") + quote(values[i].label) +
               ", \"pid\": " + QByteArray::number(values[i].pid) + '}';
    return out + ']';
}

inline QByteArray clips(const QList<ClipInfo>& values) {
    QByteArray out = "[";
    for (qsizetype i = 0; i < values.size(); ++i) {
        const ClipInfo& c = values[i];
        out += (i ? ", " : "") + QByteArray("{\"inTime\": ") + QByteArray::number(c.inTime) +
               ", \"startTime\": " + QByteArray::number(c.startTime) +
               ", \"clipDuration\": " + QByteArray::number(c.clipDuration) +
               ", \"clipName\": " + quote(QString::fromLatin1(c.clipName)) + '}';
    }
    return out + ']';
}

} // namespace jsontext
