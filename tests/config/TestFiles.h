#pragma once

// Small file helpers for the configuration tests.

#include <QByteArray>
#include <QString>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include "common/Files.h"

namespace kzp::test {

namespace config {
// The configuration tests tell a missing file from an empty one: what cannot
// be read shows as "<unreadable>".
inline QByteArray readBytes(const QString& path) {
    return kzp::test::readBytes(path, QByteArrayLiteral("<unreadable>"));
}
} // namespace config

// While it exists, no file of this process can grow past a few bytes: every
// larger write fails as on a full disk. Unlike file modes this holds for root.
class WriteFailure {
public:
    explicit WriteFailure(rlim_t largestFile = 4) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = largestFile;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~WriteFailure() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    WriteFailure(const WriteFailure&) = delete;
    WriteFailure& operator=(const WriteFailure&) = delete;

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

inline bool runningAsRoot() {
    return ::geteuid() == 0;
}

} // namespace kzp::test
