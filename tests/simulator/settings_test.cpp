// Reading the QV58163_SIM_* settings, good and malformed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card_model.hpp"
#include "fake_env.hpp"

namespace {

using qv58163sim::Ranges;
using qv58163sim::read_settings;
using qv58163sim::Settings;
using K = qv58163sim::Signal::Kind;

Settings read(std::map<std::string, std::string> vars, std::vector<std::string> &warnings) {
    return read_settings(fake_env(std::move(vars)), warnings);
}

TEST(Settings, DefaultsGiveTwoCardsAndVariedChannels) {
    std::vector<std::string> warnings;
    const Settings s = read({}, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(s.cards, (std::set<int>{0, 1}));
    EXPECT_EQ(s.initial_status, 0);
    EXPECT_EQ(s.ranges, (Ranges{1, 0, 3, 2, 1, 0, 3, 255}));
    EXPECT_DOUBLE_EQ(s.noise, 0.01);
    EXPECT_EQ(s.seed, 1u);
    EXPECT_FALSE(s.step_ms.has_value());
    EXPECT_FALSE(s.fail_after.has_value());
    EXPECT_TRUE(s.trace_path.empty());
    // Every default signal stays inside its channel's default range at all times.
    const double lo[] = {0.0, -5.0, 0.0, -10.0};
    const double hi[] = {5.0, 5.0, 10.0, 10.0};
    for (int ch = 0; ch < qv58163sim::kChannels; ++ch) {
        const auto &sig = s.signals[ch];
        if (s.ranges[ch] > 3) {
            continue;
        }
        EXPECT_GE(sig.offset - sig.amp, lo[s.ranges[ch]]) << "channel " << ch;
        EXPECT_LE(sig.offset + sig.amp, hi[s.ranges[ch]]) << "channel " << ch;
    }
}

TEST(Settings, ReadsEveryVariable) {
    std::vector<std::string> warnings;
    const Settings s = read({{"QV58163_SIM_CARDS", " 2, 5,255"},
                             {"QV58163_SIM_INITIAL_STATUS", "-7"},
                             {"QV58163_SIM_RANGES", "7,4,,0"},
                             {"QV58163_SIM_RANGES_5", "255,255"},
                             {"QV58163_SIM_SIGNALS",
                              "dc:1.25; sine:amp=2,offset=0,freq=0.5 ;;"
                              "ramp:freq=2,phase=45,offset=-1,amp=3;square:amp=1"},
                             {"QV58163_SIM_NOISE", "0"},
                             {"QV58163_SIM_SEED", "18446744073709551615"},
                             {"QV58163_SIM_STEP_MS", "12.5"},
                             {"QV58163_SIM_FAIL_AFTER", "0"},
                             {"QV58163_SIM_FAIL_AFTER_2", "4"},
                             {"QV58163_SIM_DELAY_MS", "3"},
                             {"QV58163_SIM_TRACE", "/tmp/t.log"}},
                            warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(s.cards, (std::set<int>{2, 5, 255}));
    EXPECT_EQ(s.initial_status, -7);
    EXPECT_EQ(s.ranges, (Ranges{7, 4, 3, 0, 1, 0, 3, 255}));
    EXPECT_EQ(s.ranges_of(5), (Ranges{255, 255, 3, 0, 1, 0, 3, 255}));
    EXPECT_EQ(s.ranges_of(2), s.ranges);

    EXPECT_EQ(s.signals[0].kind, K::Dc);
    EXPECT_DOUBLE_EQ(s.signals[0].offset, 1.25);
    EXPECT_EQ(s.signals[1].kind, K::Sine);
    EXPECT_DOUBLE_EQ(s.signals[1].amp, 2.0);
    EXPECT_DOUBLE_EQ(s.signals[1].freq, 0.5);
    EXPECT_EQ(s.signals[2].kind, K::Triangle);  // empty entry: default kept
    EXPECT_EQ(s.signals[3].kind, K::Ramp);
    EXPECT_DOUBLE_EQ(s.signals[3].amp, 3.0);
    EXPECT_DOUBLE_EQ(s.signals[3].offset, -1.0);
    EXPECT_DOUBLE_EQ(s.signals[3].freq, 2.0);
    EXPECT_DOUBLE_EQ(s.signals[3].phase, 45.0);
    EXPECT_EQ(s.signals[4].kind, K::Square);  // missing keys: amp given, freq 1 Hz, offset 0
    EXPECT_DOUBLE_EQ(s.signals[4].freq, 1.0);
    EXPECT_DOUBLE_EQ(s.signals[4].offset, 0.0);
    EXPECT_EQ(s.signals[5].kind, K::Sine);  // beyond the given entries: defaults

    EXPECT_DOUBLE_EQ(s.noise, 0.0);
    EXPECT_EQ(s.seed, 18446744073709551615u);
    EXPECT_DOUBLE_EQ(s.step_ms.value_or(-1), 12.5);
    EXPECT_EQ(s.fail_after_of(0), std::optional<uint64_t>(0));
    EXPECT_EQ(s.fail_after_of(2), std::optional<uint64_t>(4));
    EXPECT_DOUBLE_EQ(s.delay_ms, 3.0);
    EXPECT_EQ(s.trace_path, "/tmp/t.log");
}

TEST(Settings, EmptyCardListMeansNoCard) {
    std::vector<std::string> warnings;
    EXPECT_TRUE(read({{"QV58163_SIM_CARDS", ""}}, warnings).cards.empty());
    EXPECT_TRUE(warnings.empty());
}

struct MalformedCase {
    std::string name;
    std::string value;
};

class MalformedSetting : public ::testing::TestWithParam<MalformedCase> {};

// A malformed value warns once, naming the variable, and leaves every setting at its default.
TEST_P(MalformedSetting, WarnsAndKeepsDefaults) {
    const auto &c = GetParam();
    std::vector<std::string> warnings;
    const Settings s = read({{c.name, c.value}}, warnings);
    const Settings d = qv58163sim::default_settings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.name), std::string::npos) << warnings[0];
    EXPECT_EQ(s.cards, d.cards);
    EXPECT_EQ(s.initial_status, d.initial_status);
    EXPECT_EQ(s.ranges, d.ranges);
    EXPECT_EQ(s.ranges_of(0), d.ranges);
    EXPECT_DOUBLE_EQ(s.noise, d.noise);
    EXPECT_EQ(s.seed, d.seed);
    EXPECT_EQ(s.step_ms, d.step_ms);
    EXPECT_EQ(s.fail_after_of(0), d.fail_after);
    EXPECT_DOUBLE_EQ(s.delay_ms, d.delay_ms);
    for (int ch = 0; ch < qv58163sim::kChannels; ++ch) {
        EXPECT_EQ(s.signals[ch].kind, d.signals[ch].kind) << "channel " << ch;
        EXPECT_DOUBLE_EQ(s.signals[ch].amp, d.signals[ch].amp) << "channel " << ch;
        EXPECT_DOUBLE_EQ(s.signals[ch].offset, d.signals[ch].offset) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, MalformedSetting,
    ::testing::Values(
        MalformedCase{"QV58163_SIM_CARDS", "0,x"}, MalformedCase{"QV58163_SIM_CARDS", "256"},
        MalformedCase{"QV58163_SIM_CARDS", "-1"}, MalformedCase{"QV58163_SIM_CARDS", "1,,2"},
        MalformedCase{"QV58163_SIM_INITIAL_STATUS", "1.5"},
        MalformedCase{"QV58163_SIM_INITIAL_STATUS", "3000000000"},
        MalformedCase{"QV58163_SIM_RANGES", "1,abc"}, MalformedCase{"QV58163_SIM_RANGES", "256"},
        MalformedCase{"QV58163_SIM_RANGES", "1,0,3,2,1,0,3,255,9"},
        MalformedCase{"QV58163_SIM_RANGES_0", "-1"}, MalformedCase{"QV58163_SIM_NOISE", "-0.1"},
        MalformedCase{"QV58163_SIM_NOISE", "loud"}, MalformedCase{"QV58163_SIM_NOISE", "nan"},
        MalformedCase{"QV58163_SIM_SEED", "-1"}, MalformedCase{"QV58163_SIM_SEED", "1e3"},
        MalformedCase{"QV58163_SIM_STEP_MS", "fast"}, MalformedCase{"QV58163_SIM_STEP_MS", "-5"},
        MalformedCase{"QV58163_SIM_FAIL_AFTER", "-3"},
        MalformedCase{"QV58163_SIM_FAIL_AFTER_0", "two"},
        MalformedCase{"QV58163_SIM_DELAY_MS", "-1"}, MalformedCase{"QV58163_SIM_SIGNALS", "5"},
        MalformedCase{"QV58163_SIM_SIGNALS", "dc:"}, MalformedCase{"QV58163_SIM_SIGNALS", "dc:abc"},
        MalformedCase{"QV58163_SIM_SIGNALS", "noise:amp=1"},
        MalformedCase{"QV58163_SIM_SIGNALS", "sine:amp=1,freq"},
        MalformedCase{"QV58163_SIM_SIGNALS", "sine:amp=1,amp=2"},
        MalformedCase{"QV58163_SIM_SIGNALS", "sine:amp=-1"},
        MalformedCase{"QV58163_SIM_SIGNALS", "sine:freq=-1"},
        MalformedCase{"QV58163_SIM_SIGNALS", "sine:volume=3"},
        MalformedCase{"QV58163_SIM_SIGNALS", "square:amp=1,,freq=2"},
        MalformedCase{"QV58163_SIM_SIGNALS", ";;;;;;;;dc:1"}));

TEST(Settings, MalformedSignalEntryLeavesTheOthersParsed) {
    std::vector<std::string> warnings;
    const Settings s = read({{"QV58163_SIM_SIGNALS", "dc:1;sine:amp=x;dc:2"}}, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("channel 1"), std::string::npos) << warnings[0];
    EXPECT_DOUBLE_EQ(s.signals[0].offset, 1.0);
    EXPECT_EQ(s.signals[1].kind, qv58163sim::default_settings().signals[1].kind);
    EXPECT_EQ(s.signals[2].kind, K::Dc);
    EXPECT_DOUBLE_EQ(s.signals[2].offset, 2.0);
}

}  // namespace
