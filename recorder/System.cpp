#include "System.hpp"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "Files.hpp"

namespace qv58163::recorder {

namespace {

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

#if defined(_WIN32)

// Without POSIX signal masks: a flag the handler sets, looked at between short sleeps. Ctrl+C,
// Ctrl+Break and closing the console window all ask for a stop.
volatile LONG stopRequested = 0;
// Set once the run has stopped the card and closed the driver (SystemSurroundings' end).
HANDLE runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI askStop(DWORD event) {
    InterlockedExchange(&stopRequested, 1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process as soon as this returns (at the latest after 5 s): hold it
        // until the run has let go of the card.
        WaitForSingleObject(runEnded, 4500);
    }
    return TRUE;
}

class FileOutput final : public RowOutput {
public:
    explicit FileOutput(std::FILE *file) : file_(file) {}
    ~FileOutput() override {
        if (file_ != stdout) {
            std::fclose(file_);
        }
    }
    Result write(const QByteArray &row) override {
        const long before = std::ftell(file_);
        if (std::fwrite(row.constData(), 1, static_cast<std::size_t>(row.size()), file_) ==
                static_cast<std::size_t>(row.size()) &&
            std::fflush(file_) == 0) {
            return Result::Written;
        }
        error_ = errno;
        if (before >= 0 && file_ != stdout) {
            _chsize(_fileno(file_), before);  // the row whole or not at all
        }
        return error_ == EPIPE || error_ == EINVAL ? Result::Closed : Result::Failed;
    }
    QString errorString() const override { return errorText(error_); }

private:
    std::FILE *file_;
    int error_ = 0;
};

// Whether an open file is one on a disk, not a device (NUL, CON, COM1, ...).
bool isDiskFile(std::FILE *file) {
    return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) == FILE_TYPE_DISK;
}

#else

sigset_t stopSignals;

// Rows go straight to the file descriptor, one write() each: once it returns the row is the
// kernel's, and survives this process being killed. A row the file takes only in part (a full
// disk, the file size limit) is cut off again, so the file ends with the previous row.
class FileOutput final : public RowOutput {
public:
    explicit FileOutput(int fd) : fd_(fd) {
        struct stat status {};
        regular_ = fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
        if (regular_) {
            end_ = lseek(fd_, 0, SEEK_CUR);
        }
    }
    ~FileOutput() override {
        if (fd_ != STDOUT_FILENO) {
            ::close(fd_);
        }
    }
    Result write(const QByteArray &row) override {
        const char *data = row.constData();
        qsizetype left = row.size();
        while (left > 0) {
            const ssize_t written = ::write(fd_, data, static_cast<std::size_t>(left));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error_ = errno;
                if (regular_ && end_ >= 0 && ftruncate(fd_, end_) == 0) {
                    lseek(fd_, end_, SEEK_SET);
                }
                return error_ == EPIPE ? Result::Closed : Result::Failed;
            }
            data += written;
            left -= written;
        }
        if (regular_ && end_ >= 0) {
            end_ += row.size();
        }
        return Result::Written;
    }
    QString errorString() const override { return errorText(error_); }

private:
    int fd_;
    bool regular_ = false;
    off_t end_ = -1;  // where the last whole row ends
    int error_ = 0;
};

// --force: a regular file (also through a symbolic link) is opened and emptied, or a new one
// created. Anything else is refused without being opened, and again once open should it have
// been put there meanwhile: O_NONBLOCK lets the open of a FIFO return at once instead of waiting
// for a reader. -1 with `error` set when refused, else with errno.
int openOverRegular(const QString &name, QString &error) {
    if (fileKind(name) == FileKind::Other) {
        error = notRegularText();
        return -1;
    }
    const int fd = ::open(QFile::encodeName(name).constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        if (errno == ENXIO) {
            error = notRegularText();  // a FIFO without a reader
        }
        return -1;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        error = notRegularText();
        return -1;
    }
    if (ftruncate(fd, 0) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int failure = errno;
        ::close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

#endif

}  // namespace

void SystemSurroundings::takeStopSignals() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(askStop, TRUE);
    // Rows end in a line feed on standard output as in a file, not in CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#else
    sigemptyset(&stopSignals);
    for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // A signal the process was started with ignored (a background job of a script) stays so.
        if (sigaction(stopSignal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&stopSignals, stopSignal);
        }
    }
    // Blocked, the signals wait as pending until the run takes them: no handler runs anywhere,
    // and no driver call or write is interrupted.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

SystemSurroundings::~SystemSurroundings() {
#if defined(_WIN32)
    SetEvent(runEnded);
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

bool SystemSurroundings::stopAsked() {
#if defined(_WIN32)
    return stopRequested != 0;
#else
    if (!stopped_) {
        const timespec none{0, 0};
        stopped_ = sigtimedwait(&stopSignals, nullptr, &none) > 0;
    }
    return stopped_;
#endif
}

bool SystemSurroundings::waitUntil(TimePoint deadline) {
#if defined(_WIN32)
    for (;;) {
        if (stopRequested != 0) {
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
    if (replace && fileKind(name) == FileKind::Other) {
        error = notRegularText();
        return nullptr;
    }
    std::FILE *file =
        _wfopen(reinterpret_cast<const wchar_t *>(name.utf16()), replace ? L"wb" : L"wbx");
    if (file == nullptr) {
        error = errorText(errno);
        return nullptr;
    }
    if (replace && !isDiskFile(file)) {
        std::fclose(file);
        error = notRegularText();
        return nullptr;
    }
    return std::make_unique<FileOutput>(file);
#else
    if (name.isEmpty()) {
        return std::make_unique<FileOutput>(STDOUT_FILENO);
    }
    // Without --force the file must not exist at this moment either.
    const int fd = replace ? openOverRegular(name, error)
                           : ::open(QFile::encodeName(name).constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error.isEmpty()) {
            error = errorText(errno);
        }
        return nullptr;
    }
    return std::make_unique<FileOutput>(fd);
#endif
}

QString SystemSurroundings::writeNewFile(const QString &name, const QByteArray &bytes, bool replace,
                                         QString &keptAs) {
    return recorder::writeNewFile(name, bytes, replace, keptAs);
}

card::CardLock SystemSurroundings::holdCard(int card) {
    return card::CardLock::take(card);
}

QString SystemSurroundings::whyNoCardLocks() {
    return card::CardLock::whyNoLocks();
}

bool SystemSurroundings::progressShows(bool rowsOnStandardOutput) const {
#if defined(_WIN32)
    return _isatty(2) != 0 && !(rowsOnStandardOutput && _isatty(1) != 0);
#else
    return isatty(STDERR_FILENO) != 0 && !(rowsOnStandardOutput && isatty(STDOUT_FILENO) != 0);
#endif
}

void SystemSurroundings::message(const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace qv58163::recorder
