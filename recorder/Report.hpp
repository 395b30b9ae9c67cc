// What a run says of itself when it ends: the summary table on standard error, and the record of
// --report FILE.json, both from the same facts.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "Checks.hpp"
#include "Options.hpp"
#include "Publish.hpp"
#include "Read.hpp"
#include "Statistics.hpp"

namespace qv58163::recorder {

// One file of a --split recording and the rows in it.
struct OutputSlice {
    QString name;
    std::int64_t rows = 0;
};

struct RunRecord {
    explicit RunRecord(const Options &runOptions) : options(runOptions) {}

    const Options &options;
    QString driverFile;                                // empty: not loaded
    std::optional<int> card;                           // none: no card answered and was chosen
    RangeCodes codes;                                  // those read, also when one has no range
    std::optional<std::int64_t> startUtcMilliseconds;  // acquisition started
    std::int64_t endUtcMilliseconds = 0;
    std::optional<std::int64_t> planned;        // samples planned; none: open-ended
    const RunStatistics *statistics = nullptr;  // null: no sample was due
    const CheckTally *checks = nullptr;         // null: the run ended before its checks were set up
    CheckTally::Run checkRun;
    std::optional<PublishTally> published;  // none: not published (no --publish, or not started)
    std::vector<OutputSlice> slices;        // --split: the files written, in order
    // How: "completed", "stopped", "output closed", "failed reads", "no driver or card",
    // "checked channel stopped", "run-time error".
    QString ended;
    int exitStatus = 0;
};

// The table per channel (samples, min, max, mean, standard deviation), the counts, the slices and
// their rows, and the checks' verdicts, each line ending in a line break.
QString summaryText(const RunRecord &run);

// The report: program and version, driver file, card, mode, each channel's range and statistics,
// interval, start and end (UTC), samples planned and taken, late samples and skipped deadlines,
// failed reads, the slices and their rows (split), each check and its verdict, how the run ended
// and its exit status.
QByteArray reportJson(const RunRecord &run);

}  // namespace qv58163::recorder
