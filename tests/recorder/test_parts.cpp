// The recorder's pure parts, where a process would be slower or blinder: the schedule's
// deadlines and the plot's bounded series.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "Decimator.hpp"
#include "Schedule.hpp"

namespace qv58163::recorder {
namespace {

using namespace std::chrono_literals;

TEST(Schedule, DeadlinesStayFixedAndADurationCountsTheDeadlinesInsideIt) {
    const Schedule hour(100ms, std::nullopt, std::chrono::nanoseconds(3600s));
    EXPECT_EQ(hour.total(), 36000);
    EXPECT_EQ(hour.deadline(35999), 3599900ms);
    EXPECT_TRUE(hour.takes(35999, 3599950ms));
    EXPECT_FALSE(hour.takes(36000, 3599950ms));
    EXPECT_FALSE(hour.takes(35999, 3600s)) << "the duration has passed";
    // A late sample does not move the next deadline, and only half an interval makes it late.
    EXPECT_FALSE(hour.isLate(5, 549ms));
    EXPECT_TRUE(hour.isLate(5, 550ms));
    EXPECT_EQ(hour.deadline(6), 600ms);
    EXPECT_EQ(hour.remaining(3599800ms), std::chrono::nanoseconds(100ms));

    const Schedule fraction(30ms, std::nullopt, std::chrono::nanoseconds(100ms));
    EXPECT_EQ(fraction.total(), 4) << "0, 30, 60 and 90 ms";
    const Schedule open(1ms, std::nullopt, std::nullopt);
    EXPECT_EQ(open.total(), std::nullopt);
    EXPECT_TRUE(open.takes(1'000'000'000, 1000h));
}

TEST(Decimator, KeepsEveryExtremeInBoundedBuckets) {
    Decimator series(64);
    const std::int64_t samples = 1'000'003;
    for (std::int64_t k = 0; k < samples; ++k) {
        // A slow ramp, with one spike up and one down that a mean would hide.
        const double value = k == 777'777 ? 50.0 : k == 12'345 ? -50.0 : k / 1e6;
        series.add(k, 2, value);
        if (k % 3 == 0) {
            series.add(k, 5, 1.0);
        }
    }
    const auto &buckets = series.buckets(2);
    ASSERT_LE(buckets.size(), 64u);
    ASSERT_GT(buckets.size(), 32u);
    EXPECT_GE(series.samplesPerBucket() * static_cast<std::int64_t>(buckets.size()), samples);
    double low = 1e9;
    double high = -1e9;
    for (std::size_t b = 0; b < buckets.size(); ++b) {
        ASSERT_FALSE(buckets[b].empty());
        low = std::min(low, buckets[b].min);
        high = std::max(high, buckets[b].max);
        // Each bucket spans its own samples: the ramp's value at its first sample is its least,
        // unless the spike down lies in it.
        const auto first = static_cast<std::int64_t>(b) * series.samplesPerBucket();
        if (12'345 < first || 12'345 >= first + series.samplesPerBucket()) {
            EXPECT_DOUBLE_EQ(buckets[b].min, first / 1e6) << "bucket " << b;
        }
    }
    EXPECT_EQ(low, -50.0);
    EXPECT_EQ(high, 50.0);
    EXPECT_EQ(series.buckets(5).size(), buckets.size());
    EXPECT_TRUE(series.buckets(0).empty()) << "a channel with no values";
}

}  // namespace
}  // namespace qv58163::recorder

// The plots are drawn with text, which needs Qt Gui (on the offscreen platform).
int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
