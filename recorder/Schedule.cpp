#include "Schedule.hpp"

namespace qv58163::recorder {

Schedule::Schedule(std::chrono::milliseconds interval, std::optional<std::int64_t> count,
                   std::optional<Duration> duration)
    : interval_(interval), count_(count), duration_(duration) {}

bool Schedule::takes(std::int64_t k, Duration elapsed) const {
    if (count_) {
        return k < *count_;
    }
    if (duration_) {
        return deadline(k) < *duration_ && elapsed < *duration_;
    }
    return true;
}

bool Schedule::isLate(std::int64_t k, Duration elapsed) const {
    return (elapsed - deadline(k)) * 2 >= interval_;
}

std::optional<std::int64_t> Schedule::total() const {
    if (count_) {
        return count_;
    }
    if (duration_) {
        // The deadlines below the duration: 0, 1, ... up to the last k with k x interval < it.
        return (duration_->count() + interval_.count() - 1) / interval_.count();
    }
    return std::nullopt;
}

std::optional<Schedule::Duration> Schedule::remaining(Duration elapsed) const {
    const std::optional<std::int64_t> samples = total();
    if (!samples) {
        return std::nullopt;
    }
    const Duration end = deadline(*samples - 1);
    return elapsed < end ? end - elapsed : Duration::zero();
}

}  // namespace qv58163::recorder
