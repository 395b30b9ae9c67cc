// Channel ranges: what start-up reads from the card, shows and writes back, what an operator's
// choice sends, and the codes no selector entry can show.
#include <gtest/gtest.h>

#include <array>

#include "FakePanel.hpp"
#include "RowName.hpp"

namespace qv58163::test {
namespace {

constexpr int cardNumber = 2;

std::string configRead(int channel) {
    return "QV58163_AD_config_read(" + std::to_string(cardNumber) + ", " + std::to_string(channel) +
           ")";
}
std::string configSet(int channel, int code) {
    return "QV58163_AD_config_set(" + std::to_string(cardNumber) + ", " + std::to_string(channel) +
           ", " + std::to_string(code) + ")";
}

class Ranges : public ::testing::Test {
protected:
    Ranges() { panel.driver.cards = {cardNumber}; }

    void report(const std::array<int, 8> &codes) {
        for (int i = 0; i < card::channelCount; ++i) {
            panel.driver.codes[i] = static_cast<std::uint8_t>(codes[i]);
        }
    }
    QString textOf(int channel) const { return panel.form.config[channel]->Text(); }
    std::size_t firstRead() const {
        for (std::size_t k = 0; k < panel.log.size(); ++k) {
            if (panel.log[k] == configRead(0)) {
                return k;
            }
        }
        return panel.log.size();
    }

