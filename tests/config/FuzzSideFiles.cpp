// Fuzz entry for the side-file gate: the first byte chooses what stands at the
// side files' names (a regular file holding the rest, a FIFO, a link to
// /dev/zero, a folder); every reader returns at once and gives only what a
// regular file within its bound holds.
#include <cstdint>
#include <cstdlib>

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
    if (size == 0)
        return 0;
    const int kind = data[0] % 4;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const QString folder = dir.path() + QLatin1Char('/');
    for (const char* name : {"RecentConfig.txt", "OutputPath.txt", "config.ini"}) {
        const QByteArray path = QFile::encodeName(folder) + name;
        ::unlink(path.constData());
        ::rmdir(path.constData());
        QFile file(QFile::decodeName(path));
        if (kind == 0   ? !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()
            : kind == 1 ? ::mkfifo(path.constData(), 0600) != 0
            : kind == 2 ? ::symlink("/dev/zero", path.constData()) != 0
                        : ::mkdir(path.constData(), 0700) != 0)
            std::abort();
    }
    const bool regular = kind == 0;
    const QStringList recent = readRecentFiles(folder + QStringLiteral("RecentConfig.txt"));
    if (recent.size() > 10 || (!regular && !recent.isEmpty()))
        std::abort();
    for (const QString& entry : recent) {
        // Whole lines of the file, kept byte for byte.
        const QByteArray line = entry.toLocal8Bit();
        if (line.isEmpty() || line.contains('\n') || QString::fromLocal8Bit(line) != entry ||
            !bytes.contains(line))
            std::abort();
    }
    const bool pathRead = regular && bytes.size() <= kOutputPathLimit;
    if (readOutputPath(folder) != (pathRead ? QString::fromLocal8Bit(bytes) : QString()))
        std::abort();
    IniFile ini;
    if (ini.load(folder + QStringLiteral("config.ini")) != (regular && bytes.size() <= kIniFileLimit))
        std::abort();
    return 0;
}
