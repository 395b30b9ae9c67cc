// Every numeric step the procedures make is checked: a conversion out of range, an index outside
// a table or a control array, an overflow. Each is a run-time error that names what went wrong.
#include <gtest/gtest.h>

#include "CheckedTable.hpp"
#include "Conversion.hpp"
#include "FakePanel.hpp"

namespace qv58163::test {
namespace {

template <typename Call>
QString errorOf(Call call) {
    try {
        call();
    } catch (const card::RuntimeError &error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

TEST(Checks, CardNumbersAreReadFromTheListsTextWithLeadingSpacesSkipped) {
    EXPECT_EQ(textToByte(QStringLiteral(" 0")), 0);
    EXPECT_EQ(textToByte(QStringLiteral(" 12")), 12);
    EXPECT_EQ(textToByte(QStringLiteral("7")), 7);
    EXPECT_EQ(textToByte(QStringLiteral("   255")), 255);
    EXPECT_EQ(errorOf([] { textToByte(QStringLiteral(" 256")); }),
              QStringLiteral("overflow: \" 256\" is outside 0 to 255"));
    for (const char *text : {"", " ", " 1 2", "x", " -3", "3x", "1.5"}) {
        EXPECT_EQ(errorOf([text] { textToByte(QString::fromLatin1(text)); }),
                  QStringLiteral("type mismatch: \"%1\" is not a number").arg(QLatin1String(text)))
            << text;
    }
}

TEST(Checks, ConversionsOutOfRangeAreErrors) {
    EXPECT_EQ(toByte(0), 0);
    EXPECT_EQ(toByte(255), 255);
    EXPECT_EQ(errorOf([] { toByte(-1); }), QStringLiteral("overflow: -1 is outside 0 to 255"));
    EXPECT_EQ(errorOf([] { toByte(256); }), QStringLiteral("overflow: 256 is outside 0 to 255"));
}

TEST(Checks, TheTableRefusesIndicesOutsideIt) {
    card::Module1 module1;
    EXPECT_EQ(errorOf([&] { module1.ad_config_data(24); }),
              QStringLiteral("index 24 is outside the table ad_config_data (0 to 23)"));
    EXPECT_EQ(errorOf([&] { module1.ad_config_data(-1); }),
              QStringLiteral("index -1 is outside the table ad_config_data (0 to 23)"));
}

// The checks end the program through the run-time error report, like any other error.
TEST(Checks, ARangeAskedForAChannelTheWindowLacksEndsTheProgram) {
    FakePanel panel;
    panel.form.load();
    double volts = 1.5;
    panel.procedures.dispatch([&] { panel.procedures.Trun(8, 100, volts); });
    EXPECT_EQ(panel.form.messages,
              std::vector<QString>{QStringLiteral(
                  "Run-time error: index 8 is outside the control array AD_config (0 to 7)")});
    EXPECT_EQ(panel.form.endStatus, 1);
    EXPECT_EQ(volts, 1.5);
}

TEST(Checks, StartWithNoModeChosenEndsTheProgramBeforeAnyCall) {
    FakePanel panel;
    panel.form.load();
    panel.form.mode.index = -1;  // a state start-up never leaves, reached directly
    const std::size_t before = panel.log.size();
    panel.form.pressStart();
    EXPECT_EQ(panel.since(before),
              (CallLog{"messageBox \"Run-time error: overflow: -1 is outside 0 to 255\"",
                       "QV58163_close()", "End 1"}));
}

}  // namespace
}  // namespace qv58163::test
