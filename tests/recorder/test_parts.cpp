// The recorder's parts where a whole run would be slower or blinder: the schedule's deadlines,
// the row's time stamp, the plot's bounded series, the files it is given, the progress line and
// the command line's unknown options.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <tuple>

#include "Csv.hpp"
#include "Decimator.hpp"
#include "FakeWorld.hpp"
#include "Files.hpp"
#include "Options.hpp"
#include "Progress.hpp"
#include "RowName.hpp"
#include "Schedule.hpp"
#include "System.hpp"

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

// The line says skipped deadlines and failed reads once there are any, and the time left when the
// run has a last deadline; it is rewritten at most every 250 ms, and cleared at the end if shown.
TEST(Progress, RewritesOneLineAtMostFourTimesASecondAndClearsItOnlyIfShown) {
    const QString later = QStringLiteral("\r3 samples, 0.4 s elapsed, 2 skipped, 1 failed reads");
    const std::tuple<Schedule, bool, QString> cases[] = {
        {Schedule(100ms, 10), true,
         "\r1 samples, 0.0 s elapsed, 0.9 s remaining\x1b[K" + later +
             ", 0.5 s remaining\x1b[K\r\x1b[K"},
        {Schedule(100ms, std::nullopt), true,
         "\r1 samples, 0.0 s elapsed\x1b[K" + later + "\x1b[K\r\x1b[K"},
        {Schedule(3'600'000ms, 1'000'000'000'000), true,
         "\r1 samples, 0.0 s elapsed, over 100 years remaining\x1b[K" + later +
             ", over 100 years remaining\x1b[K\r\x1b[K"},
        {Schedule(100ms, 10), false, ""}};
    for (const auto &[schedule, shown, said] : cases) {
        test::FakeWorld world;
        Progress progress(world, schedule, shown);
        progress.sampled(0ms, false);
        progress.sampled(249ms, false);
        progress.skipped(2);
        progress.sampled(400ms, true);
        progress.ended();
        EXPECT_EQ(world.said, said);
    }
    test::FakeWorld world;
    Progress(world, Schedule(100ms, 10), true).ended();
    EXPECT_EQ(world.said, QString()) << "nothing to clear before the first sample";
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

TEST(Decimator, BreaksTheTraceOverSkippedDeadlinesAndFailedReadsAndMarksThem) {
    // A square wave, read every 10 ms but for deadlines 5 to 21, skipped, and 26, a failed read.
    Decimator series(64, 10ms);
    for (std::int64_t k : {0, 1, 2, 3, 4, 22, 23, 24, 25, 27, 28, 29, 30}) {
        series.add(10ms * k + 1ms, 0, k < 10 ? 0.0 : 1.0);
    }
    series.addSkipped(50ms, 220ms);
    series.addFailure(261ms);
    using Pieces = std::vector<std::vector<std::size_t>>;
    EXPECT_EQ(series.pieces(0), Pieces({{0, 1, 2, 3, 4}, {22, 23, 24, 25}, {27, 28, 29, 30}}));
    // A pause past the last bucket merges them in pairs (skips 5..21 in 2..10, 31..99 in 15..49);
    // a bucket with both samples and a skip or failure stands alone.
    series.addSkipped(310ms, 1000ms);
    EXPECT_EQ(series.pieces(0), Pieces({{0, 1}, {2}, {11, 12}, {13}, {14}, {15}}));
    EXPECT_EQ(std::count(series.skips().begin(), series.skips().end(), true), 9 + 35);
}

// A folder with every kind of name: a file and a hard link to it, a FIFO, and symbolic links to
// a folder, the file, the FIFO and nothing.
class NamedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(scratch.path()).mkdir("real"));
        QFile kept(path("kept.png"));
        ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        ASSERT_EQ(::link(name("kept.png").constData(), name("linked.csv").constData()), 0);
        ASSERT_EQ(::mkfifo(name("fifo.csv").constData(), 0666), 0);
        for (const auto &[link, target] : {std::pair{"ln", "real"},
                                           {"to-kept.csv", "kept.png"},
                                           {"to-fifo.png", "fifo.csv"},
                                           {"nowhere.csv", "none"}}) {
            ASSERT_EQ(::symlink(target, name(link).constData()), 0);
        }
    }
    QString path(const char *file) const { return scratch.filePath(QLatin1String(file)); }
    QByteArray name(const char *file) const { return QFile::encodeName(path(file)); }

    QTemporaryDir scratch;
};

