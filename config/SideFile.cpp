#include "config/SideFile.h"

#include <QLoggingCategory>

#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcSideFileGate, "kzp.gate.sidefile", QtWarningMsg)

int readSideFile(const QString& path, qint64 limit, QByteArray& bytes, RegularFile::Bound bound) {
    bytes.clear();
    const int result = readRegularFile(path, limit, bytes, bound);
    // A missing file is the usual case of a first start, not a refusal.
    if (result != 0 && result != ENOENT)
        qCInfo(lcSideFileGate).noquote() << "refused" << path << std::strerror(result);
    return result;
}
