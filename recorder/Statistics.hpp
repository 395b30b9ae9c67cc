// What a run has seen, kept in constant memory: per channel the count, extremes, mean and spread
// of the successful samples; the reads made, failed and late, and the deadlines skipped.
#pragma once

#include <array>
#include <cstdint>

#include "Read.hpp"

namespace qv58163::recorder {

// Running mean and spread by Welford's method, stable over millions of samples.
class ChannelStatistics {
public:
    void add(double value);

    std::int64_t count() const { return count_; }
    double min() const { return min_; }
    double max() const { return max_; }
    double mean() const { return mean_; }
    // Of the samples themselves (divided by their number), 0 for a single sample.
    double standardDeviation() const;

private:
    std::int64_t count_ = 0;
    double min_ = 0;
    double max_ = 0;
    double mean_ = 0;
    double squares_ = 0;  // sum of squared differences from the mean
};

class RunStatistics {
public:
    explicit RunStatistics(const Positions &positions) : positions_(positions) {}

    // One read: its status, its volts and whether it was late. A failed read's values are not
    // measurements and stay out of the channels' statistics.
    void addRead(std::int32_t status, const Volts &volts, bool late);
    // Deadlines passed over without a read, because the recorder woke after a later one.
    void addSkipped(std::int64_t deadlines) { skipped_ += deadlines; }

    std::int64_t samples() const { return samples_; }
    std::int64_t failedReads() const { return failedReads_; }
    std::int64_t failedInARow() const { return failedInARow_; }
    std::int64_t lateSamples() const { return lateSamples_; }
    std::int64_t skippedDeadlines() const { return skipped_; }
    const ChannelStatistics &channel(int channel) const { return channels_[channel]; }

private:
    Positions positions_;
    std::array<ChannelStatistics, channelCount> channels_;
    std::int64_t samples_ = 0;
    std::int64_t failedReads_ = 0;
    std::int64_t failedInARow_ = 0;
    std::int64_t lateSamples_ = 0;
    std::int64_t skipped_ = 0;
};

}  // namespace qv58163::recorder
