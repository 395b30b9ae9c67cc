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

namespace {

// The folders named in a file of the loader's configuration, following its include lines.
void addConfiguredFolders(const QString &file, QStringList &folders, int depth = 0) {
    QFile configuration(file);
    if (depth > 4 || !configuration.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return;
    }
    for (const QByteArray &raw : configuration.readAll().split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.startsWith(QLatin1String("include "))) {
            const QFileInfo pattern(QDir(QFileInfo(file).absolutePath()), line.mid(8).trimmed());
            const QDir dir = pattern.absoluteDir();
            for (const QString &name :
                 dir.entryList({pattern.fileName()}, QDir::Files, QDir::Name)) {
                addConfiguredFolders(dir.filePath(name), folders, depth + 1);
            }
        } else if (line.startsWith(QLatin1Char('/'))) {
            folders << line;
        }
    }
}

}  // namespace

QStringList PlatformLibrary::systemFolders() {
    QStringList folders = QString::fromLocal8Bit(qgetenv("LD_LIBRARY_PATH"))
                              .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    addConfiguredFolders(QStringLiteral("/etc/ld.so.conf"), folders);
    folders << QStringLiteral("/lib") << QStringLiteral("/usr/lib");
    folders.removeDuplicates();
    return folders;
}

QFunctionPointer PlatformLibrary::resolve(const char *name) {
    return loaded_ ? library_.resolve(name) : nullptr;
}

QString PlatformLibrary::fileName() const {
    return loaded_ ? library_.fileName() : QString();
}

}  // namespace qv58163::card
