// The refresh timer of the real window, in the event loop, on the simulated card: created
// disabled, its ticks come while acquiring and each one reads the card once, START pressed again
// and again does not hold them back, and none comes after STOP or after the program has ended.
// Only counts are checked, never how long anything took.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

// Long enough for several 100 ms intervals to pass.
constexpr int severalIntervalsMs = 450;

class AcquisitionTimer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(rig.start());
        ASSERT_FALSE(rig.window.timer()->isActive()) << "the timer is created disabled";
        // Connected after the window's own handler, so a tick is counted once it has been answered.
        QObject::connect(rig.window.timer(), &QTimer::timeout, &rig.window, [this] { ++ticks; });
    }
    qsizetype reads() const {
        return simulatorTrace(trace).filter(QStringLiteral("QV58163_AD_integral_all_read")).size();
    }
    void startAndWaitForTicks() {
        rig.window.startButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([this] { return ticks >= 2; }, 5000)) << "no tick arrived";
    }

    QTemporaryDir scratch;
    QString trace = scratch.filePath(QStringLiteral("calls.trace"));
    ScopedEnvironment env{{"QV58163_SIM_TRACE", trace.toLocal8Bit()},
                          {"QV58163_SIM_RANGES", "0"},
                          {"QV58163_SIM_SIGNALS", "dc:3.3"},
                          {"QV58163_SIM_NOISE", "0"}};
    PanelRig rig;
    int ticks = 0;
};

TEST_F(AcquisitionTimer, EachTickWhileAcquiringReadsOnceAndRefreshes) {
    EXPECT_EQ(reads(), 0);
    startAndWaitForTicks();
    EXPECT_EQ(reads(), ticks);
    // Channel 0's steady 3.3 V on 0..5 V.
    EXPECT_EQ(rig.captions().at(0), QStringLiteral("3.300V"));
}

// An operator holding Space on START presses it every few tens of milliseconds: the refresh must
// go on, so a press while acquiring must not restart the timer's interval.
TEST_F(AcquisitionTimer, StartPressedAgainAndAgainDoesNotHoldTheTicksBack) {
    rig.window.startButton()->click();
    for (int press = 0; press < 75 && ticks < 2; ++press) {
        QTest::qWait(20);
        rig.window.startButton()->click();
    }
    EXPECT_GE(ticks, 2);
}

TEST_F(AcquisitionTimer, NoTickAfterStop) {
    startAndWaitForTicks();
    rig.window.stopButton()->click();
    const qsizetype stopped = reads();
    QTest::qWait(severalIntervalsMs);
    EXPECT_EQ(reads(), stopped);
}

TEST_F(AcquisitionTimer, NoTickAfterTheProgramHasEnded) {
    startAndWaitForTicks();
    rig.window.exitButton()->click();
    ASSERT_EQ(rig.endStatuses, std::vector<int>{0});
    const qsizetype ended = reads();
    QTest::qWait(severalIntervalsMs);
    EXPECT_EQ(reads(), ended);
}

}  // namespace
}  // namespace qv58163::test
