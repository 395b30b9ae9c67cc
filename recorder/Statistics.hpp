// What a run has seen, kept in constant memory: per channel the count, extremes, mean and spread
// of the successful samples, the failed reads and late samples, and the checks' verdicts.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "Options.hpp"
#include "Rows.hpp"

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
    RunStatistics(const Positions &positions, std::vector<Check> checks);

    // One sample: the read's status, the volts and the row written for them, and whether it
    // was late. A failed read counts against every check; its values are not measurements and
    // stay out of the statistics.
    void add(std::int32_t status, const Volts &volts, const CsvRow &row, bool late);

    std::int64_t samples() const { return samples_; }
    std::int64_t failedReads() const { return failedReads_; }
    std::int64_t lateSamples() const { return lateSamples_; }
    const ChannelStatistics &channel(int channel) const { return channels_[channel]; }

    // A check passes when its channel runs, has samples, every one of them as written lies within
    // its bounds, and no read failed.
    bool passed(const Check &check) const;
    bool anyCheckFailed() const;

    // The table printed at the end of a run.
    QString summary() const;

private:
    Positions positions_;
    std::vector<Check> checks_;
    std::array<ChannelStatistics, channelCount> channels_;
    std::array<std::int64_t, channelCount> outside_{};  // samples outside the channel's check
    std::array<int, channelCount> checkOf_{};           // index into checks_, or -1
    std::int64_t samples_ = 0;
    std::int64_t failedReads_ = 0;
    std::int64_t lateSamples_ = 0;
};

}  // namespace qv58163::recorder
