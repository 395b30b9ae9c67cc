// The recorder's command line: what a run is asked to do, and the parsing that refuses anything
// else before a driver is opened or a file created.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv58163::recorder {

inline constexpr int channelCount = 8;

// --range CH=CODE: the code is sent to the card with the driver's set call.
struct RangeSetting {
    int channel = 0;
    std::uint8_t code = 0;
};

// --check CH=LOW:HIGH: every successful sample of the channel within [low, high] volts.
struct Check {
    int channel = 0;
    double low = 0;
    double high = 0;
};

struct Options {
    std::optional<int> card;  // none: the first card that answers
    int mode = 1;
    std::vector<RangeSetting> ranges;
    int intervalMs = 100;
    std::optional<std::int64_t> count;
    std::optional<double> durationSeconds;
    QString output;  // empty: standard output
    bool force = false;
    std::vector<Check> checks;
    QString plot;  // empty: no plot
    bool quiet = false;
};

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    Options options;
    // Help or version text for Help and Version; for Error one line naming the option and what it
    // accepts, without the program's name.
    QString text;
};

// Parses the arguments (the program's name first, as QCoreApplication::arguments() gives them).
// Besides the syntax it refuses an output or plot file that exists (unless --force) or whose
// directory does not. It reads the file system and changes nothing.
CommandLine parseCommandLine(const QStringList &arguments);

}  // namespace qv58163::recorder
