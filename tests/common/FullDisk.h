#pragma once

// A folder on a full file system, for the failed-write cases. Where the
// process may mount (root in CI), a 64 KiB tmpfs is mounted on a fresh
// folder and filled to the last block; otherwise writes of this process are
// limited to a few bytes (RLIMIT_FSIZE, SIGXFSZ ignored), which fails a write
// the same way. Header-only.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kzp::test {

class FullDisk {
public:
    // `prepare` runs on the folder while it can still be written.
    explicit FullDisk(const std::function<void(const QString&)>& prepare = {}) {
        const QByteArray where = QFile::encodeName(dir.path());
        mounted =
            ::mount("kzp-full", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") == 0;
        if (prepare)
            prepare(dir.path());
        if (mounted) {
            const QByteArray filler = where + "/.filler";
            const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            const QByteArray block(4096, 'f');
            while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
            }
            // The last partial block too.
            while (fd >= 0 && ::write(fd, block.constData(), 1) > 0) {
            }
            if (fd >= 0)
                ::close(fd);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() {
        if (mounted) {
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
            return;
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // The folder to write into: on the full tmpfs, or a plain one under the limit.
    QString path() const { return dir.path(); }
    bool isTmpfs() const { return mounted; }

private:
    QTemporaryDir dir;
    bool mounted = false;
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

} // namespace kzp::test
