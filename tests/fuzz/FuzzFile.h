#pragma once
// The fuzz input as a regular file kept in memory, so that the disc readers
// take it by name through the same bounded open and read as a file on a disc.
#include <QString>

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

inline QString fuzzInputFile(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        return QString();
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0)
            return QString();
        done += size_t(n);
    }
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}
