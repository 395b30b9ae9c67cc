// The recording for the plot, in bounded memory however long the run: per channel at most
// `columns` buckets of consecutive samples, each keeping only the lowest and highest value. When
// the buckets run out, neighbours merge in pairs and each bucket covers twice as many samples.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Options.hpp"

namespace qv58163::recorder {

class Decimator {
public:
    struct Bucket {
        double min;
        double max;
        bool empty() const { return min > max; }
    };

    // `columns`: the most buckets a channel keeps, even, at least 2.
    explicit Decimator(int columns);

    // Sample number `index` (0, 1, 2, ... never decreasing) of `channel` has `value`.
    void add(std::int64_t index, int channel, double value);

    // How many consecutive sample numbers one bucket covers: bucket b holds samples
    // b x samplesPerBucket() up to the next bucket's first.
    std::int64_t samplesPerBucket() const { return perBucket_; }
    // A channel's buckets in order; a bucket with no value (no sample, or only failed reads) is
    // empty().
    const std::vector<Bucket> &buckets(int channel) const { return buckets_[channel]; }

private:
    void mergePairs();

    int columns_;
    std::int64_t perBucket_ = 1;
    std::array<std::vector<Bucket>, channelCount> buckets_;
};

}  // namespace qv58163::recorder
