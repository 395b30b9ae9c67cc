// The progress line a run shows on the terminal: "\r12 samples, 1.2 s elapsed, 3 skipped, 1 failed
// reads, 8.8 s remaining", rewritten in place at most four times a second, cleared at the end.
// The run says what happens; this decides what is shown.
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "Schedule.hpp"
#include "Surroundings.hpp"

namespace qv58163::recorder {

class Progress {
public:
    // `shown`: whether the line is shown at all (not --quiet, and a terminal of its own).
    Progress(Surroundings &world, const Schedule &schedule, bool shown)
        : world_(world), schedule_(schedule), shown_(shown) {}

    // Deadlines passed over without a read.
    void skipped(std::int64_t deadlines) { skipped_ += deadlines; }
    // A sample taken `elapsed` after the start, a failed read when `failed`, and the run goes on.
    void sampled(Schedule::Duration elapsed, bool failed);
    // The run is over: a line shown is cleared, for what the run says next.
    void ended();
    // Adds to the end of the line what `text` says each time it is shown (the broker's state).
    void addText(std::function<QString()> text) { more_ = std::move(text); }

private:
    Surroundings &world_;
    const Schedule &schedule_;
    const bool shown_;
    std::int64_t samples_ = 0;
    std::int64_t failedReads_ = 0;
    std::int64_t skipped_ = 0;
    std::optional<Schedule::Duration> lastShown_;  // when the line was last written
    std::function<QString()> more_;
};

// A length of time as the progress line says it: "59.9 s" under an hour, "47 h 05 min" under
// two days, "12.5 days" under a year, "31.7 years" up to a hundred, "over 100 years" beyond (a
// million million samples an hour apart, say).
QString durationText(std::chrono::nanoseconds time);

}  // namespace qv58163::recorder
