#pragma once

// A folder on a full file system. Where the process may mount (root in CI), a
// 64 KiB tmpfs filled to its last byte; otherwise a plain folder, while no
// file of this process may grow past 4 bytes (RLIMIT_FSIZE, SIGXFSZ ignored),
// which fails a write the same way. Header-only.

#include <QFile>
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
        mounted = ::mount("kzp-full", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
        if (prepare)
            prepare(dir.path());
        if (mounted) {
            static const char block[4096] = {};
            const int fd = ::open((where + "/.filler").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            for (size_t piece : {sizeof block, size_t(1)})
                while (fd >= 0 && ::write(fd, block, piece) > 0) {
                }
            ::close(fd);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &saved);
        handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() {
        if (mounted) {
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
        } else {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, handler);
        }
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    bool mounted = false;
    rlimit saved{};
    void (*handler)(int) = nullptr;
};

} // namespace kzp::test
