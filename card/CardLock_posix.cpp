#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "CardLock.hpp"

namespace qv58163::card {

namespace {

const QString anotherProcess = QStringLiteral("another process");

// The folder of the card locks: the one QV58163_LOCK_DIR names (tests, special set-ups), else the
// system's lock folder where every user may write in it (serial-port locks are kept there too),
// else the system's temporary folder. Never a folder of the user's own, nor one chosen by what
// this process may do: a service, an operator's shell and every other user of the machine must
// all find the same locks, and a process that cannot write where the others do is told so.
QString lockFolder() {
    const QByteArray chosen = qgetenv("QV58163_LOCK_DIR");
    if (!chosen.isEmpty()) {
        return QFile::decodeName(chosen);
    }
    struct stat status {};
    if (::stat("/run/lock", &status) == 0 && S_ISDIR(status.st_mode) &&
        (status.st_mode & S_IWOTH) != 0) {
        return QStringLiteral("/run/lock");
    }
    return QStringLiteral(P_tmpdir);
}

// The open lock file: closing it lets go of the lock.
struct LockFile {
    int fd;
    ~LockFile() { ::close(fd); }
};

// Opens the lock file at `path`, never through a link (in a shared folder a link may lead to
// anyone's file). Read and write, created if need be; else read and write without creating (a
// sticky folder refuses creating over another user's file); else read only (another user's lock
// file, which flock() takes as well). -1 with `error` from the first attempt when none opens.
int openLockFile(const QByteArray &path, bool &writable, int &error) {
    constexpr int always = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    error = 0;
    for (const int flags : {O_RDWR | O_CREAT, O_RDWR, O_RDONLY}) {
        const int fd = ::open(path.constData(), flags | always, 0644);
        if (fd >= 0) {
            writable = (flags & O_RDWR) != 0;
            return fd;
        }
        if (error == 0) {
            error = errno;
        }
        if (errno == ELOOP) {
            break;  // a link, however it is opened
        }
    }
    return -1;
}

// The text of /proc/<pid>/comm, empty when there is none.
QString commandOf(long pid) {
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%ld/comm", pid);
    std::FILE *file = std::fopen(path, "re");
    if (file == nullptr) {
        return {};
    }
    char name[64] = {};
    const bool read = std::fgets(name, sizeof name, file) != nullptr;
    std::fclose(file);
    return read ? QString::fromLocal8Bit(name).trimmed() : QString();
}

// Who holds the flock() of `file`: the process /proc/locks lists for its device and inode,
// "process 4242 (qv58163-record)"; "another process" when that cannot be known for sure. The
// number written into the lock file is not taken: a holder that cannot write into it (another
// user's file) leaves the previous holder's there.
QString holderOf(const struct stat &file) {
    std::FILE *locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) {
        return anotherProcess;
    }
    long holder = 0;
    char line[256];
    while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
        // "1: FLOCK  ADVISORY  WRITE 4242 08:02:1234567 0 EOF", the device's numbers in hex; a
        // process waiting for the lock has "->" before FLOCK, and is skipped.
        char kind[16] = {};
        long pid = 0;
        unsigned deviceMajor = 0;
        unsigned deviceMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%llu", kind, &pid, &deviceMajor,
                        &deviceMinor, &inode) == 5 &&
            std::strcmp(kind, "FLOCK") == 0 && deviceMajor == major(file.st_dev) &&
            deviceMinor == minor(file.st_dev) && inode == file.st_ino) {
            holder = pid;
        }
    }
    std::fclose(locks);
    const QString command = holder > 0 ? commandOf(holder) : QString();
    return command.isEmpty() ? anotherProcess
                             : QStringLiteral("process %1 (%2)").arg(holder).arg(command);
}

}  // namespace

QString CardLock::whyNoLocks() {
    const QString folder = lockFolder();
    const QByteArray path = QFile::encodeName(folder);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0) {
        return QStringLiteral("the lock folder %1: %2").arg(folder, qt_error_string(errno));
    }
    if (!S_ISDIR(status.st_mode)) {
        return QStringLiteral("the lock folder %1 is not a folder").arg(folder);
    }
    if (access(path.constData(), W_OK | X_OK) != 0) {
        return QStringLiteral("the lock folder %1 takes no new file: %2")
            .arg(folder, qt_error_string(errno));
    }
    return {};
}

CardLock CardLock::take(int card) {
    const QString path = QStringLiteral("%1/qv58163-card-%2.lock").arg(lockFolder()).arg(card);
    bool writable = false;
    int error = 0;
    const int fd = openLockFile(QFile::encodeName(path), writable, error);
    if (fd < 0) {
        return {State::NoLock,
                error == ELOOP
                    ? QStringLiteral("%1 is a symbolic link, which is not followed").arg(path)
                    : QStringLiteral("cannot open %1: %2").arg(path, qt_error_string(error))};
    }
    const std::shared_ptr<LockFile> file(new LockFile{fd});
    // Nothing is written before the file is known to be a lock file of its own, and held.
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return {State::NoLock,
                QStringLiteral("cannot examine %1: %2").arg(path, qt_error_string(errno))};
    }
    if (!S_ISREG(status.st_mode)) {
        return {State::NoLock, QStringLiteral("%1 is not a regular file").arg(path)};
    }
    if (status.st_nlink != 1) {
        return {State::NoLock, QStringLiteral("%1 has %2 hard links: it may be another file")
                                   .arg(path)
                                   .arg(static_cast<qulonglong>(status.st_nlink))};
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return {State::InUse, holderOf(status)};
        }
        return {State::NoLock,
                QStringLiteral("cannot lock %1: %2").arg(path, qt_error_string(errno))};
    }
    // For whoever looks into the file; the holder is found through the kernel's locks.
    if (writable && ftruncate(fd, 0) == 0) {
        const QByteArray pid = QByteArray::number(static_cast<qlonglong>(getpid())) + '\n';
        static_cast<void>(pwrite(fd, pid.constData(), static_cast<std::size_t>(pid.size()), 0));
    }
    return {State::Held, {}, file};
}

}  // namespace qv58163::card
