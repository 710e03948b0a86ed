#include "media/DiscFile.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcDiscFileGate, "kzp.gate.discfile", QtWarningMsg)

DiscFile::~DiscFile() {
    close();
}

namespace {
QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The shared reader's faults keep this class's own codes.
qint32 discResult(int result) {
    if (result == EBADF)
        return DiscFile::kNotOpen;
    return result == EIO ? DiscFile::kReadFault : result;
}
} // namespace

DiscFolder::DiscFolder(const QString& folder) : bound(true) {
    // The user may reach the disc itself through a link: that one counts.
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (!real.isEmpty())
        inside = withSlash(real);
}

QString DiscFolder::locate(const QString& path) const {
    if (!bound)
        return path;
    if (inside.isEmpty())
        return QString();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QStringView name = QStringView(path).mid(slash + 1);
    if (slash < 0 || name.isEmpty() || name == u"." || name == u"..")
        return QString();
    const QStringView folder = QStringView(path).left(slash + 1);
    if (folder != lastFolder) {
        lastFolder = folder.toString();
        const QString real = QFileInfo(lastFolder).canonicalFilePath();
        lastResolved = real.isEmpty() ? QString() : withSlash(real);
        if (!lastResolved.startsWith(inside))
            lastResolved.clear();
    }
    if (lastResolved.isEmpty())
        return QString();
    // No link on the way (the common case): the name as given.
    return lastResolved == lastFolder ? path : lastResolved + name.toString();
}

qint32 DiscFile::open(const QString& path, const DiscFolder& disc) {
    close();
    if (path.isEmpty() || path.contains(QChar(0)))
        return ENOENT;
    qint32 result;
    if (!disc.isBound()) {
        result = file.open(path);
    } else {
        const QString located = disc.locate(path);
        // The file itself may not be a link, wherever it leads.
        result = located.isEmpty() ? EXDEV : file.open(located, RegularFile::NoLinks);
    }
    // A missing file is no refusal: discs leave out what they do not need.
    if (result != 0 && result != ENOENT)
        qCInfo(lcDiscFileGate).noquote() << "refused" << path << std::strerror(result);
    return result;
}

qint32 DiscFile::readAt(char* buffer, qint64 count, qint64 offset, qint64& done) {
    return discResult(file.readAt(buffer, count, offset, done));
}

void DiscFile::close() {
    file.close();
}

qint32 readDiscFile(const QString& path, qint64 limit, QByteArray& bytes, const DiscFolder& disc) {
    DiscFile in;
    const qint32 opened = in.open(path, disc);
    if (opened != 0)
        return opened;
    const qint32 read = discResult(in.file.readAll(limit, bytes));
    if (read != 0)
        qCInfo(lcDiscFileGate).noquote() << "refused" << path << "(" << read << ")";
    return read;
}
