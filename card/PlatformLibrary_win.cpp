#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "PlatformLibrary.hpp"

namespace qv58163::card {

namespace {

const wchar_t *wide(const QString &text) {
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// The loader's reason for the last failure, with its number (126: not found).
QString lastErrorText(const QString &attempt) {
    const DWORD code = GetLastError();
    return QStringLiteral("%1: %2 (error %3)")
        .arg(attempt, qt_error_string(static_cast<int>(code)))
        .arg(code);
}

// LoadLibraryExW without the system's "cannot load" dialog boxes.
HMODULE loadLibrary(const QString &file, DWORD flags) {
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE module = LoadLibraryExW(wide(file), nullptr, flags);
    const DWORD error = GetLastError();
    SetThreadErrorMode(previous, nullptr);
    SetLastError(error);
    return module;
}

}  // namespace

bool PlatformLibrary::open(const QString &programDir, const QString &fileName) {
    QStringList reasons;
    // The program's own directory first, by full path; the driver's own dependencies are then
    // looked for beside it and in the system's directories.
    const QString besideProgram =
        QDir::toNativeSeparators(QDir(programDir).absoluteFilePath(fileName));
    if (!programDir.isEmpty() && QFileInfo::exists(besideProgram)) {
        module_ = loadLibrary(besideProgram,
                              LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module_ != nullptr) {
            return true;
        }
        reasons << lastErrorText(besideProgram);
    }
    // Then by name, in the default directories only: the program's directory and System32
    // (SysWOW64 for a 32-bit program on 64-bit Windows). Unlike plain LoadLibrary this leaves out
    // the working directory and PATH, where any file of that name could be planted.
    module_ = loadLibrary(fileName, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module_ != nullptr) {
        return true;
    }
    reasons << lastErrorText(fileName);
    error_ = reasons.join(QStringLiteral("; "));
    return false;
}

QStringList PlatformLibrary::systemFolders() {
    // System32, which a 32-bit program on 64-bit Windows sees as SysWOW64.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return {QDir::fromNativeSeparators(QString::fromWCharArray(folder, static_cast<int>(length)))};
}

QFunctionPointer PlatformLibrary::resolve(const char *name) {
    if (module_ == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<QFunctionPointer>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

QString PlatformLibrary::fileName() const {
    if (module_ == nullptr) {
        return {};
    }
    wchar_t path[MAX_PATH * 4];
    const DWORD length =
        GetModuleFileNameW(static_cast<HMODULE>(module_), path, sizeof path / sizeof path[0]);
    return QDir::fromNativeSeparators(QString::fromWCharArray(path, static_cast<int>(length)));
}

}  // namespace qv58163::card