struct FileCase {
    const char *name;
    QStringList arguments;  // file names in the folder
    const char *refusal;    // none: accepted
};
void PrintTo(const FileCase &row, std::ostream *out) {
    *out << row.name;
}

class FileOptions : public NamedFiles, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileOptions, AreRefusedWhenNotNewOrRegularOrTwoAreOneFile) {
    QStringList arguments = {"qv58163-record"};
    for (const QString &argument : GetParam().arguments) {
        arguments << (argument.startsWith("--") || argument.startsWith('/')
                          ? argument
                          : scratch.filePath(argument));
    }
    const CommandLine line = parseCommandLine(arguments);
    if (GetParam().refusal == nullptr) {
        EXPECT_EQ(line.action, CommandLine::Action::Run) << line.text.toStdString();
    } else {
        EXPECT_EQ(line.action, CommandLine::Action::Error);
        EXPECT_TRUE(line.text.contains(QLatin1String(GetParam().refusal)))
            << line.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileOptions,
    ::testing::Values(
        FileCase{"OneFileThroughALinkedFolder",
                 {"--output", "ln/run.png", "--plot", "real/run.png"},
                 "three files expected, not"},
        FileCase{"HardLinksWithForce",
                 {"--force", "--output", "linked.csv", "--plot", "kept.png"},
                 "three files expected, not"},
        FileCase{"FifoWithForce", {"--force", "--output", "fifo.csv"}, "not a regular file"},
        FileCase{
            "LinkToAFifoWithForce", {"--force", "--plot", "to-fifo.png"}, "not a regular file"},
        FileCase{"DeviceWithForce", {"--force", "--output", "/dev/null"}, "not a regular file"},
        FileCase{"LinkToNothing", {"--output", "nowhere.csv"}, "not a regular file"},
        FileCase{"LinkToAFileWithForce",
                 {"--force", "--output", "to-kept.csv", "--plot", "ln/run.png"},
                 nullptr}),
    test::RowName());

// {start}, {card} and {station} as the run's start, --card and --station give them; a slice's
// time goes before the last suffix; --split needs a file to name its slices after.
TEST_F(NamedFiles, FileNamesTakeTheStartTheCardAndTheStation) {
    const std::int64_t start = 1'796'400'005'250;  // 2026-12-04 16:00:05.250 UTC
    const CommandLine line =
        parseCommandLine({"qv58163-record", "--card", "3", "--station", "rack-1", "--output",
                          path("{station}-card{card}-{start}.csv")},
                         start);
    EXPECT_EQ(line.options.output, path("rack-1-card3-20261204T160005Z.csv"))
        << line.text.toStdString();
    EXPECT_EQ(sliceName("/d.d/run", start + 3'600'000), "/d.d/run-20261204T170005Z");
    EXPECT_EQ(parseCommandLine({"qv58163-record", "--split", "1h"}).text,
              "--split: only with --output FILE, not standard output");
}

// Should a name change between the start and the write, --force still replaces a regular file
// only: through a link the file it leads to (the link stays); never a FIFO, without waiting on
// one, and a plot or report that cannot replace it is kept beside it.
TEST_F(NamedFiles, ForceReplacesOnlyARegularFileWhenTheFileIsWritten) {
    // With a reader on the FIFO, an open for writing would not block, and would succeed.
    const int reader = ::open(name("fifo.csv").constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    SystemSurroundings system;
    QString error;
    QString keptAs;
    EXPECT_EQ(system.createOutput(path("fifo.csv"), true, error), nullptr);
    EXPECT_EQ(error, notRegularText());
    EXPECT_EQ(system.writeNewFile(path("to-fifo.png"), "plot", true, keptAs), notRegularText());
    EXPECT_EQ(keptAs, path("fifo-1.csv")) << "kept beside the FIFO";
    ::close(reader);
    struct stat status {};
    EXPECT_TRUE(::lstat(name("fifo.csv").constData(), &status) == 0 && S_ISFIFO(status.st_mode));

    EXPECT_EQ(system.writeNewFile(path("to-kept.csv"), "plot", true, keptAs), QString());
    EXPECT_TRUE(QFileInfo(path("to-kept.csv")).isSymLink());
    QFile kept(path("kept.png"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "plot");
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"fifo-1.csv", "fifo.csv", "kept.png", "linked.csv", "nowhere.csv",
                           "to-fifo.png", "to-kept.csv"}))
        << "a temporary file left";
}

}  // namespace
}  // namespace qv58163::recorder
