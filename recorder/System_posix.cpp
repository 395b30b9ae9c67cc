// The system calls of SystemCalls.hpp on Linux (and POSIX systems).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <utility>

#include "Files.hpp"
#include "SystemCalls.hpp"

namespace qv58163::recorder::platform {

namespace {

sigset_t stopSignals;

// Rows go straight to the file descriptor, one write() each: once it returns the row is the
// kernel's, and survives this process being killed. A row the file takes only in part (a full
// disk, the file size limit) is cut off again, so the file ends with the previous row.
class FileOutput final : public RowOutput {
public:
    // `folder`: the folder of a file just created, whose entry the first sync puts on the disk.
    explicit FileOutput(int fd, QByteArray folder = {}) : fd_(fd), newIn_(std::move(folder)) {
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
    bool sync() override {
        if (!regular_) {
            return true;  // a pipe or a terminal: nothing of it is on a disk
        }
        if (syncData(fd_) != 0) {
            error_ = errno;
            return false;
        }
        if (!newIn_.isEmpty()) {
            // Without its folder's entry on the disk too, a power cut could lose the whole file.
            const int folder = ::open(newIn_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const bool synced = folder >= 0 && (::fsync(folder) == 0 || errno == EINVAL);
            error_ = synced ? 0 : errno;
            if (folder >= 0) {
                ::close(folder);
            }
            if (!synced) {
                return false;
            }
            newIn_.clear();
        }
        return true;
    }
    QString errorString() const override { return errorText(error_); }

private:
    // The file's data and what is needed to read it back (its size), not its times.
    static int syncData(int fd) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
        return ::fdatasync(fd);
#else
        return ::fsync(fd);
#endif
    }

    int fd_;
    QByteArray newIn_;  // the folder whose entry for the file is not yet synced; empty: none
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

}  // namespace

void takeStopSignals() {
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
}

void runEnded() {}

Woken waitForStop(Surroundings::TimePoint::duration longest) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(longest);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>((longest - seconds).count())};
    if (sigtimedwait(&stopSignals, nullptr, &timeout) > 0) {
        return Woken::Stop;
    }
    return errno == EAGAIN ? Woken::Time : Woken::Early;
}

std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace, QString &error) {
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
    return std::make_unique<FileOutput>(fd, QFile::encodeName(QFileInfo(name).absolutePath()));
}

std::optional<std::int64_t> freeBytes(const QString &folder) {
    struct statvfs space {};
    if (statvfs(QFile::encodeName(folder).constData(), &space) != 0) {
        return std::nullopt;
    }
    // What this user may write, not the blocks kept for root.
    return static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
}

bool isTerminal(int fd) {
    return isatty(fd) != 0;
}

}  // namespace qv58163::recorder::platform
