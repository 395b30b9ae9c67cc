#include "System.hpp"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qv58163::recorder {

namespace {

#if defined(_WIN32)

// Without POSIX signal masks: a flag the handler sets, looked at between short sleeps.
volatile std::sig_atomic_t stopAsked = 0;

extern "C" void askStop(int) {
    stopAsked = 1;
}

class FileOutput final : public RowOutput {
public:
    explicit FileOutput(std::FILE *file) : file_(file) {}
    ~FileOutput() override {
        if (file_ != stdout) {
            std::fclose(file_);
        }
    }
    bool write(const QByteArray &bytes) override {
        return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file_) ==
                   static_cast<std::size_t>(bytes.size()) &&
               std::fflush(file_) == 0;
    }
    QString errorString() const override { return QString::fromLocal8Bit(std::strerror(errno)); }

private:
    std::FILE *file_;
};

#else

sigset_t stopSignals;

// Rows go straight to the file descriptor, one write() each: once it returns the row is the
// kernel's, and survives this process being killed.
class FileOutput final : public RowOutput {
public:
    explicit FileOutput(int fd) : fd_(fd) {}
    ~FileOutput() override {
        if (fd_ != STDOUT_FILENO) {
            ::close(fd_);
        }
    }
    bool write(const QByteArray &bytes) override {
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(fd_, data, static_cast<std::size_t>(left));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error_ = errno;
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    }
    QString errorString() const override { return QString::fromLocal8Bit(std::strerror(error_)); }

private:
    int fd_;
    int error_ = 0;
};

#endif

}  // namespace

void SystemSurroundings::takeStopSignals() {
#if defined(_WIN32)
    std::signal(SIGINT, askStop);
    std::signal(SIGTERM, askStop);
#else
    sigemptyset(&stopSignals);
    for (const int stopSignal : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        // A signal the process was started with ignored (a background job of a script) stays so.
        if (sigaction(stopSignal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&stopSignals, stopSignal);
        }
    }
    // Blocked, the signals wait as pending until waitUntil takes them: no handler runs anywhere,
    // and no driver call or write is interrupted.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

Surroundings::TimePoint SystemSurroundings::now() {
    return std::chrono::steady_clock::now();
}

std::int64_t SystemSurroundings::utcMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool SystemSurroundings::waitUntil(TimePoint deadline) {
#if defined(_WIN32)
    for (;;) {
        if (stopAsked != 0) {
            return false;
        }
        const auto left = deadline - now();
        if (left <= TimePoint::duration::zero()) {
            return true;
        }
        std::this_thread::sleep_for(
            std::min<TimePoint::duration>(left, std::chrono::milliseconds(50)));
    }
#else
    while (!stopped_) {
        const auto left = std::max(deadline - now(), TimePoint::duration::zero());
        const auto secondsLeft = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{static_cast<time_t>(secondsLeft.count()),
                               static_cast<long>((left - secondsLeft).count())};
        const int taken = sigtimedwait(&stopSignals, nullptr, &timeout);
        if (taken > 0) {
            stopped_ = true;
        } else if (errno == EAGAIN && now() >= deadline) {
            return true;
        }
        // EINTR (another signal's handler, a debugger) or an early wake-up: wait on.
    }
    return false;
#endif
}

std::unique_ptr<RowOutput> SystemSurroundings::createOutput(const QString &name, bool replace,
                                                            QString &error) {
#if defined(_WIN32)
    if (name.isEmpty()) {
        return std::make_unique<FileOutput>(stdout);
    }
    std::FILE *file = std::fopen(QFile::encodeName(name).constData(), replace ? "wb" : "wbx");
    if (file == nullptr) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return std::make_unique<FileOutput>(file);
#else
    if (name.isEmpty()) {
        return std::make_unique<FileOutput>(STDOUT_FILENO);
    }
    // Without --force the file must not exist at this moment either.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
    const int fd = ::open(QFile::encodeName(name).constData(), flags, 0666);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return std::make_unique<FileOutput>(fd);
#endif
}

bool SystemSurroundings::terminal() const {
#if defined(_WIN32)
    return _isatty(2) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void SystemSurroundings::message(const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace qv58163::recorder
