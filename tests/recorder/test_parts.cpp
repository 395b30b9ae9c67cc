// The recorder's parts where a whole run would be slower or blinder: the schedule's deadlines,
// the row's time stamp, the plot's bounded series, the progress line's times and the command
// line's unknown options.
#include <gtest/gtest.h>

#include <QDateTime>

#include "Csv.hpp"
#include "Decimator.hpp"
#include "Options.hpp"
#include "Report.hpp"
#include "Schedule.hpp"

namespace qv58163::recorder {
namespace {

using namespace std::chrono_literals;

TEST(Schedule, DeadlinesStayFixedAndADurationCountsTheDeadlinesInsideIt) {
    const Schedule hour(100ms, Schedule::plannedDeadlines(100ms, std::nullopt, 3600.0));
    EXPECT_EQ(hour.planned(), 36000);
    EXPECT_EQ(hour.deadline(35999), 3599900ms);
    EXPECT_FALSE(hour.over(35999));
    EXPECT_TRUE(hour.over(36000));
    // A late sample does not move the next deadline, and only half an interval makes it late.
    EXPECT_FALSE(hour.isLate(5, 549ms));
    EXPECT_TRUE(hour.isLate(5, 550ms));
    EXPECT_EQ(hour.remaining(3599800ms), std::chrono::nanoseconds(100ms));
    // Woken late, the latest deadline passed is due, never one past the last.
    EXPECT_EQ(hour.latestDue(7, 700ms), 7);
    EXPECT_EQ(hour.latestDue(7, 1250ms), 12);
    EXPECT_EQ(hour.latestDue(35990, 5000s), 35999);

    EXPECT_EQ(Schedule::plannedDeadlines(30ms, std::nullopt, 0.1), 4) << "0, 30, 60 and 90 ms";
    EXPECT_EQ(Schedule::plannedDeadlines(100ms, std::nullopt, 0.2001), 3);
    EXPECT_EQ(Schedule::plannedDeadlines(100ms, 7, std::nullopt), 7);
    const Schedule open(1ms, std::nullopt);
    EXPECT_FALSE(open.over(1'000'000'000));
    EXPECT_EQ(open.remaining(1h), std::nullopt);
    // A last deadline past the clock's range: the longest time the clock holds, not an overflow.
    const Schedule eons(3'600'000ms, 1'000'000'000'000);
    EXPECT_EQ(eons.remaining(1h), Schedule::Duration::max());
}

TEST(Progress, SaysLongTimesInHoursDaysOrYearsAndShortOnesInSeconds) {
    using Days = std::chrono::duration<std::int64_t, std::ratio<86'400>>;
    QStringList said;
    for (const Schedule::Duration time : std::initializer_list<Schedule::Duration>{
             3599'900ms, 1h, 47h + 59min + 59s, Days(2), Days(364), Days(365), Days(36'524),
             Days(36'525), Schedule::Duration::max()}) {
        said << durationText(time);
    }
    EXPECT_EQ(said, QStringList({"3599.9 s", "1 h 00 min", "47 h 59 min", "2.0 days", "364.0 days",
                                 "1.0 years", "100.0 years", "over 100 years", "over 100 years"}));
}

// --help-all is one more way to ask for the help; an unknown option is quoted as given, Qt's own
// (-platform) included, after any value that starts with '-'.
TEST(CommandLine, TakesHelpAllAndQuotesAnUnknownOptionAsGiven) {
    EXPECT_EQ(parseCommandLine({"qv58163-record", "--help-all"}).action, CommandLine::Action::Help);
    const std::pair<QStringList, QString> cases[] = {
        {{"-platform", "xcb"}, "-platform"},
        {{"--output", "-platform", "--colour=red"}, "--colour=red"}};
    for (const auto &[arguments, quoted] : cases) {
        EXPECT_EQ(parseCommandLine(QStringList{"qv58163-record"} + arguments).text,
                  QStringLiteral("unknown option '%1': see --help").arg(quoted));
    }
}

TEST(Csv, TimeIsUtcIso8601WithMillisecondsOnEveryKindOfDay) {
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

TEST(Decimator, KeepsEveryExtremeAndFailureInBoundedBucketsAtTheTimesSampled) {
    Decimator series(64, 1ms);
    for (std::int64_t k = 0; k < 1'000'003; ++k) {
        // A slow ramp with a spike up and one down, which a mean per bucket would hide.
        series.add(1ms * k + 250us, 2, k == 777'777 ? 50.0 : k == 12'345 ? -50.0 : k / 1e6);
    }
    series.addFailure(1ms * 500'000);
    const auto &buckets = series.buckets(2);
    ASSERT_GT(buckets.size(), 32u);
    ASSERT_LE(buckets.size(), 64u);
    const auto bucketOf = [&series](std::int64_t k) { return (1ms * k) / series.bucketWidth(); };
    EXPECT_EQ(buckets[bucketOf(12'345)].min, -50.0);
    EXPECT_EQ(buckets[bucketOf(777'777)].max, 50.0);
    // The last bucket spans its own samples: from the first time in it to the run's last.
    const Decimator::Bucket &last = buckets.back();
    EXPECT_EQ(last.last, 1ms * 1'000'002 + 250us);
    EXPECT_EQ(last.first,
              series.bucketWidth() * static_cast<std::int64_t>(buckets.size() - 1) + 250us);
    EXPECT_DOUBLE_EQ(last.max, 1'000'002 / 1e6);
    ASSERT_EQ(series.failures().size(), static_cast<std::size_t>(bucketOf(500'000) + 1));
    EXPECT_TRUE(series.failures().back());
    EXPECT_EQ(std::count(series.failures().begin(), series.failures().end(), true), 1);
    EXPECT_TRUE(series.buckets(0).empty()) << "a channel with no values";
}

}  // namespace
}  // namespace qv58163::recorder
