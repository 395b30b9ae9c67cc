// The program end to end in this process: the real window, the real run-time binding and the built
// simulated card, with known DC signals and no noise, so every caption is known to the character.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

TEST(EndToEnd, TheWindowShowsTheSimulatedCardsKnownVoltages) {
    QTemporaryDir scratch;
    const QString trace = scratch.filePath(QStringLiteral("calls.trace"));
    // Ranges -5..+5, 0..5, -10..+10, 0..10, -5..+5, 0..5, -10..+10, stopped.
    ScopedEnvironment env({
        {"QV58163_SIM_CARDS", "2,5"},
        {"QV58163_SIM_RANGES", "1,0,3,2,1,0,3,255"},
        {"QV58163_SIM_SIGNALS", "dc:1.25;dc:2;dc:-7.5;dc:6;dc:-4;dc:4;dc:12;dc:3"},
        {"QV58163_SIM_NOISE", "0"},
        {"QV58163_SIM_STEP_MS", "100"},
        {"QV58163_SIM_TRACE", trace.toLocal8Bit()},
    });
    PanelRig rig;
    ASSERT_FALSE(rig.start()) << rig.errors.str();
    ASSERT_TRUE(rig.window.isVisible());
    EXPECT_EQ(rig.panel.driver.loadedFrom(), simulatorDir() + QStringLiteral("/libQV58163.so"));
    EXPECT_EQ(rig.window.configBox(7)->currentText(), QStringLiteral("255 : stop"));

    // The operator picks card 5 (the one the ranges were loaded from), presses START and waits
    // for the first refresh of the real timer.
    rig.window.idBox()->setCurrentIndex(1);
    rig.window.startButton()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.window.valueLabel(0)->text() != QStringLiteral("0.00000"); }));
    EXPECT_EQ(rig.captions(), (QStringList{"1.250V", "2.000V", "-7.500V", "6.000V", "-3.999V",
                                           "4.000V", "9.995V", "0.000V"}));

    // A range change shows at the next refresh: channel 3's 6 V now read on -10..+10 V.
    rig.window.configBox(3)->setCurrentIndex(3);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.window.valueLabel(3)->text() != QStringLiteral("6.000V"); }));
    EXPECT_EQ(rig.window.valueLabel(3)->text(), QStringLiteral("6.001V"));
    EXPECT_TRUE(simulatorTrace(trace).contains(QStringLiteral("QV58163_AD_config_set(5, 3, 3)")));
}

// Run by CTest a second time with a German locale in the environment (see tests/CMakeLists.txt).
TEST(EndToEnd, TheVoltageTextTakesTheDecimalSeparatorOfTheUsersLocale) {
    if (!qgetenv("LC_ALL").startsWith("de_")) {
        GTEST_SKIP() << "runs with LC_ALL=de_DE.UTF-8";
    }
    // The application has put the user's locale into the C library too; with no German locale
    // installed it would stay on '.', and the simulator's settings would never meet a comma.
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "German locale missing (LOCPATH?)";
    ScopedEnvironment env({{"QV58163_SIM_RANGES", "1"},
                           {"QV58163_SIM_SIGNALS", "dc:2.5"},
                           {"QV58163_SIM_NOISE", "0"},
                           {"QV58163_SIM_STEP_MS", "100"}});
    // The panel takes the decimal point from the system locale, as the program does.
    PanelRig rig;
    ASSERT_FALSE(rig.start());
    rig.window.startButton()->click();
    rig.tick();
    EXPECT_EQ(rig.window.valueLabel(0)->text(), QStringLiteral("2,500V"))
        << "count 1024 on -5..+5 V";
    EXPECT_EQ(rig.window.idBox()->currentText(), QStringLiteral(" 0")) << "card numbers are plain";
}

}  // namespace
}  // namespace qv58163::test
