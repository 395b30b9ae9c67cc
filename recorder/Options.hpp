// The recorder's command line: what a run is asked to do, and the parsing that refuses anything
// else before a driver is opened or a file created.
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "CardLimits.hpp"
#include "Checks.hpp"
#include "Publish.hpp"

namespace qv58163::recorder {

// --range CH=CODE: the code is sent to the card with the driver's set call.
struct RangeSetting {
    int channel = 0;
    std::uint8_t code = 0;
};

struct Options {
    std::optional<int> card;  // none: the first card that answers
    int mode = card::defaultMode;
    std::vector<RangeSetting> ranges;
    int intervalMs = 100;
    std::optional<std::int64_t> count;
    std::optional<double> durationSeconds;
    QString output;  // empty: standard output; its placeholders already replaced
    // --split: a new file every this long of the run, named after `output` (which itself is not
    // created); none: one file.
    std::optional<std::chrono::seconds> split;
    // --sync: a file's rows are put on the disk itself at least this often and when it closes, so
    // that a power cut loses at most the rows of this last stretch; zero: after every row.
    std::chrono::seconds sync{10};
    // --min-free: the run ends (status 1) when the output's file system has less free space than
    // this many MB (of 1,048,576 bytes), looked at before each file and at least once a minute;
    // zero: never looked at.
    std::int64_t minFreeMb = 100;
    bool force = false;
    std::vector<Check> checks;
    QString plot;                                // empty: no plot
    QString report;                              // empty: no report
    std::optional<std::int64_t> maxFailedReads;  // in a row; none: the run goes on
    bool quiet = false;
    bool noLock = false;                    // record without the card's lock when none can be made
    std::optional<PublishOptions> publish;  // none: not published
};

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    Options options;
    // Help text for Help; for Error one line naming the option and what it accepts, without the
    // program's name.
    QString text;
};

// Parses the arguments (the program's name first). Besides the syntax it refuses an output, plot
// or report file that exists (unless --force, which replaces regular files only), or whose
// directory does not exist or takes no new file (it tries a scratch file there, and removes it),
// and two of them that are one file by any names. It needs no application object.
// `startUtcMilliseconds` is the run's start as {start} in a file name gives it.
CommandLine parseCommandLine(const QStringList &arguments, std::int64_t startUtcMilliseconds);
CommandLine parseCommandLine(const QStringList &arguments);  // started now

// The name of the slice of --split `output` whose first sample is at `utcMilliseconds`:
// run.csv, 2026-12-04 16:00:00.250 UTC: run-20261204T160000Z.csv.
QString sliceName(const QString &output, std::int64_t utcMilliseconds);

// "20261204T160000Z": a UTC time to the second, as file names give it.
QString fileTime(std::int64_t utcMilliseconds);

}  // namespace qv58163::recorder
