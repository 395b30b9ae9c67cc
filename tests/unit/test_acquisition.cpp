// The acquisition cycle: START, STOP and each refresh, against a recording driver and a window in
// memory: the driver calls, the timer, and the eight captions each refresh leaves.
#include <gtest/gtest.h>

#include <array>

#include "FakePanel.hpp"
#include "RowName.hpp"

namespace qv58163::test {
namespace {

using Slots = std::array<std::int16_t, 8>;
using Codes = std::array<int, 8>;

// A result no channel can give, written past the eight channels' slots by a careless driver.
constexpr std::int16_t garbage = 31322;

class Acquisition : public ::testing::Test {
protected:
    Acquisition() { panel.driver.cards = {3}; }

    // Start-up with the card reporting `codes`; the program must not end in it.
    void load(const Codes &codes = {0, 0, 0, 0, 0, 0, 0, 0}) {
        for (int i = 0; i < card::channelCount; ++i) {
            panel.driver.codes[i] = static_cast<std::uint8_t>(codes[i]);
        }
        panel.form.load();
        ASSERT_FALSE(panel.form.endStatus);
    }
    // Every read from now on writes `results` into slots 0 to 7 and garbage into the rest, and
    // returns `status`.
    void reads(const Slots &results, std::int32_t status = 0) {
        panel.driver.onRead = [results, status](std::int16_t, std::int16_t *buffer) {
            for (int k = 0; k < card::slotCount; ++k) {
                buffer[k] = k < card::channelCount ? results[k] : garbage;
            }
            return status;
        };
    }
    std::size_t readCount() const { return panel.entries("QV58163_AD_integral_all_read").size(); }
    QStringList captions() const { return panel.form.captions(); }

