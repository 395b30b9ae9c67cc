#include "Decimator.hpp"

#include <algorithm>
#include <limits>

namespace qv58163::recorder {

namespace {
constexpr Decimator::Bucket emptyBucket{std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity()};
}  // namespace

Decimator::Decimator(int columns) : columns_(std::max(2, columns & ~1)) {
    for (std::vector<Bucket> &buckets : buckets_) {
        buckets.reserve(static_cast<std::size_t>(columns_));
    }
}

void Decimator::add(std::int64_t index, int channel, double value) {
    while (index / perBucket_ >= columns_) {
        mergePairs();
    }
    const auto bucket = static_cast<std::size_t>(index / perBucket_);
    std::vector<Bucket> &buckets = buckets_[channel];
    if (buckets.size() <= bucket) {
        buckets.resize(bucket + 1, emptyBucket);
    }
    Bucket &target = buckets[bucket];
    target.min = std::min(target.min, value);
    target.max = std::max(target.max, value);
}

void Decimator::mergePairs() {
    for (std::vector<Bucket> &buckets : buckets_) {
        const std::size_t merged = (buckets.size() + 1) / 2;
        for (std::size_t k = 0; k < merged; ++k) {
            Bucket bucket = buckets[2 * k];
            if (2 * k + 1 < buckets.size()) {
                bucket.min = std::min(bucket.min, buckets[2 * k + 1].min);
                bucket.max = std::max(bucket.max, buckets[2 * k + 1].max);
            }
            buckets[k] = bucket;
        }
        buckets.resize(merged);
    }
    perBucket_ *= 2;
}

}  // namespace qv58163::recorder
