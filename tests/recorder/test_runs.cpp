// Whole runs in this process, on a recording driver and a clock that moves only when the run
// waits: the checks' verdicts, failed reads, late wake-ups, stops, a held card, the order of the
// exit statuses and the report.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "Csv.hpp"
#include "FakeWorld.hpp"
#include "PrintTo.hpp"
#include "Recorder.hpp"
#include "RecordingDriver.hpp"
#include "RowName.hpp"

namespace qv58163::test {
namespace {

using namespace std::chrono_literals;
using Duration = FakeWorld::Duration;
using TimePoint = FakeWorld::TimePoint;

// Every channel on 0..5 V (the recording driver's codes), reading slot value 1024: 1.250305 V.
class RecorderRun : public ::testing::Test {
protected:
    RecorderRun() {
        options.count = 5;
        driver.onRead = [this](std::int16_t, std::int16_t *results) {
            std::fill(results, results + 8, std::int16_t{1024});
            return readsUntilFailure-- > 0 ? 0 : -7;
        };
    }
    int run() { return recorder::record(options, driver, world); }
    QJsonObject report() const {
        return QJsonDocument::fromJson(world.files.value(options.report)).object();
    }
    CallLog calls(const std::string &prefix) const { return entriesStartingWith(log, prefix); }

    recorder::Options options;
    CallLog log;
    RecordingDriver driver{log};
    FakeWorld world;
    int readsUntilFailure = 1'000'000;
};

const QStringList oneVolt = {"1.250305", "1.250305", "1.250305", "1.250305",
                             "1.250305", "1.250305", "1.250305", "1.250305"};
const QStringList failed = {"", "", "", "", "", "", "", "", "-7"};

TEST_F(RecorderRun, AStopBeforeTheLastDeadlineLeavesEachCheckIncomplete) {
    options.count = 50;
    options.checks = {{0, 1.2, 1.3}};
    world.stopAtWait = 6;
    EXPECT_EQ(run(), 3);
    EXPECT_EQ(world.fields().size(), 6);
    EXPECT_TRUE(world.said.contains("check CH00 1.2 to 1.3 V: INCOMPLETE (6 of 50 samples)"))
        << world.said.toStdString();
    EXPECT_EQ(log.back(), "QV58163_close()");

    // Stopped without checks, or an open-ended run with them: the operator's normal end.
    for (const bool openEnded : {false, true}) {
        world = FakeWorld();
        world.stopAtWait = 6;
        options.checks = openEnded ? std::vector<recorder::Check>{{0, 1.2, 1.3}}
                                   : std::vector<recorder::Check>{};
        options.count = openEnded ? std::nullopt : std::optional<std::int64_t>(50);
        EXPECT_EQ(run(), 0) << world.said.toStdString();
    }
    EXPECT_TRUE(world.said.contains("check CH00 1.2 to 1.3 V: PASS")) << world.said.toStdString();

    // Unless deadlines passed unsampled before the stop was seen: after a slow last read.
    world = FakeWorld();
    world.stopAtWait = 6;
    driver.onRead = [this](std::int16_t, std::int16_t *results) {
        std::fill(results, results + 8, std::int16_t{1024});
        world.clock += world.waits == 6 ? Duration(250ms) : Duration::zero();
        return 0;
    };
    EXPECT_EQ(run(), 3);
    EXPECT_TRUE(world.said.contains("INCOMPLETE (6 of 8 samples, 2 skipped deadlines)"))
        << world.said.toStdString();
}

TEST_F(RecorderRun, AFailedReadIsAnEmptyRowLeftOutOfTheStatisticsAndExits4) {
    readsUntilFailure = 3;
    EXPECT_EQ(run(), 4);
    const QList<QStringList> rows = world.fields();
    ASSERT_EQ(rows.size(), 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(rows[k].mid(2), k < 3 ? oneVolt + QStringList{"0"} : failed) << "row " << k;
    }
    EXPECT_TRUE(world.said.contains(
        "CH00       0: 0V ~ 5V              3    1.250305    1.250305    1.250305    0.000000"))
        << world.said.toStdString();
    EXPECT_TRUE(world.said.contains("failed reads: 2")) << world.said.toStdString();

    // A check sees the run incomplete, and its status comes first.
    world = FakeWorld();
    readsUntilFailure = 3;
    options.checks = {{0, 1.2, 1.3}};
    EXPECT_EQ(run(), 3);
    EXPECT_TRUE(world.said.contains("INCOMPLETE (3 of 5 samples, 2 failed reads)"))
        << world.said.toStdString();
}

TEST_F(RecorderRun, FailedReadsInARowEndTheRunWhenAsked) {
    options.count = 20;
    options.maxFailedReads = 3;
    readsUntilFailure = 2;
    EXPECT_EQ(run(), 4);
    EXPECT_EQ(world.fields().size(), 5);
    EXPECT_TRUE(world.said.contains("3 failed reads in a row: the run ends"))
        << world.said.toStdString();
    EXPECT_EQ(CallLog(log.end() - 2, log.end()),
              CallLog({"QV58163_AD_integral_stop(0)", "QV58163_close()"}));
}

// A check missed the skipped deadlines' samples, and the plot marks them.
TEST_F(RecorderRun, ALateWakeUpSamplesOnlyTheLatestDeadlinePassedAndCountsTheOthers) {
    options.plot = QStringLiteral("plot.png");
    options.count = 10;
    options.checks = {{0, 1.2, 1.3}};
    world.progress = true;
    world.lateBy = [](int wait) { return wait == 2 ? Duration(340ms) : Duration(20us); };
    EXPECT_EQ(run(), 3);
    EXPECT_TRUE(world.said.contains("INCOMPLETE (7 of 10 samples, 3 skipped deadlines)"));
    QStringList elapsed;
    for (const QStringList &row : world.fields()) {
        elapsed << row[1];
    }
    EXPECT_EQ(elapsed, QStringList({"0.000020", "0.100020", "0.540000", "0.600020", "0.700020",
                                    "0.800020", "0.900020"}));
    EXPECT_TRUE(
        world.said.contains("samples: 7 of 10, failed reads: 0, late samples: 0, "
                            "skipped deadlines: 3"))
        << world.said.toStdString();
    // The run tells its progress line of samples, skips and its end (the line cleared).
    EXPECT_TRUE(world.said.contains("\r3 samples, 0.5 s elapsed, 3 skipped"))
        << world.said.toStdString();
    EXPECT_TRUE(world.said.contains("\x1b[K\r\x1b[K")) << world.said.toStdString();
    // The skipped stretch, 0.2 to 0.5 s (x 278 to 575), in grey along the plot's bottom.
    const QImage plot = QImage::fromData(world.files.value(options.plot));
    EXPECT_EQ(plot.pixel(430, 536), qRgb(0x7f, 0x7f, 0x7f));
    EXPECT_NE(plot.pixel(700, 536), qRgb(0x7f, 0x7f, 0x7f));
}

TEST_F(RecorderRun, AReadSlowerThanTheIntervalIsSaidOnce) {
    driver.onRead = [this](std::int16_t, std::int16_t *) {
        world.clock += 150ms;
        return 0;
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(world.said.count("a read takes 150.0 ms, longer than the interval of 100 ms"), 1)
        << world.said.toStdString();
}

TEST_F(RecorderRun, ADurationFixesItsDeadlinesBeforeTheRunHoweverLateItsWakeUps) {
    options.count.reset();
    options.durationSeconds = 0.2001;
    world.lateBy = [](int) { return Duration(30ms); };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(world.fields().size(), 3) << "deadlines 0, 100 and 200 ms";
}

TEST_F(RecorderRun, AStopDuringStartUpIsTakenAfterTheDriverCallItCameInBeforeTheFile) {
    options.ranges = {{2, 3}};  // one card of sixteen answers, eight ranges read, one set
    ASSERT_EQ(run(), 0);
    const CallLog startUp(log.begin(), std::find(log.begin(), log.end(),
                                                 std::string("QV58163_AD_integral_start(0, 1)")));
    ASSERT_EQ(startUp.size(), 1u + 16u + 8u + 1u);
    for (std::size_t calls = 1; calls <= startUp.size(); ++calls) {
        log.clear();
        world = FakeWorld();
        world.stopWhen = [this, calls] { return log.size() >= calls; };
        EXPECT_EQ(run(), 0);
        CallLog expected(startUp.begin(), startUp.begin() + static_cast<std::ptrdiff_t>(calls));
        expected.push_back("QV58163_close()");
        EXPECT_EQ(log, expected) << "a stop during call " << calls;
        EXPECT_FALSE(world.created);
    }
    EXPECT_TRUE(world.said.contains("stopped before the first sample")) << world.said.toStdString();
    options.checks = {{1, 0, 5}};
    EXPECT_EQ(run(), 3);
}

TEST_F(RecorderRun, ACardHeldByAnotherProcessIsRefusedBeforeTheDriverIsTouched) {
    world.heldBy = QStringLiteral("process 42 (qv58163-record)");
    options.card = 0;
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(world.said.contains("card 0 is in use by process 42 (qv58163-record)"))
        << world.said.toStdString();
    // Without --card, the cards are probed first, and the driver closed again.
    options.card.reset();
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(log.back(), "QV58163_close()");
    EXPECT_TRUE(calls("QV58163_AD_integral_start").empty());
}

// --check: the verdict per channel, and exit status 3 unless every check passes.
struct CheckCase {
    const char *name;
    recorder::Check check;
    int readsUntilFailure;
    std::uint8_t codeOfChannel1;
    int status;
    const char *verdict;
};
void PrintTo(const CheckCase &row, std::ostream *out) {
    *out << row.name;
}

class RecorderCheck : public RecorderRun, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(RecorderCheck, GivesTheVerdictAndTheStatus) {
    options.checks = {GetParam().check};
    readsUntilFailure = GetParam().readsUntilFailure;
    driver.codes[1] = GetParam().codeOfChannel1;
    EXPECT_EQ(run(), GetParam().status) << world.said.toStdString();
    EXPECT_TRUE(world.said.contains(QLatin1String(GetParam().verdict))) << world.said.toStdString();
    // A check on a channel the card reports stopped is refused before acquiring.
    EXPECT_EQ(world.created, GetParam().codeOfChannel1 == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecorderCheck,
    ::testing::Values(
        CheckCase{
            "Inside", {1, 1.250305, 1.250305}, 5, 0, 0, "check CH01 1.250305 to 1.250305 V: PASS"},
        CheckCase{"Below", {1, 1.2504, 2}, 5, 0, 3, "FAIL (5 of 5 samples outside)"},
        CheckCase{"Above", {1, 0, 1.2503}, 5, 0, 3, "FAIL (5 of 5 samples outside)"},
        CheckCase{"AFailedRead", {1, 0, 5}, 4, 0, 3, "INCOMPLETE (4 of 5 samples, 1 failed reads)"},
        CheckCase{"ChannelStopped",
                  {1, -10, 10},
                  5,
                  255,
                  3,
                  "--check CH01: the card reports the channel stopped (code 255)"},
        CheckCase{"ChannelShownStopped",
                  {1, -10, 10},
                  5,
                  4,
                  3,
                  "--check CH01: the card reports the channel stopped (code 4)"}),
    RowName());

TEST_F(RecorderRun, TheReportRecordsTheRunAndItsStatus) {
    options.report = QStringLiteral("run.json");
    options.count = 6;
    options.checks = {{0, 0, 5}};
    readsUntilFailure = 4;
    world.lateBy = [](int wait) { return wait == 1 ? Duration(150ms) : Duration::zero(); };
    ASSERT_EQ(run(), 3);
    const QJsonObject report = this->report();
    EXPECT_EQ(report["card"].toInt(-1), 0);
    EXPECT_EQ(report["mode"].toInt(), 1);
    EXPECT_EQ(report["samplesPlanned"].toInt(), 6);
    EXPECT_EQ(report["samplesTaken"].toInt(), 5);
    EXPECT_EQ(report["skippedDeadlines"].toInt(), 1);
    EXPECT_EQ(report["lateSamples"].toInt(), 1);
    EXPECT_EQ(report["failedReads"].toInt(), 1);
    EXPECT_EQ(report["exitStatus"].toInt(), 3);
    EXPECT_EQ(report["ended"].toString(), QStringLiteral("completed"));
    EXPECT_EQ(report["start"].toString(), QStringLiteral("2026-12-04T16:00:00.000Z"));
    EXPECT_EQ(report["channels"][3]["range"].toString(), QStringLiteral("0V ~ 5V"));
    EXPECT_EQ(report["channels"][3]["samples"].toInt(), 4);
    // The statistics with the CSV's digits: 1.250305, not 1.2503052503052503.
    EXPECT_EQ(report["channels"][3]["mean"].toDouble(), 1.250305);
    EXPECT_EQ(report["checks"][0]["verdict"].toString(), QStringLiteral("INCOMPLETE"));

    // A check refused before acquiring: the report says why.
    world = FakeWorld();
    driver.codes[0] = 255;
    ASSERT_EQ(run(), 3);
    const QJsonObject refused = this->report();
    EXPECT_EQ(refused["ended"].toString(), QStringLiteral("checked channel stopped"));
    EXPECT_EQ(refused["checks"][0]["verdict"].toString(), QStringLiteral("FAIL"));

    // A report that cannot be written is a run-time error, whatever else the run did.
    world = FakeWorld();
    world.writeFails = QStringLiteral("No such file or directory");
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(world.said.contains("cannot write the report run.json: No such file or directory"))
        << world.said.toStdString();
}

// The plot's or the report's name taken during the run ends it as a run-time error, and the
// report says so, also when it is the one kept beside the taken name.
class RecorderRunNameTaken : public RecorderRun,
                             public ::testing::WithParamInterface<const char *> {};

TEST_P(RecorderRunNameTaken, EndsWithStatus1AndTheReportSaysSo) {
    options.plot = QStringLiteral("run.png");
    options.report = QStringLiteral("run.json");
    world.files[GetParam()] = "theirs";
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(world.files.value(GetParam()), "theirs");
    const QByteArray report =
        world.files.value(world.files.contains("run.json.kept") ? "run.json.kept" : "run.json");
    EXPECT_EQ(QJsonDocument::fromJson(report)["exitStatus"].toInt(-1), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, RecorderRunNameTaken, ::testing::Values("run.png", "run.json"),
                         [](const auto &info) {
                             return std::string(QByteArray(info.param).replace('.', '_'));
                         });

// Each code as the card reports it, in the report and in the summary as the panel shows it.
TEST_F(RecorderRun, TheReportAndTheSummaryKeepTheCodesTheCardReports) {
    options.report = QStringLiteral("run.json");
    driver.codes = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 255}, {6, 1}, {7, 0}};
    ASSERT_EQ(run(), 0);
    const QJsonObject channel4 = report()["channels"][4].toObject();
    EXPECT_EQ(channel4["rangeCode"].toInt(), 4);
    EXPECT_EQ(channel4["note"].toString(), QStringLiteral("no range has code 4: shown as stopped"));
    EXPECT_TRUE(world.said.contains("CH04    255 : stop           stopped (the card's code 4)\n"));

    // A code no range has ends the run before its first sample; the card and the codes are known.
    driver.codes[6] = 7;
    world = FakeWorld();
    ASSERT_EQ(run(), 1);
    const QJsonObject ended = report();
    EXPECT_EQ(ended["card"].toInt(-1), 0);
    ASSERT_EQ(ended["channels"].toArray().size(), 8);
    EXPECT_EQ(ended["channels"][6]["rangeCode"].toInt(), 7);
    EXPECT_TRUE(ended["channels"][6]["range"].isNull());
    EXPECT_TRUE(world.said.contains("\nCH06       7: no range\n")) << world.said.toStdString();
}

// A week of 1 s samples in slices of a day, the wake-up at the first day's last deadline 3.3 s
// late: a file a day named by its first row's time, each opening with the header and holding the
// rows of its day, each row once; the summary and the report count them, the statistics the run.
TEST_F(RecorderRun, AWeekInSlicesOfADayKeepsEachRowInTheSliceOfItsDayOnce) {
    constexpr std::int64_t day = 86'400;
    options.output = QStringLiteral("/data/run.csv");
    options.split = std::chrono::seconds(day);
    options.intervalMs = 1000;
    options.count = 7 * day;
    options.report = QStringLiteral("run.json");
    world.lateBy = [](int wait) { return wait == day - 1 ? Duration(3300ms) : Duration::zero(); };
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(world.outputs.size(), 7);
    world.outputs.append({QString(), world.rows.size()});
    std::int64_t previous = -1;  // the row before's elapsed microseconds
    for (qsizetype k = 0; k < 7; ++k) {
        const auto [name, first] = world.outputs[k];
        const qsizetype rows = world.outputs[k + 1].second - first - 1;
        EXPECT_EQ(world.rows[first] + '\n', recorder::csvHeader());
        const QString time = world.rows[first + 1].section(',', 0, 0);
        EXPECT_EQ(name, "/data/run-" + time.left(19).remove('-').remove(':') + "Z.csv");
        for (qsizetype row = first + 1; row <= first + rows; ++row) {
            const auto elapsed = std::llround(world.rows[row].section(',', 1, 1).toDouble() * 1e6);
            ASSERT_TRUE(elapsed > previous && elapsed / (day * 1'000'000) == k) << row;
            previous = elapsed;
        }
        EXPECT_EQ(report()["slices"][k].toObject(), QJsonObject({{"file", name}, {"rows", rows}}));
    }
    EXPECT_EQ(world.outputs[1].first, "/data/run-20261205T160002Z.csv");
    EXPECT_TRUE(world.said.contains("\nslice /data/run-20261205T160002Z.csv: 86398 rows\n"));
    EXPECT_EQ(report()["channels"][0]["samples"].toInt(), 7 * day - 3);
    EXPECT_EQ(world.rows.size(), 7 * day - 3 + 7);
}

// A wall clock set back 10 s would name the third slice as the second: it is named a second later.
TEST_F(RecorderRun, SliceNamesFollowTheRunsOrderWhenTheClockIsSetBack) {
    options.output = QStringLiteral("/data/run.csv");
    options.split = 10s;
    options.intervalMs = 1000;
    options.count = 30;
    world.lateBy = [this](int wait) {
        world.utcShift = wait >= 15 ? -10'000 : 0;
        return Duration::zero();
    };
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(world.outputs.size(), 3);
    EXPECT_EQ(world.outputs[1].first, "/data/run-20261204T160010Z.csv");
    EXPECT_EQ(world.outputs[2].first, "/data/run-20261204T160011Z.csv");
}

// --sync: no row stays longer than SECONDS of the run in the system's cache alone, and each slice
// is put on the disk when it closes (the next opens, the run ends); with 0, after every row. A disk
// that refuses ends the run with status 1, also on the way out.
TEST_F(RecorderRun, RowsReachTheDiskWithinTheSyncIntervalAndEachSliceWhenItCloses) {
    options.output = QStringLiteral("/data/run.csv");
    options.split = 30s;
    options.intervalMs = 1000;
    options.count = 100;
    options.sync = 7s;
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(world.outputs.size(), 4);
    QSet<qsizetype> synced;  // the lines in the files at each sync
    TimePoint before{};      // the run starts at the clock's zero
    for (const auto &[lines, at] : world.syncs) {
        EXPECT_LE(at - before, 7s) << lines;
        before = at;
        synced << lines;
    }
    for (qsizetype k = 1; k < 4; ++k) {
        EXPECT_TRUE(synced.contains(world.outputs[k].second)) << "slice " << k - 1;
    }
    EXPECT_EQ(world.syncs.back().first, world.rows.size());

    world = FakeWorld();
    options.sync = 0s;
    ASSERT_EQ(run(), 0);
    synced.clear();
    for (const auto &sync : world.syncs) {
        synced << sync.first;
    }
    EXPECT_EQ(synced.size(), 100) << "a sync after each row";

    world = FakeWorld();
    options.sync = 10s;
    options.count = 3;
    world.syncFails = QStringLiteral("Input/output error");
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(world.said.contains(
        "putting /data/run-20261204T160000Z.csv on the disk failed: Input/output error"))
        << world.said.toStdString();
}

// --min-free: looked at before each slice and once a minute; below it the run ends cleanly with
// status 1, naming the folder and what is left, and no new file is begun; a disk already too full
// is found before the driver is called. Where the free space cannot be found, the run says so.
TEST_F(RecorderRun, LowDiskSpaceEndsTheRunBeforeTheNextSliceOrWithinAMinute) {
    constexpr std::int64_t mb = 1 << 20;
    options.output = QStringLiteral("/data/run.csv");
    options.intervalMs = 1000;
    options.count = 1000;
    options.report = QStringLiteral("run.json");
    const auto lowFrom125s = [](TimePoint at) { return at < TimePoint(125s) ? 500 * mb : 99 * mb; };
    world.freeSpace = lowFrom125s;
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(world.spaceAskedOf, "/data");
    EXPECT_TRUE(world.said.contains(
        "qv58163-record: /data has 99 MB free, less than --min-free 100 MB: the run ends\n"))
        << world.said.toStdString();
    EXPECT_EQ(world.fields().size(), 181) << "the look at 180 s";
    EXPECT_EQ(report()["ended"].toString(), "low disk space");
    EXPECT_EQ(log.back(), "QV58163_close()");

    world = FakeWorld();
    world.freeSpace = lowFrom125s;
    options.split = 10s;
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(world.outputs.size(), 13) << "no slice at 130 s";
    EXPECT_EQ(world.rows.size(), 13 + 130);

    world = FakeWorld();
    world.freeSpace = [](TimePoint) { return 99 * mb; };
    log.clear();
    ASSERT_EQ(run(), 1);
    EXPECT_FALSE(world.created);
    EXPECT_EQ(log, CallLog()) << "the driver was called";

    world = FakeWorld();  // the free space unknown: said once, and the run goes on
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(world.said.count("/data cannot be found: --min-free is not kept"), 1);
}

}  // namespace
}  // namespace qv58163::test
