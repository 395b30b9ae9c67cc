#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "PlatformLibrary.hpp"

namespace qv58163::card {

bool PlatformLibrary::open(const QString &programDir, const QString &fileName) {
    QStringList reasons;
    // The program's own directory first, by full path, so the working directory never counts.
    const QString besideProgram = QDir(programDir).absoluteFilePath(fileName);
    if (!programDir.isEmpty() && QFileInfo::exists(besideProgram)) {
        library_.setFileName(besideProgram);
        if (library_.load()) {
            loaded_ = true;
            return true;
        }
        reasons << library_.errorString();
    }
    // Then the system's search path: a bare file name is looked up by the dynamic loader in its
    // own list of directories.
    library_.setFileName(fileName);
    if (library_.load()) {
        loaded_ = true;
        return true;
    }
    reasons << library_.errorString();
    error_ = reasons.join(QStringLiteral("; "));
    return false;
}

QFunctionPointer PlatformLibrary::resolve(const char *name) {
    return loaded_ ? library_.resolve(name) : nullptr;
}

QString PlatformLibrary::fileName() const {
    return loaded_ ? library_.fileName() : QString();
}

}  // namespace qv58163::card
