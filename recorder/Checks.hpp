// --check CH=LOW:HIGH: what a production check asks of a channel, and its verdict. A check passes
// when its channel runs, every sample of it lies within the bounds as the file holds it, and every
// deadline of the run gave it a good sample: a run stopped before its last deadline, one with
// failed reads and one that skipped deadlines (a slow driver, a busy or paused machine) leave its
// checks incomplete, and an incomplete check has not passed.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "Csv.hpp"

namespace qv58163::recorder {

struct Check {
    int channel = 0;
    double low = 0;
    double high = 0;
};

enum class Verdict { Pass, Fail, Incomplete };

// "PASS", "FAIL", "INCOMPLETE".
QString verdictText(Verdict verdict);

// A check's verdict line: "check CH00 2.49 to 2.51 V: " and the verdict, then `why`.
QString verdictLine(const Check &check, Verdict verdict, const QString &why);

class CheckTally {
public:
    CheckTally(std::vector<Check> checks, const Positions &positions);

    // One successful read, by the row written for it.
    void add(const CsvRow &row);

    // The run's end: whether it reached its last deadline (an open-ended run always does), the
    // samples it planned (none when open-ended), the reads that failed and the deadlines skipped
    // (for an open-ended run those up to its stop).
    struct Run {
        bool reachedEnd = true;
        std::optional<std::int64_t> planned;
        std::int64_t failedReads = 0;
        std::int64_t skippedDeadlines = 0;
    };

    const std::vector<Check> &checks() const { return checks_; }
    Verdict verdict(std::size_t check, const Run &run) const;
    // The samples check `check` saw, and how many of them lay outside its bounds.
    std::int64_t seen(std::size_t check) const { return seen_[check]; }
    std::int64_t outside(std::size_t check) const { return outside_[check]; }
    bool allPassed(const Run &run) const;

    // "check CH00 2.49 to 2.51 V: INCOMPLETE (13 of 30 samples, 17 skipped deadlines)".
    QString line(std::size_t check, const Run &run) const;

private:
    std::vector<Check> checks_;
    Positions positions_;
    std::vector<std::int64_t> seen_;
    std::vector<std::int64_t> outside_;
};

}  // namespace qv58163::recorder
