// The card model through its calls: lifecycle, cards, ranges, reading, faults, noise and
// averaging.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "CardModel.hpp"
#include "FakeEnvironment.hpp"
#include "RowName.hpp"

namespace {

namespace st = qv58163::sim::status;
using qv58163::sim::CardModel;
using Buffer = std::array<int16_t, QV58163_RESULT_SLOTS>;

// A model opened with the given settings; tests run in simulated time unless told otherwise.
std::unique_ptr<CardModel> openModel(std::map<std::string, std::string> vars) {
    vars.emplace("QV58163_SIM_STEP_MS", "100");
    auto d =
        std::make_unique<CardModel>(fakeEnvironment(std::move(vars)), [](const std::string &) {});
    EXPECT_EQ(d->initial(), 0);
    return d;
}

Buffer readOk(CardModel &d, int16_t card) {
    Buffer b{};
    EXPECT_EQ(d.integralAllRead(card, b.data()), st::ok);
    return b;
}

TEST(Lifecycle, CallsNeedAnOpenDriver) {
    CardModel d(fakeEnvironment({}), [](const std::string &) {});
    int32_t info = 0;
    Buffer b{};
    EXPECT_EQ(d.info(0, &info), st::notOpen);
    EXPECT_EQ(d.integralStart(0, 0), st::notOpen);
    ASSERT_EQ(d.initial(), 0);
    EXPECT_EQ(d.info(0, &info), st::ok);
    EXPECT_EQ(d.integralStart(0, 0), st::ok);
    EXPECT_EQ(d.close(), 0);
    EXPECT_EQ(d.close(), 0);
    EXPECT_EQ(d.info(0, &info), st::notOpen);
    EXPECT_EQ(d.integralAllRead(0, b.data()), st::notOpen);
    EXPECT_EQ(b, Buffer{});
    // Opening again starts afresh: acquisition is no longer running.
    ASSERT_EQ(d.initial(), 0);
    EXPECT_EQ(d.integralAllRead(0, b.data()), st::notStarted);
}

class InitialStatus : public ::testing::TestWithParam<int32_t> {};

TEST_P(InitialStatus, NonZeroLeavesTheDriverClosed) {
    CardModel d(fakeEnvironment({{"QV58163_SIM_INITIAL_STATUS", std::to_string(GetParam())}}),
                [](const std::string &) {});
    EXPECT_EQ(d.initial(), GetParam());
    int32_t info = 0;
    uint8_t code = 0;
    EXPECT_EQ(d.info(0, &info), st::notOpen);
    EXPECT_EQ(d.configRead(0, 0, &code), st::notOpen);
    EXPECT_EQ(info, 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, InitialStatus, ::testing::Values(3, -7, 1),
                         qv58163::test::RowName());

TEST(Cards, OnlyListedCardsAnswerEveryCall) {
    auto d = openModel({{"QV58163_SIM_CARDS", "2,5"}});
    for (int16_t card = -1; card < 300; ++card) {
        const bool present = card == 2 || card == 5;
        int32_t info = 1234;
        uint8_t code = 99;
        Buffer b{};
        EXPECT_EQ(d->info(card, &info) == st::ok, present) << card;
        EXPECT_EQ(info, present ? 0x58160800 | card : 1234) << card;
        EXPECT_EQ(d->configRead(card, 0, &code) == st::ok, present) << card;
        EXPECT_EQ(d->configSet(card, 0, 0) == st::ok, present) << card;
        EXPECT_EQ(d->integralStart(card, 0) == st::ok, present) << card;
        EXPECT_EQ(d->integralAllRead(card, b.data()) == st::ok, present) << card;
        EXPECT_EQ(d->integralStop(card) == st::ok, present) << card;
        if (!present) {
            EXPECT_EQ(code, 99);
            EXPECT_EQ(b, Buffer{});
        }
    }
}

TEST(Cards, EmptyListMeansNoCard) {
    auto d = openModel({{"QV58163_SIM_CARDS", ""}});
    int32_t info = 0;
    EXPECT_EQ(d->info(0, &info), st::noCard);
}

TEST(Cards, NullPointersFailWithoutWriting) {
    auto d = openModel({});
    EXPECT_EQ(d->info(0, nullptr), st::nullPointer);
    EXPECT_EQ(d->configRead(0, 0, nullptr), st::nullPointer);
    ASSERT_EQ(d->integralStart(0, 0), st::ok);
    EXPECT_EQ(d->integralAllRead(0, nullptr), st::nullPointer);
}

TEST(Ranges, ReportedPerCardAndSetWhenValid) {
    auto d = openModel(
        {{"QV58163_SIM_RANGES", "7,4,0,0,0,0,0,0"}, {"QV58163_SIM_RANGES_1", "3,3,3,3,3,3,3,255"}});
    uint8_t code = 0;
    ASSERT_EQ(d->configRead(0, 0, &code), st::ok);
    EXPECT_EQ(code, 7);
    ASSERT_EQ(d->configRead(0, 1, &code), st::ok);
    EXPECT_EQ(code, 4);
    ASSERT_EQ(d->configRead(1, 7, &code), st::ok);
    EXPECT_EQ(code, 255);

    for (const int16_t valid : {0, 1, 2, 3, 255}) {
        EXPECT_EQ(d->configSet(0, 5, valid), st::ok);
        ASSERT_EQ(d->configRead(0, 5, &code), st::ok);
        EXPECT_EQ(code, valid);
        EXPECT_EQ(d->configRead(1, 5, &code), st::ok);
        EXPECT_EQ(code, 3) << "setting card 0 changed card 1";
    }
    for (const int16_t invalid : {4, 7, 254, 256, -1}) {
        EXPECT_EQ(d->configSet(0, 5, invalid), st::badValue) << invalid;
        ASSERT_EQ(d->configRead(0, 5, &code), st::ok);
        EXPECT_EQ(code, 255) << "rejected code " << invalid << " was stored";
    }
    for (const int16_t channel : {-1, 8, 100}) {
        EXPECT_EQ(d->configSet(0, channel, 0), st::badChannel);
        EXPECT_EQ(d->configRead(0, channel, &code), st::badChannel);
    }
}

TEST(Reading, ConvertsEachChannelOnItsRangeAndMarksUnusedSlots) {
    auto d = openModel({{"QV58163_SIM_NOISE", "0"},
                        {"QV58163_SIM_RANGES", "0,1,2,3,255,7,1,0"},
                        {"QV58163_SIM_SIGNALS", "dc:2.5;dc:-1;dc:12;dc:-1;dc:3;dc:3;dc:-9;dc:-1"}});
    ASSERT_EQ(d->integralStart(0, 3), st::ok);
    const Buffer b = readOk(*d, 0);
    const std::array<int16_t, 8> expected{2048, -410, 4095, -205, 0, 0, -2048, 0};
    for (int ch = 0; ch < 8; ++ch) {
        EXPECT_EQ(b[ch], expected[ch]) << "channel " << ch;
    }
    for (int slot = 8; slot < QV58163_RESULT_SLOTS; ++slot) {
        EXPECT_EQ(b[slot], 0x7A5A) << "slot " << slot;
    }
}

TEST(Reading, FailsWithoutWritingUnlessStarted) {
    auto d = openModel({});
    Buffer b{};
    EXPECT_EQ(d->integralAllRead(0, b.data()), st::notStarted);
    EXPECT_EQ(d->integralStart(0, 11), st::badValue);
    EXPECT_EQ(d->integralAllRead(0, b.data()), st::notStarted);
    ASSERT_EQ(d->integralStart(0, 10), st::ok);
    readOk(*d, 0);
    EXPECT_EQ(d->integralAllRead(1, b.data()), st::notStarted) << "card 1 was never started";
    ASSERT_EQ(d->integralStop(0), st::ok);
    EXPECT_EQ(d->integralAllRead(0, b.data()), st::notStarted);
    EXPECT_EQ(b, Buffer{});
}

TEST(Reading, SimulatedClockAdvancesOneStepPerRead) {
    auto d = openModel({{"QV58163_SIM_NOISE", "0"},
                        {"QV58163_SIM_STEP_MS", "250"},
                        {"QV58163_SIM_SIGNALS", "sine:amp=4,offset=0,freq=1"}});
    ASSERT_EQ(d->integralStart(0, 0), st::ok);
    ASSERT_EQ(d->integralStart(1, 0), st::ok);
    // Channel 0 is on -5..+5 V: 4 V is code 1638. Each card keeps its own clock.
    for (const int expected : {0, 1638, 0, -1638, 0}) {
        EXPECT_EQ(readOk(*d, 0)[0], expected);
        EXPECT_EQ(readOk(*d, 1)[0], expected);
    }
}

class FailAfter : public ::testing::TestWithParam<int> {};

TEST_P(FailAfter, CardStopsAnsweringAfterKReads) {
    const int k = GetParam();
    auto d = openModel({{"QV58163_SIM_FAIL_AFTER", std::to_string(k)},
                        {"QV58163_SIM_FAIL_AFTER_1", std::to_string(k + 2)}});
    ASSERT_EQ(d->integralStart(0, 0), st::ok);
    ASSERT_EQ(d->integralStart(1, 0), st::ok);
    for (int i = 0; i < k; ++i) {
        readOk(*d, 0);
    }
    for (int i = 0; i < 3; ++i) {
        Buffer b{};
        EXPECT_EQ(d->integralAllRead(0, b.data()), st::cardLost);
        EXPECT_EQ(b, Buffer{});
    }
    // Card 1 has its own count and limit.
    for (int i = 0; i < k + 2; ++i) {
        readOk(*d, 1);
    }
    Buffer b{};
    EXPECT_EQ(d->integralAllRead(1, b.data()), st::cardLost);
}

INSTANTIATE_TEST_SUITE_P(Counts, FailAfter, ::testing::Values(0, 1, 5), qv58163::test::RowName());

// A model whose eight channels are all at 0 V on -10..+10 V with 0.2 V of noise (about 41
// codes), cards 0 and 1 started in integral mode `mode`.
std::unique_ptr<CardModel> openNoisy(const std::string &seed, int mode) {
    auto d = openModel({{"QV58163_SIM_NOISE", "0.2"},
                        {"QV58163_SIM_SEED", seed},
                        {"QV58163_SIM_RANGES", "3,3,3,3,3,3,3,3"},
                        {"QV58163_SIM_SIGNALS", "dc:0;dc:0;dc:0;dc:0;dc:0;dc:0;dc:0;dc:0"}});
    EXPECT_EQ(d->integralStart(0, static_cast<uint8_t>(mode)), st::ok);
    EXPECT_EQ(d->integralStart(1, static_cast<uint8_t>(mode)), st::ok);
    return d;
}

// Ten reads of card 0 and card 1 in turn, in mode 0.
std::vector<Buffer> noisyReads(const std::string &seed) {
    auto d = openNoisy(seed, 0);
    std::vector<Buffer> reads;
    for (int i = 0; i < 10; ++i) {
        reads.push_back(readOk(*d, 0));
        reads.push_back(readOk(*d, 1));
    }
    return reads;
}

TEST(Noise, RepeatsWithTheSeedAndDiffersPerSeedCardChannelAndRead) {
    const auto reads = noisyReads("1");
    EXPECT_EQ(noisyReads("1"), reads);
    EXPECT_NE(noisyReads("2"), reads);
    EXPECT_NE(reads[0], reads[1]) << "cards 0 and 1 got the same noise";
    EXPECT_NE(reads[0], reads[2]) << "two reads of card 0 got the same noise";
    EXPECT_NE(std::count(reads[0].begin(), reads[0].begin() + 8, reads[0][0]), 8)
        << "the eight channels got the same noise";
}

// Standard deviation of all eight channels' codes over many reads of card 0.
double codeSpread(int mode) {
    auto d = openNoisy("1", mode);
    double sum = 0.0;
    double squares = 0.0;
    int n = 0;
    for (int i = 0; i < 300; ++i) {
        const Buffer b = readOk(*d, 0);
        for (int ch = 0; ch < 8; ++ch) {
            sum += b[ch];
            squares += double(b[ch]) * b[ch];
            ++n;
        }
    }
    const double mean = sum / n;
    return std::sqrt(squares / n - mean * mean);
}

struct AveragingCase {
    int mode;
    int conversions;  // 2^mode
};
void PrintTo(const AveragingCase &c, std::ostream *out) {
    *out << "mode " << c.mode;
}

class Averaging : public ::testing::TestWithParam<AveragingCase> {};

// Averaging N conversions with their own noise cuts the noise by sqrt(N).
TEST_P(Averaging, CutsTheNoiseBySquareRootOfTwoToTheMode) {
    const auto [mode, conversions] = GetParam();
    const double single = codeSpread(0);
    EXPECT_NEAR(single, 0.2 * 4096 / 20, 2.0);
    EXPECT_NEAR(single / codeSpread(mode), std::sqrt(conversions), 0.08 * std::sqrt(conversions))
        << "mode " << mode;
}

INSTANTIATE_TEST_SUITE_P(Modes, Averaging,
                         ::testing::Values(AveragingCase{2, 4}, AveragingCase{5, 32},
                                           AveragingCase{8, 256}),
                         qv58163::test::RowName());

TEST(Warnings, EachMalformedSettingIsReportedOnce) {
    std::vector<std::string> lines;
    CardModel d(fakeEnvironment({{"QV58163_SIM_NOISE", "loud"}, {"QV58163_SIM_SIGNALS", "bogus"}}),
                [&lines](const std::string &line) { lines.push_back(line); });
    EXPECT_EQ(d.initial(), 0);
    EXPECT_EQ(d.initial(), 0);
    EXPECT_EQ(lines.size(), 2u);
}

}  // namespace
