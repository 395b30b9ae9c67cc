#include "Decimator.hpp"

#include <algorithm>
#include <limits>

namespace qv58163::recorder {

namespace {
constexpr Decimator::Bucket emptyBucket{std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(),
                                        Decimator::Duration::zero(), Decimator::Duration::zero()};
}  // namespace

Decimator::Decimator(int columns, Duration width)
    : columns_(std::max(2, columns & ~1)), width_(std::max(width, Duration(1))) {
    for (std::vector<Bucket> &buckets : buckets_) {
        buckets.reserve(static_cast<std::size_t>(columns_));
    }
    failures_.reserve(static_cast<std::size_t>(columns_));
}

std::size_t Decimator::bucketAt(Duration at) {
    while (at / width_ >= columns_) {
        mergePairs();
    }
    return static_cast<std::size_t>(std::max<std::int64_t>(at / width_, 0));
}

void Decimator::add(Duration at, int channel, double value) {
    const std::size_t bucket = bucketAt(at);
    std::vector<Bucket> &buckets = buckets_[channel];
    if (buckets.size() <= bucket) {
        buckets.resize(bucket + 1, emptyBucket);
    }
    Bucket &target = buckets[bucket];
    if (target.empty()) {
        target.first = at;
    }
    target.last = at;
    target.min = std::min(target.min, value);
    target.max = std::max(target.max, value);
}

void Decimator::addFailure(Duration at) {
    const std::size_t bucket = bucketAt(at);
    if (failures_.size() <= bucket) {
        failures_.resize(bucket + 1, false);
    }
    failures_[bucket] = true;
}

void Decimator::mergePairs() {
    for (std::vector<Bucket> &buckets : buckets_) {
        const std::size_t merged = (buckets.size() + 1) / 2;
        for (std::size_t k = 0; k < merged; ++k) {
            Bucket bucket = buckets[2 * k];
            if (2 * k + 1 < buckets.size()) {
                const Bucket &second = buckets[2 * k + 1];
                if (bucket.empty()) {
                    bucket = second;
                } else if (!second.empty()) {
                    bucket.min = std::min(bucket.min, second.min);
                    bucket.max = std::max(bucket.max, second.max);
                    bucket.last = second.last;
                }
            }
            buckets[k] = bucket;
        }
        buckets.resize(merged);
    }
    const std::size_t merged = (failures_.size() + 1) / 2;
    for (std::size_t k = 0; k < merged; ++k) {
        failures_[k] = failures_[2 * k] || (2 * k + 1 < failures_.size() && failures_[2 * k + 1]);
    }
    failures_.resize(merged);
    width_ *= 2;
}

}  // namespace qv58163::recorder
