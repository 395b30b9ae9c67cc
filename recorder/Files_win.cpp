// The file system calls of Files.hpp on Windows.
#include "Files.hpp"

#include <windows.h>

#include <QDir>
#include <algorithm>
#include <string>

namespace qv58163::recorder {

namespace {

using platform::Outcome;

std::wstring nativePath(const QString &path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// The system's own words for error `code`.
QString errorText(DWORD code) {
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString message = length > 0
                                ? QString::fromWCharArray(text, static_cast<int>(length)).trimmed()
                                : QStringLiteral("error %1").arg(code);
    LocalFree(text);
    return message;
}

bool nameTaken(DWORD code) {
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

// A handle on whatever `path` stands for (links followed), to look at, not to read or write: it
// neither acts on a device nor minds how others share the file.
HANDLE openToLookAt(const std::wstring &path) {
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

FileKind fileKind(const QString &path) {
    const std::wstring name = nativePath(path);
    const HANDLE file = openToLookAt(name);
    if (file == INVALID_HANDLE_VALUE) {
        // A link that leads nowhere is something; a file that cannot be looked at is left to the
        // creation's own error.
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return FileKind::Absent;
        }
        return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0
                   ? FileKind::Other
                   : FileKind::Regular;
    }
    // A device (NUL, CON, COM1, ...) is no disk file.
    BY_HANDLE_FILE_INFORMATION information{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                         GetFileInformationByHandle(file, &information) != 0 &&
                         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    return regular ? FileKind::Regular : FileKind::Other;
}

namespace platform {

QString existingFileKey(const QString &path) {
    const HANDLE file = openToLookAt(nativePath(path));
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    return known ? QStringLiteral("%1:%2:%3")
                       .arg(information.dwVolumeSerialNumber)
                       .arg(information.nFileIndexHigh)
                       .arg(information.nFileIndexLow)
                 : QString();
}

QString nameKey(const QString &name) {
    return name.toCaseFolded();
}

Outcome createWhole(const QString &path, const QByteArray &bytes, QString &error) {
    const std::wstring name = nativePath(path);
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (nameTaken(code)) {
            return Outcome::Taken;
        }
        error = errorText(code);
        return Outcome::Failed;
    }
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    DWORD failure = 0;
    while (left > 0 && failure == 0) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<qsizetype>(left, qsizetype{1} << 30));
        if (WriteFile(file, data, chunk, &written, nullptr) == 0) {
            failure = GetLastError();  // a full disk, a quota
        } else if (written == 0) {
            failure = ERROR_WRITE_FAULT;
        } else {
            data += written;
            left -= written;
        }
    }
    // On the disk before it is given its name: a crash leaves the old state or the whole file.
    if (failure == 0 && FlushFileBuffers(file) == 0) {
        failure = GetLastError();
    }
    if (CloseHandle(file) == 0 && failure == 0) {
        failure = GetLastError();
    }
    if (failure != 0) {
        DeleteFileW(name.c_str());
        error = errorText(failure);
        return Outcome::Failed;
    }
    return Outcome::Done;
}

Outcome renameWithoutReplacing(const QString &from, const QString &to, QString &error) {
    // Without MOVEFILE_REPLACE_EXISTING the system refuses a name that exists, at that moment.
    if (MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(), 0) != 0) {
        return Outcome::Done;
    }
    const DWORD code = GetLastError();
    if (nameTaken(code)) {
        return Outcome::Taken;
    }
    error = errorText(code);
    return Outcome::Failed;
}

Outcome renameOverRegular(const QString &from, const QString &to, QString &error) {
    if (fileKind(to) == FileKind::Other) {
        return Outcome::Taken;
    }
    if (MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
        0) {
        return Outcome::Done;
    }
    error = errorText(GetLastError());
    return Outcome::Failed;
}

}  // namespace platform

}  // namespace qv58163::recorder
