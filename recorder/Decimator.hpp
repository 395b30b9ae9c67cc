// The recording for the plot, in bounded memory however long the run: time cut into at most
// `columns` buckets, each keeping per channel only the lowest and highest value and the times of
// its first and last sample, and whether a read failed or a deadline was skipped inside it. When
// the buckets run out, neighbours merge in pairs and each bucket spans twice the time.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "CardLimits.hpp"

namespace qv58163::recorder {

class Decimator {
public:
    using Duration = std::chrono::nanoseconds;

    struct Bucket {
        double min;
        double max;
        Duration first;  // the times of the first and last sample in it
        Duration last;
        bool empty() const { return min > max; }
    };

    // `columns`: the most buckets, even, at least 2; `width`: the time one bucket spans at first
    // (the interval, so that each sample has a bucket of its own until they run out).
    Decimator(int columns, Duration width);

    // `channel` read `value` at `at` (times never decreasing).
    void add(Duration at, int channel, double value);
    // A read failed at `at`.
    void addFailure(Duration at);
    // The deadlines from `from` up to `to` (not included) were skipped: no read was made for them.
    void addSkipped(Duration from, Duration to);

    Duration bucketWidth() const { return width_; }
    // A channel's buckets in order from time 0; a bucket with no value is empty().
    const std::vector<Bucket> &buckets(int channel) const { return buckets_[channel]; }
    // Per bucket, whether a read failed in it.
    const std::vector<bool> &failures() const { return failures_; }
    // Per bucket, whether a deadline in it was skipped.
    const std::vector<bool> &skips() const { return skips_; }

    // The trace of `channel`: the buckets with values, in pieces joined by lines. A bucket where
    // a read failed or a deadline was skipped is a piece of its own, so no line bridges a stretch
    // the run did not sample.
    std::vector<std::vector<std::size_t>> pieces(int channel) const;

private:
    std::size_t bucketAt(Duration at);
    void mergePairs();
    static void mark(std::vector<bool> &flags, std::size_t first, std::size_t last);

    int columns_;
    Duration width_;
    std::array<std::vector<Bucket>, card::channelCount> buckets_;
    std::vector<bool> failures_;
    std::vector<bool> skips_;
};

}  // namespace qv58163::recorder
