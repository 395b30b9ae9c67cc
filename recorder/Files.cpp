#include "Files.hpp"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace qv58163::recorder {

namespace {

using platform::Outcome;

// Free names tried beside a taken one (run-1.png to run-99.png) before the file is left under
// its temporary name.
constexpr int mostKeptNames = 99;
// How many symbolic links a replacing write follows, as the system does.
constexpr int mostLinks = 40;

// `name` with its last part replaced by `fileName`, the folder as given.
QString beside(const QString &name, const QString &fileName) {
    return name.left(name.size() - QFileInfo(name).fileName().size()) + fileName;
}

// Where a replacing write goes: the end of `name`'s symbolic links, as opening the CSV follows
// them, so a link stays a link.
QString linkTarget(const QString &name) {
    QFileInfo file(name);
    for (int hop = 0; hop < mostLinks && file.isSymbolicLink(); ++hop) {
        file.setFile(file.symLinkTarget());
    }
    return file.filePath();
}

// A new file holding `bytes` beside `name` (".run.png-3fa9c01e"), or empty with `error`.
QString writeTemporary(const QString &name, const QByteArray &bytes, QString &error) {
    const QString fileName = QFileInfo(name).fileName();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temporary =
            beside(name, QStringLiteral(".%1-%2").arg(fileName).arg(
                             QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        switch (platform::createWhole(temporary, bytes, error)) {
            case Outcome::Done:
                return temporary;
            case Outcome::Taken:
                continue;
            case Outcome::Failed:
                return {};
        }
    }
    error = QStringLiteral("no temporary name is free beside it");
    return {};
}

// The free name beside `name` that `temporary` now has (run-1.png, ...), else `temporary`.
QString keepBeside(const QString &name, const QString &temporary) {
    const QFileInfo file(name);
    QString error;
    for (int k = 1; k <= mostKeptNames; ++k) {
        const QString free =
            beside(name, file.suffix().isEmpty()
                             ? QStringLiteral("%1-%2").arg(file.completeBaseName()).arg(k)
                             : QStringLiteral("%1-%2.%3")
                                   .arg(file.completeBaseName())
                                   .arg(k)
                                   .arg(file.suffix()));
        const Outcome kept = platform::renameWithoutReplacing(temporary, free, error);
        if (kept == Outcome::Done) {
            return free;
        }
        if (kept == Outcome::Failed) {
            break;
        }
    }
    return temporary;
}

}  // namespace

QString fileKey(const QString &path) {
    const QString key = platform::existingFileKey(path);
    if (!key.isEmpty()) {
        return key;
    }
    const QFileInfo file(path);
    const QString folder = platform::existingFileKey(file.absolutePath());
    return folder.isEmpty() ? QString()
                            : folder + QLatin1Char('/') + platform::nameKey(file.fileName());
}

QString notRegularText() {
    return QStringLiteral("not a regular file (only a regular file is replaced)");
}

QString writeNewFile(const QString &name, const QByteArray &bytes, bool replace, QString &keptAs) {
    const QString target = replace ? linkTarget(name) : name;
    QString error;
    const QString temporary = writeTemporary(target, bytes, error);
    if (temporary.isEmpty()) {
        return error;
    }
    const Outcome outcome = replace ? platform::renameOverRegular(temporary, target, error)
                                    : platform::renameWithoutReplacing(temporary, target, error);
    if (outcome == Outcome::Done) {
        return {};
    }
    if (outcome == Outcome::Failed) {
        QFile::remove(temporary);
        return error;
    }
    // Free (or a regular file) when the run began, taken now: by another run, a person, a file of
    // this run reached by another path. Theirs stays; this run's goes beside it.
    keptAs = keepBeside(target, temporary);
    return replace ? notRegularText() : QStringLiteral("the name was taken during the run");
}

}  // namespace qv58163::recorder
