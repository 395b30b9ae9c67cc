#include "Statistics.hpp"

#include <algorithm>
#include <cmath>

#include "RangeTable.hpp"

namespace qv58163::recorder {

void ChannelStatistics::add(double value) {
    ++count_;
    if (count_ == 1) {
        min_ = max_ = mean_ = value;
        return;
    }
    min_ = std::min(min_, value);
    max_ = std::max(max_, value);
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(count_);
    squares_ += delta * (value - mean_);
}

double ChannelStatistics::standardDeviation() const {
    return count_ > 0 ? std::sqrt(squares_ / static_cast<double>(count_)) : 0.0;
}

void RunStatistics::addRead(std::int32_t status, const Volts &volts, bool late) {
    ++samples_;
    if (late) {
        ++lateSamples_;
    }
    if (status != 0) {
        ++failedReads_;
        ++failedInARow_;
        return;
    }
    failedInARow_ = 0;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions_[channel] != card::stopPosition) {
            channels_[channel].add(volts[channel]);
        }
    }
}

}  // namespace qv58163::recorder
