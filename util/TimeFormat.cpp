#include "util/TimeFormat.h"

#include <cstdio>

QByteArray formatTime(qint64 seconds) {
    char buffer[255];
    if (seconds < 0) {
        std::snprintf(buffer, sizeof buffer, "00:00:%02d", static_cast<qint32>(seconds));
    } else if (seconds >= 3600) {
        const qint64 hours = seconds / 3600;
        const qint64 minutes = (seconds - hours * 3600) / 60;
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds % 60));
    } else if (seconds >= 60) {
        std::snprintf(buffer, sizeof buffer, "00:%02lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(buffer, sizeof buffer, "00:00:%02lld", static_cast<long long>(seconds));
    }
    return QByteArray(buffer);
}

namespace {
// Absurd texts (endless digit runs) saturate instead of overflowing.
qint64 addSaturated(qint64 a, qint64 b) {
    return a > INT64_MAX - b ? INT64_MAX : a + b;
}
qint64 multiplySaturated(qint64 value, qint64 factor) {
    return value > INT64_MAX / factor ? INT64_MAX : value * factor;
}

// Leading decimal integer from position i (blanks skipped); 0 when there is none.
qint64 leadingNumber(const QByteArray& text, int i) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    qint64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = addSaturated(multiplySaturated(value, 10), text[i] - '0');
    return value;
}
} // namespace

qint64 parseDurationText(const QByteArray& text) {
    qint64 total = multiplySaturated(leadingNumber(text, 0), 3600);
    const int first = text.indexOf(':');
    if (first >= 0) {
        total = addSaturated(total, multiplySaturated(leadingNumber(text, first + 1), 60));
        const int second = text.indexOf(':', first + 1);
        if (second >= 0)
            total = addSaturated(total, leadingNumber(text, second + 1));
    }
    return total;
}

QString localToWide(const QByteArray& text) {
    // Stops at an embedded terminator, as the zero-terminated original did.
    const int end = text.indexOf('\0');
    return QString::fromLocal8Bit(end < 0 ? text : text.left(end));
}

QByteArray wideToLocal(const QString& text) {
    const int end = text.indexOf(QChar(0));
    return (end < 0 ? text : text.left(end)).toLocal8Bit();
}
