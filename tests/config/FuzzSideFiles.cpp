// Fuzz entry for the side-file gate: the first byte chooses what stands at
// the side files' names (a regular file holding the rest, a FIFO, a link to
// /dev/zero, a folder); every reader must return at once, within its bound,
// and give only what a regular file within that bound holds.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "config/DataFolder.h"
#include "config/IniFile.h"
#include "config/RecentFiles.h"
#include "config/SideFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    if (size == 0 || !dir.isValid())
        return 0;
    const int kind = data[0] % 4;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const QString folder = dir.path() + QLatin1Char('/');
    const QStringList names{QStringLiteral("RecentConfig.txt"), QStringLiteral("OutputPath.txt"),
                            QStringLiteral("config.ini")};
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder + name);
        ::unlink(path.constData());
        ::rmdir(path.constData());
        bool made = false;
        if (kind == 0) {
            QFile file(folder + name);
            made = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        } else if (kind == 1) {
            made = ::mkfifo(path.constData(), 0600) == 0;
        } else if (kind == 2) {
            made = ::symlink("/dev/zero", path.constData()) == 0;
        } else {
            made = ::mkdir(path.constData(), 0700) == 0;
        }
        if (!made)
            std::abort();
    }
    const bool regular = kind == 0;

    const QStringList recent = readRecentFiles(folder + names[0]);
    if (recent.size() > 10 || (!regular && !recent.isEmpty()))
        std::abort();
    for (const QString& entry : recent) {
        const QByteArray line = entry.toLocal8Bit();
        // Whole lines of the file, kept byte for byte.
        if (line.isEmpty() || line.contains('\n') || QString::fromLocal8Bit(line) != entry ||
            !bytes.contains(line))
            std::abort();
    }

    const QString output = readOutputPath(folder);
    const bool outputRead = regular && bytes.size() <= kOutputPathLimit;
    if (output != (outputRead ? QString::fromLocal8Bit(bytes) : QString()))
        std::abort();

    IniFile ini;
    if (ini.load(folder + names[2]) != (regular && bytes.size() <= kIniFileLimit))
        std::abort();
    return 0;
}
