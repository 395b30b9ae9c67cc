// The file system calls of Files.hpp on Linux (and POSIX systems).
#include "Files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qv58163::recorder {

namespace {

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

FileKind fileKind(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) == 0) {
        return S_ISREG(status.st_mode) ? FileKind::Regular : FileKind::Other;
    }
    // A symbolic link that leads nowhere is something all the same.
    return ::lstat(name.constData(), &status) == 0 ? FileKind::Other : FileKind::Absent;
}

namespace platform {

QString existingFileKey(const QString &path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return {};
    }
    return QStringLiteral("%1:%2")
        .arg(static_cast<qulonglong>(status.st_dev))
        .arg(static_cast<qulonglong>(status.st_ino));
}

QString nameKey(const QString &name) {
    return name;
}

Outcome createWhole(const QString &path, const QByteArray &bytes, QString &error) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) {
            return Outcome::Taken;
        }
        error = errorText(errno);
        return Outcome::Failed;
    }
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    int failure = 0;
    while (left > 0 && failure == 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
        if (written >= 0) {
            data += written;
            left -= written;
        } else if (errno != EINTR) {
            failure = errno;  // a full disk, the file size limit
        }
    }
    // On the disk before it is given its name: a crash leaves the old state or the whole file.
    if (failure == 0 && ::fsync(fd) != 0) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(name.constData());
        error = errorText(failure);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

Outcome renameWithoutReplacing(const QString &from, const QString &to, QString &error) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return Outcome::Done;
    }
    if (errno == EEXIST) {
        return Outcome::Taken;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        error = errorText(errno);
        return Outcome::Failed;
    }
    // The file system cannot rename without replacing.
#endif
    // A second name for the file, which the system refuses if it is taken, then the first one
    // removed.
    if (::link(source.constData(), target.constData()) != 0) {
        if (errno == EEXIST) {
            return Outcome::Taken;
        }
        error = errorText(errno);
        return Outcome::Failed;
    }
    ::unlink(source.constData());
    return Outcome::Done;
}

Outcome renameOverRegular(const QString &from, const QString &to, QString &error) {
    const QByteArray target = QFile::encodeName(to);
    struct stat status {};
    if (::lstat(target.constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        return Outcome::Taken;
    }
    if (::rename(QFile::encodeName(from).constData(), target.constData()) != 0) {
        error = errorText(errno);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

}  // namespace platform

}  // namespace qv58163::recorder
