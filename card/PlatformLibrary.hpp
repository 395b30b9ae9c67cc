// The driver library opened with the platform's own loader, looked for only where a driver may
// come from: the program's directory, then the system's; never the working directory, never PATH.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#if !defined(_WIN32)
#include <QLibrary>
#endif

namespace qv58163::card {

class PlatformLibrary {
public:
    PlatformLibrary() = default;
    PlatformLibrary(const PlatformLibrary &) = delete;
    PlatformLibrary &operator=(const PlatformLibrary &) = delete;

    // Opens `fileName` from `programDir` if it is there, else from the system's directories.
    // On failure, errorString() says why, for each place tried.
    bool open(const QString &programDir, const QString &fileName);
    // The export `name`, or null when the library has none (or is not open).
    QFunctionPointer resolve(const char *name);
    // The file that was opened; empty while nothing is.
    QString fileName() const;
    QString errorString() const { return error_; }

    // The folders the system's loader looks in for a library named without a path, in its order
    // as far as it can be known (for a report on what was found there, not for loading).
    static QStringList systemFolders();

private:
#if defined(_WIN32)
    void *module_ = nullptr;  // HMODULE; never freed, as the program may call the driver to the end
#else
    QLibrary library_;
    bool loaded_ = false;
#endif
    QString error_;
};

}  // namespace qv58163::card
