// The recorder's pure parts, where a process would be slower or blinder: the schedule's
// deadlines and the plot's bounded series.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QGuiApplication>

#include "Decimator.hpp"
#include "Rows.hpp"
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

TEST(Rows, TimeIsUtcIso8601WithMillisecondsOnEveryKindOfDay) {
    CsvRow row;
    // 1970 itself, a leap day, a century that is not a leap year, a year's last millisecond.
    for (const std::int64_t ms : {0LL, 951'782'400'000LL, 4'107'456'000'500LL, 1'798'761'599'999LL,
                                  1'796'400'000'123LL, 253'402'300'799'999LL}) {
        const QByteArray text = row.format(ms, {}, {}, {}, 0);
        EXPECT_EQ(
            text.left(text.indexOf(',')),
            QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1())
            << ms;
    }
}

TEST(Decimator, KeepsEveryExtremeInBoundedBuckets) {
    Decimator series(64);
    for (std::int64_t k = 0; k < 1'000'003; ++k) {
        // A slow ramp with a spike up and one down, which a mean per bucket would hide.
        series.add(k, 2, k == 777'777 ? 50.0 : k == 12'345 ? -50.0 : k / 1e6);
    }
    const auto &buckets = series.buckets(2);
    ASSERT_GT(buckets.size(), 32u);
    ASSERT_LE(buckets.size(), 64u);
    EXPECT_EQ(buckets[12'345 / series.samplesPerBucket()].min, -50.0);
    EXPECT_EQ(buckets[777'777 / series.samplesPerBucket()].max, 50.0);
    // Every other bucket spans its own samples: the ramp's value at its first is its least.
    const std::size_t last = buckets.size() - 1;
    EXPECT_DOUBLE_EQ(buckets[last].min,
                     static_cast<double>(last * series.samplesPerBucket()) / 1e6);
    EXPECT_DOUBLE_EQ(buckets[last].max, 1'000'002 / 1e6);
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
