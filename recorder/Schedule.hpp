// When the samples of a run are due: on fixed deadlines start + k x interval, so a late sample
// does not shift the later ones. The number of deadlines is fixed before the run, from --count or
// --duration, or there is no last one (a run that ends when it is stopped). A wake-up after
// several deadlines have passed takes one sample, for the latest of them, and skips the others:
// a late wake-up never turns into a burst of reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace qv58163::recorder {

class Schedule {
public:
    using Duration = std::chrono::nanoseconds;

    // `planned`: the number of deadlines, none for an open-ended run.
    Schedule(std::chrono::milliseconds interval, std::optional<std::int64_t> planned);

    // The deadlines a run of `count` samples, or of `seconds`, has: those inside the duration
    // (0, 100 and 200 ms for 0.2001 s at 100 ms), however late the run's wake-ups come.
    static std::optional<std::int64_t> plannedDeadlines(std::chrono::milliseconds interval,
                                                        std::optional<std::int64_t> count,
                                                        std::optional<double> seconds);

    Duration interval() const { return interval_; }
    std::optional<std::int64_t> planned() const { return planned_; }

    // Deadline k, measured from the start.
    Duration deadline(std::int64_t k) const { return interval_ * k; }

    // Whether deadline k is past the last one.
    bool over(std::int64_t k) const { return planned_ && k >= *planned_; }

    // The deadline to sample when woken at `elapsed`, waiting for deadline `next`: the latest
    // that has passed, but not past the last one.
    std::int64_t latestDue(std::int64_t next, Duration elapsed) const;

    // A sample taken half an interval or more after its deadline is late: its moment is nearer
    // the next deadline than its own.
    bool isLate(std::int64_t k, Duration elapsed) const;

    // The time left until the last deadline, when there is one.
    std::optional<Duration> remaining(Duration elapsed) const;

private:
    Duration interval_;
    std::optional<std::int64_t> planned_;
};

}  // namespace qv58163::recorder
