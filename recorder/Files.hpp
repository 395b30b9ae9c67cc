// The files a run writes, as the system sees them: what a name stands for, which names are one
// file, and a whole file published under a name without replacing anyone else's. Files.cpp holds
// what every system shares; Files_posix.cpp and Files_win.cpp the system calls.
#pragma once

#include <QByteArray>
#include <QString>

namespace qv58163::recorder {

// What a name stands for, its symbolic links followed: nothing, a regular file, or anything else
// (a folder, FIFO, device, socket, or a symbolic link that leads nowhere). Nothing, too, when the
// system does not say: creating the file will tell why.
enum class FileKind { Absent, Regular, Other };
FileKind fileKind(const QString &path);  // in Files_posix.cpp or Files_win.cpp

// Equal for two names exactly when they stand for one file, however they reach it (symbolic
// links, '..', hard links; letter case on Windows): a file that exists by its identity on its
// device, one that does not yet by its folder's identity and its name. Empty when not even the
// folder can be looked at.
QString fileKey(const QString &path);

// Why a file the run would replace is refused.
QString notRegularText();

// Writes `bytes` whole to a new temporary file in the folder of `name`, then gives it that name.
// Without `replace` the name must be free at that very moment; with it, the file replaces a
// regular file only (the one `name`'s symbolic links lead to). When the name is taken, whoever
// took it, nothing of theirs is touched: the file is kept under a free name beside it (run.png:
// run-1.png, run-2.png, ...), given in `keptAs`, and the answer says why. Empty when done, else
// why not.
QString writeNewFile(const QString &name, const QByteArray &bytes, bool replace, QString &keptAs);

// The system calls under those, one per system.
namespace platform {

enum class Outcome { Done, Taken, Failed };

// The identity of an existing file or folder ("device:inode"), else empty.
QString existingFileKey(const QString &path);
// A file name as the system compares it (folded case on Windows).
QString nameKey(const QString &name);
// Creates `path`, which must not exist (else Taken), with `bytes` in it and on the disk. Failed:
// with `error`, and nothing left behind.
Outcome createWhole(const QString &path, const QByteArray &bytes, QString &error);
// Gives the file `from` the name `to` at once unless `to` exists at that very moment (Taken), in
// which case nothing changes. Failed: with `error`.
Outcome renameWithoutReplacing(const QString &from, const QString &to, QString &error);
// Gives the file `from` the name `to`, replacing a regular file there, nothing else (Taken).
Outcome renameOverRegular(const QString &from, const QString &to, QString &error);

}  // namespace platform

}  // namespace qv58163::recorder
