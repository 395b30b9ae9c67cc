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
    skips_.reserve(static_cast<std::size_t>(columns_));
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

void Decimator::mark(std::vector<bool> &flags, std::size_t first, std::size_t last) {
    if (flags.size() <= last) {
        flags.resize(last + 1, false);
    }
    std::fill(flags.begin() + static_cast<std::ptrdiff_t>(first),
              flags.begin() + static_cast<std::ptrdiff_t>(last) + 1, true);
}

void Decimator::addFailure(Duration at) {
    const std::size_t bucket = bucketAt(at);
    mark(failures_, bucket, bucket);
}

void Decimator::addSkipped(Duration from, Duration to) {
    if (to <= from) {
        return;
    }
    // The last bucket first: finding it may merge buckets, which changes where `from` falls.
    const std::size_t last = bucketAt(to - Duration(1));
    mark(skips_, bucketAt(from), last);
}

std::vector<std::vector<std::size_t>> Decimator::pieces(int channel) const {
    const std::vector<Bucket> &buckets = buckets_[channel];
    const auto flagged = [](const std::vector<bool> &flags, std::size_t b) {
        return b < flags.size() && flags[b];
    };
    std::vector<std::vector<std::size_t>> pieces;
    bool joined = false;
    for (std::size_t b = 0; b < buckets.size(); ++b) {
        const bool broken = flagged(failures_, b) || flagged(skips_, b);
        if (broken) {
            joined = false;
        }
        if (buckets[b].empty()) {
            continue;
        }
        if (!joined) {
            pieces.emplace_back();
        }
        pieces.back().push_back(b);
        joined = !broken;
    }
    return pieces;
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
    for (std::vector<bool> *flags : {&failures_, &skips_}) {
        const std::size_t merged = (flags->size() + 1) / 2;
        for (std::size_t k = 0; k < merged; ++k) {
            (*flags)[k] = (*flags)[2 * k] || (2 * k + 1 < flags->size() && (*flags)[2 * k + 1]);
        }
        flags->resize(merged);
    }
    width_ *= 2;
}

}  // namespace qv58163::recorder
