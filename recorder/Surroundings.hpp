// The world outside the driver as a run sees it: the clocks, a wait that a stop request ends, the
// output, the card's lock and the terminal. SystemSurroundings is the real one; tests drive whole
// runs in this process through one of their own.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "CardLock.hpp"

namespace qv58163::recorder {

// One of the recorder's own lines for standard error: "qv58163-record: TEXT" and a line break.
inline QString messageLine(const QString &text) {
    return QStringLiteral("qv58163-record: %1\n").arg(text);
}

// Where the rows go: a file or standard output.
class RowOutput {
public:
    enum class Result { Written, Failed, Closed };

    virtual ~RowOutput() = default;
    // Writes one row, whole or not at all: after a failure the output ends with the previous row
    // (where the output can be cut back: a file). The row has reached the file, not a buffer of
    // this process, when it returns. Closed: the reader of a pipe has gone.
    virtual Result write(const QByteArray &row) = 0;
    // Puts what was written on the disk itself, past the system's cache, so that a power cut
    // keeps it; for a new file its name too. An output that is no file (a pipe, a terminal) has
    // nothing to put. False when the disk refuses.
    virtual bool sync() = 0;
    virtual QString errorString() const = 0;
};

class Surroundings {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Surroundings() = default;
    virtual TimePoint now() = 0;
    virtual std::int64_t utcMilliseconds() = 0;
    // Waits until `deadline` (at once when it has passed); false when a stop has been asked for
    // (Ctrl+C, SIGTERM, SIGHUP), before or during the wait.
    virtual bool waitUntil(TimePoint deadline) = 0;
    // Whether a stop has been asked for, without waiting.
    virtual bool stopAsked() = 0;
    // Creates the output (empty name: standard output): a new file, or with `replace` also over a
    // regular file, never anything else; null with `error` set when it cannot.
    virtual std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace,
                                                    QString &error) = 0;
    // The bytes this process may still write on the file system that holds `folder`; none when
    // that cannot be found out.
    virtual std::optional<std::int64_t> freeBytes(const QString &folder) = 0;
    // Writes a file whole at the end of the run (the plot, the report). Without `replace` a name
    // taken meanwhile is left alone and the file kept under a free name beside it, `keptAs`;
    // with it, only a regular file is replaced. Empty when done, else why not.
    virtual QString writeNewFile(const QString &name, const QByteArray &bytes, bool replace,
                                 QString &keptAs) = 0;
    // Takes card `card`'s lock, machine-wide: while it is held, no other program that takes it (a
    // recorder, the panel), whoever runs it, uses the card. It says who holds the card when
    // another process does, and why when no lock can be made.
    virtual card::CardLock holdCard(int card) = 0;
    // Why no card lock can be made at all, found before the card is known and the driver opened;
    // empty when one can.
    virtual QString whyNoCardLocks() = 0;
    // Whether a progress line may be shown: standard error is a terminal, and the rows do not go
    // to that terminal too (`rowsOnStandardOutput`).
    virtual bool progressShows(bool rowsOnStandardOutput) const = 0;
    // Writes `text` to standard error as it stands.
    virtual void message(const QString &text) = 0;
};

}  // namespace qv58163::recorder
