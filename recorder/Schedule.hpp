// When the samples of a run are due: on fixed deadlines start + k x interval, so a late sample
// does not shift the later ones, for a number of samples, a duration, or until stopped.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace qv58163::recorder {

class Schedule {
public:
    using Duration = std::chrono::nanoseconds;

    // With neither a count nor a duration the run is open-ended.
    Schedule(std::chrono::milliseconds interval, std::optional<std::int64_t> count,
             std::optional<Duration> duration);

    // Sample k's deadline, measured from the start.
    Duration deadline(std::int64_t k) const { return interval_ * k; }

    // Whether sample k is still taken when `elapsed` has passed since the start: k below the
    // count; or, for a duration, a deadline and a moment inside it.
    bool takes(std::int64_t k, Duration elapsed) const;

    // A sample taken half an interval or more after its deadline is late: its moment is nearer
    // the next deadline than its own.
    bool isLate(std::int64_t k, Duration elapsed) const;

    // How many samples the run takes, when that is known in advance.
    std::optional<std::int64_t> total() const;

    // The time left until the run's last deadline has passed, when it is known.
    std::optional<Duration> remaining(Duration elapsed) const;

private:
    Duration interval_;
    std::optional<std::int64_t> count_;
    std::optional<Duration> duration_;
};

}  // namespace qv58163::recorder
