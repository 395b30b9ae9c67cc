// The refresh timer of the real window, running in the event loop: ticks come while acquiring,
// each one reads the card once, and none comes after STOP or after the program has ended. Only
// counts are checked, never how long anything took.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>

#include "RecordingDriver.hpp"
#include "WindowRig.hpp"

namespace qv58163::test {
namespace {

// Long enough for several 100 ms intervals to pass.
constexpr int kSeveralIntervalsMs = 450;

class AcquisitionTimer : public ::testing::Test {
protected:
    void SetUp() override {
        driver.onRead = [this](std::int16_t, std::int16_t *results) {
            ++reads;
            results[0] = 4095;
            return 0;
        };
        rig.Start();
        ASSERT_FALSE(rig.window.endStatus());
    }
    std::size_t ReadCalls() const { return driver.calls("QV58163_AD_integral_all_read").size(); }
    // Starts acquiring and waits for the first ticks to arrive.
    void StartAndWaitForReads() {
        rig.window.startButton()->click();
        ASSERT_TRUE(rig.window.timer()->isActive());
        ASSERT_TRUE(WindowRig::WaitUntil([this] { return ReadCalls() >= 2; }, 5000))
            << "no tick arrived";
    }

    CallLog log;
    RecordingDriver driver{log};
    WindowRig rig{driver};
    int reads = 0;  // reads the driver answered
};

TEST_F(AcquisitionTimer, TicksArriveAfterStartAndEachReadsOnceAndRefreshes) {
    StartAndWaitForReads();
    EXPECT_EQ(ReadCalls(), static_cast<std::size_t>(reads));
    // Channel 0 on 0..5 V shows its full-scale result, the others their zeros.
    EXPECT_EQ(rig.captions(), (QStringList{"5.000V", "0.000V", "0.000V", "0.000V", "0.000V",
                                           "0.000V", "0.000V", "0.000V"}));
    EXPECT_EQ(driver.calls("QV58163_AD_integral_start").size(), 1u);
}

TEST_F(AcquisitionTimer, NoTickAfterStop) {
    StartAndWaitForReads();
    rig.window.stopButton()->click();
    EXPECT_FALSE(rig.window.timer()->isActive());
    const std::size_t stopped = ReadCalls();
    WindowRig::Pump(kSeveralIntervalsMs);
    EXPECT_EQ(ReadCalls(), stopped);
}

TEST_F(AcquisitionTimer, NoTickAfterTheExitButton) {
    StartAndWaitForReads();
    rig.window.exitButton()->click();
    ASSERT_EQ(rig.endStatuses, std::vector<int>{0});
    const std::size_t ended = ReadCalls();
    WindowRig::Pump(kSeveralIntervalsMs);
    EXPECT_EQ(ReadCalls(), ended);
    EXPECT_TRUE(driver.calls("QV58163_AD_integral_stop").empty()) << "no exit stops acquisition";
}

}  // namespace
}  // namespace qv58163::test