    FakePanel panel;
};

TEST_F(Acquisition, StartSendsTheModeChosenAtThatMomentAndEnablesTheTimer) {
    load();
    for (const int mode : {0, 1, 7, 10}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        panel.form.mode.choose(static_cast<std::int16_t>(mode));
        const std::size_t from = panel.log.size();
        panel.form.pressStart();
        EXPECT_EQ(panel.since(from),
                  (CallLog{"QV58163_AD_integral_start(3, " + std::to_string(mode) + ")",
                           "Timer1.Enabled = True"}));
        EXPECT_TRUE(panel.form.timer.enabled);
    }
}

TEST_F(Acquisition, StartTwiceStartsTwiceAndTheTimerStaysOn) {
    load();
    panel.form.pressStart();
    panel.form.pressStart();
    EXPECT_EQ(panel.entries("QV58163_AD_integral_start"),
              (CallLog{"QV58163_AD_integral_start(3, 1)", "QV58163_AD_integral_start(3, 1)"}));
    EXPECT_TRUE(panel.form.timer.enabled);
    panel.form.tick();
    EXPECT_EQ(readCount(), 1u);
}

TEST_F(Acquisition, StopBeforeStartStopsOnceAndNoRefreshEverRuns) {
    load();
    const std::size_t from = panel.log.size();
    panel.form.pressStop();
    EXPECT_EQ(panel.since(from),
              (CallLog{"QV58163_AD_integral_stop(3)", "Timer1.Enabled = False"}));
    for (int k = 0; k < 3; ++k) {
        panel.form.tick();
    }
    EXPECT_EQ(readCount(), 0u);
    EXPECT_EQ(captions(), QStringList(8, QStringLiteral("0.00000")));
}

TEST_F(Acquisition, AfterStopTicksReadNothing) {
    load();
    reads({1, 2, 3, 4, 5, 6, 7, 8});
    panel.form.pressStart();
    panel.form.tick();
    panel.form.pressStop();
    const QStringList shown = captions();
    panel.form.tick();
    EXPECT_EQ(readCount(), 1u);
    EXPECT_EQ(captions(), shown);
}

TEST_F(Acquisition, EachTickReadsOnceFromTheCardSelectedThenAndStartsNoOther) {
    panel.driver.cards = {2, 5};
    load();
    panel.form.pressStart();  // to card 5: the last one found, though the list shows " 2"
    panel.form.tick();
    panel.form.id.choose(1);
    panel.form.id.choose(0);
    panel.form.tick();
    panel.form.tick();
    panel.form.id.choose(1);
    panel.form.tick();
    panel.form.pressStop();
    EXPECT_EQ(panel.entries("QV58163_AD_integral"),
              (CallLog{"QV58163_AD_integral_start(5, 1)", "QV58163_AD_integral_all_read(5)",
                       "QV58163_AD_integral_all_read(2)", "QV58163_AD_integral_all_read(2)",
                       "QV58163_AD_integral_all_read(5)", "QV58163_AD_integral_stop(5)"}));

    panel.form.pressStart();
    panel.form.id.choose(0);
    panel.form.tick();
    panel.form.pressStop();
    EXPECT_EQ(panel.entries("QV58163_AD_integral_stop").back(), "QV58163_AD_integral_stop(2)");
    EXPECT_EQ(panel.entries("QV58163_AD_integral_start").size(), 2u);
}

TEST_F(Acquisition, AModeChosenWhileAcquiringCountsFromTheNextStart) {
    load();
    panel.form.pressStart();
    const std::size_t from = panel.log.size();
    panel.form.mode.choose(6);
    EXPECT_EQ(panel.since(from), CallLog{}) << "AD_Mode answers no Click";
    panel.form.tick();
    panel.form.pressStop();
    panel.form.pressStart();
    EXPECT_EQ(panel.entries("QV58163_AD_integral_start"),
              (CallLog{"QV58163_AD_integral_start(3, 1)", "QV58163_AD_integral_start(3, 6)"}));
}

TEST_F(Acquisition, AReadThatWritesNothingShowsZeroOnEveryRange) {
    load({0, 1, 2, 3, 255, 1, 3, 0});
    panel.form.pressStart();
    reads({4095, -1, 4095, -2048, 100, 100, 100, 100});
    panel.form.tick();
    panel.driver.onRead = nullptr;  // the buffer stays as the program zeroed it
    panel.form.tick();
    EXPECT_EQ(captions(), QStringList(8, QStringLiteral("0.000V")));
}

TEST_F(Acquisition, TheReadsStatusIsKeptAndNotActedOn) {
    load({0, 1, 2, 3, 0, 1, 2, 3});
    panel.form.pressStart();
    reads({1, 1, 1, 1, 2047, 2047, 2047, 2047}, -7);
    panel.form.tick();
    EXPECT_EQ(panel.procedures.ret_code(), -7);
    EXPECT_TRUE(panel.form.messages.empty());
    EXPECT_FALSE(panel.form.endStatus);
    EXPECT_TRUE(panel.form.timer.enabled);
    // What the driver wrote is shown all the same.
    EXPECT_EQ(captions(), (QStringList{"0.001V", "0.002V", "0.002V", "0.005V", "2.499V", "4.998V",
                                       "4.999V", "9.995V"}));

    reads({0, 0, 0, 0, 0, 0, 0, 0}, 0);
    panel.form.tick();
    EXPECT_EQ(panel.procedures.ret_code(), 0);
    EXPECT_EQ(readCount(), 2u);
}

// One refresh: the ranges the card reports, the selectors then set to nothing chosen, the slots
// the driver writes (negative ones are 12-bit two's complement, lifted by 4096) and the captions.
// A channel with nothing chosen shows the voltage the channel before it left in the same refresh;
// the voltage starts each refresh at 0.
struct Refresh {
    const char *what;
    Codes codes;
    std::vector<int> unchosen;
    Slots results;
    std::array<const char *, 8> captions;
};
void PrintTo(const Refresh &row, std::ostream *out) {
    *out << row.what;
}

class OneRefresh : public Acquisition, public ::testing::WithParamInterface<Refresh> {};

TEST_P(OneRefresh, ShowsEachChannelsVoltage) {
    const Refresh row = GetParam();
    load(row.codes);
    for (const int i : row.unchosen) {
        panel.form.config[i]->index = -1;
    }
    panel.form.pressStart();
    // A refresh first that leaves 5 V behind on channel 7: the next must not carry it to channel 0.
    reads({4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095});
    panel.form.tick();
    reads(row.results);
    panel.form.tick();
    for (int i = 0; i < card::channelCount; ++i) {
        EXPECT_EQ(panel.form.values[i].caption, QString::fromLatin1(row.captions[i]))
            << "channel " << i << ", result " << row.results[i];
    }
}

constexpr Codes all(int code) {
    return {code, code, code, code, code, code, code, code};
}
// How each range scales each result, and the text it gives, is DisplayEdges' exhaustive sweep of
// the conversion; here, what a refresh carries from channel to channel.
INSTANTIATE_TEST_SUITE_P(
    Refreshes, OneRefresh,
    ::testing::Values(Refresh{"nothing chosen on channel 3",
                              {0, 1, 2, 3, 0, 1, 2, 0},
                              {3},
                              {4095, 2047, 4095, 2000, -1, -1, 128, 4095},
                              {"5.000V", "4.998V", "10.000V", "10.000V", "5.000V", "-0.002V",
                               "0.313V", "5.000V"}},
                      Refresh{"nothing chosen on channel 0",
                              all(0),
                              {0},
                              {4095, 1, 2, 3, 4, 5, 6, 4095},
                              {"0.000V", "0.001V", "0.002V", "0.004V", "0.005V", "0.006V", "0.007V",
                               "5.000V"}},
                      Refresh{"nothing chosen after a stopped channel and after a range",
                              {3, 255, 1, 2, 0, 0, 0, 0},
                              {2, 3, 5, 6, 7},
                              {-2048, 100, 100, 100, 4095, 100, 100, 100},
                              {"-10.000V", "0.000V", "0.000V", "0.000V", "5.000V", "5.000V",
                               "5.000V", "5.000V"}}),
    RowName());

TEST_F(Acquisition, SlotsPastTheChannelsNeverShow) {
    load({0, 1, 2, 3, 0, 1, 2, 3});
    reads({0, 0, 0, 0, 0, 0, 0, 0});  // and 31322 in slots 8 to 24
    panel.form.pressStart();
    panel.form.tick();
    EXPECT_EQ(captions(), QStringList(8, QStringLiteral("0.000V")));
}

TEST_F(Acquisition, ARangeChangedBetweenTicksShowsAtTheNextRefreshOnly) {
    load({0, 0, 0, 0, 0, 0, 0, 0});
    reads({4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095});
    panel.form.pressStart();
    panel.form.tick();
    const QStringList first = captions();
    EXPECT_EQ(first, QStringList(8, QStringLiteral("5.000V")));

    panel.form.config[2]->choose(3);
    EXPECT_EQ(captions(), first);

    panel.form.tick();
    QStringList expected = first;
    expected[2] = QStringLiteral("-0.005V");
    EXPECT_EQ(captions(), expected);
}

}  // namespace
}  // namespace qv58163::test
