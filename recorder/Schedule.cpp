#include "Schedule.hpp"

#include <algorithm>
#include <cmath>

namespace qv58163::recorder {

Schedule::Schedule(std::chrono::milliseconds interval, std::optional<std::int64_t> planned)
    : interval_(interval), planned_(planned) {}

std::optional<std::int64_t> Schedule::plannedDeadlines(std::chrono::milliseconds interval,
                                                       std::optional<std::int64_t> count,
                                                       std::optional<double> seconds) {
    if (count) {
        return count;
    }
    if (seconds) {
        // The deadlines below the duration: 0, 1, ... up to the last k with k x interval < it.
        const auto nanoseconds = static_cast<std::int64_t>(std::llround(*seconds * 1e9));
        const std::int64_t step = Duration(interval).count();
        return std::max<std::int64_t>(1, (nanoseconds + step - 1) / step);
    }
    return std::nullopt;
}

std::int64_t Schedule::latestDue(std::int64_t next, Duration elapsed) const {
    std::int64_t due = std::max(next, elapsed / interval_);
    if (planned_) {
        due = std::min(due, *planned_ - 1);
    }
    return std::max(due, next);
}

bool Schedule::isLate(std::int64_t k, Duration elapsed) const {
    return (elapsed - deadline(k)) * 2 >= interval_;
}

std::optional<Schedule::Duration> Schedule::remaining(Duration elapsed) const {
    if (!planned_) {
        return std::nullopt;
    }
    // The last deadline of a long run at a long interval (a million million hourly samples) lies
    // past the clock's range: the time left is then the longest the clock holds.
    if (*planned_ - 1 > Duration::max() / interval_) {
        return Duration::max();
    }
    const Duration end = deadline(*planned_ - 1);
    return elapsed < end ? end - elapsed : Duration::zero();
}

}  // namespace qv58163::recorder
