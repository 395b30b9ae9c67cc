// One recording from start to end: open the driver, choose the card, settle the ranges, create
// the file, acquire on the schedule, and on every way out stop acquisition (once started) and
// close the driver (once opened). The world outside the driver comes in through Surroundings, so
// the whole run can be driven without a process.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

#include "DriverLibrary.hpp"
#include "Options.hpp"

namespace qv58163::recorder {

// The exit statuses.
enum ExitStatus {
    Done = 0,
    RunTimeError = 1,
    NoDriverOrCard = 2,
    CheckFailed = 3,
    BadCommandLine = 64,
};

// Where the rows go. Each write reaches the file (not a buffer of this process) before it returns.
class RowOutput {
public:
    virtual ~RowOutput() = default;
    virtual bool write(const QByteArray &bytes) = 0;
    virtual QString errorString() const = 0;
};

class Surroundings {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Surroundings() = default;
    virtual TimePoint now() = 0;
    virtual std::int64_t utcMilliseconds() = 0;
    // Waits until `deadline` (at once when it has passed); false when a stop has been asked for
    // (Ctrl+C, SIGTERM), before or during the wait.
    virtual bool waitUntil(TimePoint deadline) = 0;
    // Creates the output (empty name: standard output); null with `error` set when it cannot.
    virtual std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace,
                                                    QString &error) = 0;
    // Whether standard error is a terminal (for the progress line).
    virtual bool terminal() const = 0;
    // Writes `text` to standard error as it stands.
    virtual void message(const QString &text) = 0;
};

// Runs the recording the options describe. Returns its exit status; never throws.
int record(const Options &options, card::Driver &driver, Surroundings &surroundings);

}  // namespace qv58163::recorder
