#pragma once

// Small helpers shared by the Blu-ray tests.
#include <QBuffer>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QImage>
#include <QString>
#include <QtEndian>

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/Files.h"
#include "media/MplsReader.h"
#include "tools/gen-bluray/BlurayWriter.h"

namespace bdtest {

// The address sanitizer reserves far more than any data limit.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

using kzp::test::writeBytes;

inline genbd::Stream videoStream() {
    return genbd::Stream{1, 0x1011, 0x1B, "", 0x61, 0};
}
inline genbd::Stream audioStream(const QByteArray& lang, quint8 coding = 0x81, quint16 pid = 0x1100) {
    return genbd::Stream{1, pid, coding, lang, 0x31, 0};
}
inline genbd::Stream subtitleStream(const QByteArray& lang, quint8 coding = 0x90, quint16 pid = 0x1200) {
    return genbd::Stream{1, pid, coding, lang, 0, 1};
}

// A play item of `clip` from `from` to `to` seconds (45 kHz ticks when `ticks`).
inline genbd::PlayItem playItem(const QByteArray& clip, quint32 from, quint32 to, bool ticks = false) {
    genbd::PlayItem item;
    item.clip = clip;
    item.inTime = ticks ? from : from * 45000;
    item.outTime = ticks ? to : to * 45000;
    item.video = {videoStream()};
    item.audio = {audioStream("eng")};
    return item;
}

// Outputs of one read, started with recognisable contents.
struct Outputs {
    QList<ClipInfo> clips{ClipInfo{9, 9, 9, "UNTOUCHED"}};
    QList<StreamInfo> subtitles{StreamInfo{9, "untouched"}};
    QList<StreamInfo> audio{StreamInfo{9, "untouched"}};
    QList<qint32> chapters{9};

    bool untouched() const {
        return clips.size() == 1 && clips[0].clipName == "UNTOUCHED" && subtitles.size() == 1 &&
               subtitles[0].label == "untouched" && audio.size() == 1 && audio[0].label == "untouched" &&
               chapters == QList<qint32>{9};
    }
    qint32 read(MplsReader& reader, const QString& path) {
        return reader.readPlaylist(path, clips, subtitles, audio, chapters);
    }
    qint32 read(MplsReader& reader, const QByteArray& bytes) {
        return reader.readPlaylistData(bytes.constData(), bytes.size(), clips, subtitles, audio, chapters);
    }
};

inline QStringList labels(const QList<StreamInfo>& streams) {
    QStringList out;
    for (const StreamInfo& s : streams)
        out << s.label;
    return out;
}

// Runs `work` in a child process and returns what it produced, or nothing
// when the child did not end within `timeoutMs` (it is then killed) or died.
// A read that blocks or never ends thus fails the test instead of hanging
// it. Outside the sanitizers the child's memory is capped unless `capMemory`
// is false, so an endless read ends early too.
inline std::optional<QByteArray> inChild(const std::function<QByteArray()>& work, int timeoutMs = 10000,
                                         bool capMemory = true) {
    int ends[2];
    if (::pipe(ends) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::close(ends[0]);
        const rlimit cap{rlim_t(1) << 30, rlim_t(1) << 30};
        if (capMemory && !kAddressSanitizer)
            ::setrlimit(RLIMIT_DATA, &cap);
        const QByteArray out = work();
        for (qsizetype sent = 0; sent < out.size();) {
            const ssize_t n = ::write(ends[1], out.constData() + sent, size_t(out.size() - sent));
            if (n <= 0)
                ::_exit(3);
            sent += n;
        }
        ::_exit(0); // no destructors: they belong to the parent (temporary folders)
    }
    ::close(ends[1]);
    QByteArray out;
    bool ended = false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        pollfd p{ends[0], POLLIN, 0};
        if (::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char piece[4096];
        const ssize_t n = ::read(ends[0], piece, sizeof piece);
        if (n <= 0) {
            ended = n == 0;
            break;
        }
        out.append(piece, n);
    }
    ::close(ends[0]);
    if (!ended)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

// Names `count` playlist files 00000.mpls, 00001.mpls ... in `folder`, each a
// hard link to `source` (creating that many files takes seconds on a busy disk).
inline bool linkCopies(const QString& source, const QString& folder, int count) {
    const QByteArray from = QFile::encodeName(source), base = QFile::encodeName(folder) + '/';
    for (int n = 0; n < count; ++n)
        if (::link(from.constData(),
                   (base + QByteArray::number(n).rightJustified(5, '0') + ".mpls").constData()))
            return false;
    return true;
}

// Makes a named pipe at `path`.
inline bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Lets a reader stuck opening the pipe at `path` go on once `timeoutMs` have
// passed, by opening and closing the writing end, and tells whether it had
// to. For code that must run on the test's own thread (widgets): old code
// that blocked on the pipe then fails the test instead of hanging it.
class PipeRelease {
public:
    PipeRelease(const QString& path, int timeoutMs = 10000)
        : name(QFile::encodeName(path)), worker([this, timeoutMs] { run(timeoutMs); }) {}
    ~PipeRelease() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        wake.notify_all();
        worker.join();
    }
    bool released() const { return fired; }

private:
    void run(int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex);
        if (wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return stop; }))
            return;
        fired = true;
        // A reader may open the pipe again after each release.
        while (!wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop; })) {
            const int end = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (end >= 0)
                ::close(end);
        }
    }
    const QByteArray name;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::atomic<bool> fired{false};
    std::thread worker;
};

// A picture file of `size` in `format` ("PNG" or "JPEG").
inline QByteArray pictureBytes(QSize size, const char* format) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The CRC of a PNG chunk's type and data.
inline quint32 pngCrc(const QByteArray& typeAndData) {
    quint32 crc = 0xFFFFFFFF;
    for (const char c : typeAndData) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// A PNG chunk: length, type, data, CRC.
inline QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    const QByteArray body = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian(pngCrc(body), crc.data());
    return chunk + body + crc;
}

// A small real picture whose header then claims `width` x `height`.
inline QByteArray claimingSize(const char* format, quint16 width, quint16 height) {
    QByteArray bytes = pictureBytes(QSize(8, 8), format);
    auto put = [&bytes](qsizetype at, quint32 value, int count) {
        for (int i = 0; i < count; ++i)
            bytes[at + i] = char(value >> (8 * (count - 1 - i)));
    };
    if (QByteArray(format) == "PNG") {
        // IHDR starts at 8: length, "IHDR", width, height, 5 more bytes, CRC.
        put(16, width, 4);
        put(20, height, 4);
        put(29, pngCrc(bytes.mid(12, 17)), 4);
    } else {
        // Baseline frame header: FF C0, length, precision, height, width.
        const qsizetype sof = bytes.indexOf("\xFF\xC0");
        put(sof + 5, height, 2);
        put(sof + 7, width, 2);
    }
    return bytes;
}

} // namespace bdtest