    FakePanel panel;
};

TEST_F(Ranges, StartUpReadsShowsAndWritesBackEachChannelInTurn) {
    report({0, 1, 2, 3, 255, 0, 0, 0});
    panel.form.load();
    ASSERT_FALSE(panel.form.endStatus);

    const QStringList shown = {"0: 0V ~ 5V", "1: -5V ~ +5V", "2: 0V ~ 10V", "3: -10V ~ +10V",
                               "255 : stop", "0: 0V ~ 5V",   "0: 0V ~ 5V",  "0: 0V ~ 5V"};
    const int positions[] = {0, 1, 2, 3, 4, 0, 0, 0};
    const int sent[] = {0, 1, 2, 3, 255, 0, 0, 0};
    CallLog expected;
    for (int i = 0; i < card::channelCount; ++i) {
        EXPECT_EQ(textOf(i), shown[i]) << "channel " << i;
        EXPECT_EQ(panel.module1.ad_config_data(i), positions[i]) << "channel " << i;
        const std::string list = "AD_config(" + std::to_string(i) + ")";
        expected.insert(expected.end(),
                        {configRead(i), list + ".ListIndex = " + std::to_string(positions[i]),
                         "AD_config_Click(" + std::to_string(i) + ")", configSet(i, sent[i])});
    }
    // Read channel 0, its nested Click sets channel 0, then channel 1, and so on; nothing after.
    EXPECT_EQ(panel.since(firstRead()), expected);
}

// A code the card reports, on all eight channels at once: what each selector shows, what is sent
// back, and what the table keeps.
struct Reported {
    int code;
    const char *shown;
    int sent;
    int kept;
};
void PrintTo(const Reported &row, std::ostream *out) {
    *out << "code " << row.code;
}

class ReportedCode : public Ranges, public ::testing::WithParamInterface<Reported> {};

TEST_P(ReportedCode, IsShownSentBackAndKeptOnEveryChannel) {
    const Reported row = GetParam();
    report({row.code, row.code, row.code, row.code, row.code, row.code, row.code, row.code});
    panel.form.load();
    ASSERT_FALSE(panel.form.endStatus);
    for (int i = 0; i < card::channelCount; ++i) {
        SCOPED_TRACE("channel " + std::to_string(i));
        EXPECT_EQ(textOf(i), QString::fromLatin1(row.shown));
        EXPECT_EQ(panel.module1.ad_config_data(i), row.kept);
    }
    EXPECT_EQ(panel.entries("QV58163_AD_config_set"),
              (CallLog{configSet(0, row.sent), configSet(1, row.sent), configSet(2, row.sent),
                       configSet(3, row.sent), configSet(4, row.sent), configSet(5, row.sent),
                       configSet(6, row.sent), configSet(7, row.sent)}));
}

INSTANTIATE_TEST_SUITE_P(Codes, ReportedCode,
                         ::testing::Values(Reported{0, "0: 0V ~ 5V", 0, 0},
                                           Reported{1, "1: -5V ~ +5V", 1, 1},
                                           Reported{2, "2: 0V ~ 10V", 2, 2},
                                           Reported{3, "3: -10V ~ +10V", 3, 3},
                                           Reported{255, "255 : stop", 255, 4},
                                           // The stop entry sits at position 4, so code 4 lands
                                           // on it too, and is sent back as the stop code.
                                           Reported{4, "255 : stop", 255, 4}),
                         RowName());

TEST_F(Ranges, AReadThatWritesNothingLeavesTheTablesZeroAndSoTheFirstRange) {
    report({3, 3, 3, 3, 3, 3, 3, 3});
    panel.driver.codes.erase(5);
    panel.form.load();
    ASSERT_FALSE(panel.form.endStatus);
    EXPECT_EQ(textOf(5), QStringLiteral("0: 0V ~ 5V"));
    EXPECT_EQ(panel.module1.ad_config_data(5), 0);
    EXPECT_EQ(panel.entries("QV58163_AD_config_set").at(5), configSet(5, 0));
    EXPECT_EQ(textOf(4), QStringLiteral("3: -10V ~ +10V"));
}

// An operator's choice of entry on one channel after start-up.
struct Choice {
    int channel;
    int position;
    int sent;
};
void PrintTo(const Choice &row, std::ostream *out) {
    *out << "channel " << row.channel << " position " << row.position;
}

class OperatorChoice : public Ranges, public ::testing::WithParamInterface<Choice> {};

TEST_P(OperatorChoice, SendsTheRangeToTheSelectedCardAndKeepsThePosition) {
    const Choice row = GetParam();
    report({1, 2, 3, 0, 255, 2, 1, 3});
    panel.form.load();
    ASSERT_FALSE(panel.form.endStatus);
    std::array<int, 8> before{};
    for (int i = 0; i < card::channelCount; ++i) {
        before[i] = panel.module1.ad_config_data(i);
    }
    const std::size_t from = panel.log.size();

    panel.form.config[row.channel]->choose(static_cast<std::int16_t>(row.position));

    EXPECT_EQ(panel.since(from), (CallLog{"AD_config_Click(" + std::to_string(row.channel) + ")",
                                          configSet(row.channel, row.sent)}));
    for (int i = 0; i < card::channelCount; ++i) {
        EXPECT_EQ(panel.module1.ad_config_data(i), i == row.channel ? row.position : before[i])
            << "channel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Choices, OperatorChoice,
                         ::testing::Values(Choice{6, 4, 255}, Choice{0, 3, 3}, Choice{7, 0, 0},
                                           Choice{4, 1, 1}, Choice{2, 2, 2}),
                         RowName());

// A code with no entry: the selector's run-time error, reported and ending the program.
struct BadCode {
    int channel;
    int code;
};
void PrintTo(const BadCode &row, std::ostream *out) {
    *out << "channel " << row.channel << " code " << row.code;
}

class CodeWithoutEntry : public Ranges, public ::testing::WithParamInterface<BadCode> {};

TEST_P(CodeWithoutEntry, IsARunTimeErrorNamingTheChannelAndTheCode) {
    const BadCode row = GetParam();
    report({0, 0, 0, 0, 0, 0, 0, 0});
    panel.driver.codes[row.channel] = static_cast<std::uint8_t>(row.code);
    panel.form.load();

    const QString report =
        QStringLiteral("Run-time error: position %1 is outside the list AD_config(%2)")
            .arg(row.code)
            .arg(row.channel);
    EXPECT_EQ(panel.form.messages, std::vector<QString>{report});
    ASSERT_TRUE(panel.form.endStatus);
    EXPECT_EQ(*panel.form.endStatus, 1);
    // The channels before it were loaded; nothing of this channel was set, no later one read.
    EXPECT_EQ(panel.entries("QV58163_AD_config_set").size(), static_cast<std::size_t>(row.channel));
    EXPECT_EQ(panel.entries("QV58163_AD_config_read").back(), configRead(row.channel));
    EXPECT_EQ(textOf(row.channel), QString());
}

INSTANTIATE_TEST_SUITE_P(Codes, CodeWithoutEntry,
                         ::testing::Values(BadCode{3, 7}, BadCode{0, 5}, BadCode{7, 254},
                                           BadCode{5, 6}),
                         RowName());

TEST_F(Ranges, TheTablesEntriesBeyondTheChannelsAreNeverTouched) {
    for (int k = 8; k < 24; ++k) {
        panel.module1.ad_config_data(k) = static_cast<std::uint8_t>(100 + k);
    }
    report({1, 255, 3, 0, 2, 1, 4, 3});
    panel.form.load();
    for (int i = 0; i < card::channelCount; ++i) {
        panel.form.config[i]->choose(static_cast<std::int16_t>((i + 2) % 5));
    }
    panel.driver.onRead = [](std::int16_t, std::int16_t *results) {
        for (int k = 0; k < card::slotCount; ++k) {
            results[k] = static_cast<std::int16_t>(1000 + k);
        }
        return 0;
    };
    panel.form.pressStart();
    panel.form.tick();
    panel.form.pressStop();
    ASSERT_FALSE(panel.form.endStatus);
    for (int k = 8; k < 24; ++k) {
        EXPECT_EQ(panel.module1.ad_config_data(k), 100 + k) << "entry " << k;
    }
}

}  // namespace
}  // namespace qv58163::test
