// The program end to end: the real window, the real run-time binding, and the built simulated
// card, with known DC signals and no noise, so every caption is known to the character.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <clocale>

#include "DriverLibrary.hpp"
#include "WindowRig.hpp"

namespace qv58163::test {
namespace {

// Sets environment variables for the length of a test.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char *, QByteArray>> values) {
        for (const auto &[name, value] : values) {
            names_.push_back(name);
            qputenv(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const char *name : names_) {
            qunsetenv(name);
        }
    }

private:
    std::vector<const char *> names_;
};

QStringList TraceLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class EndToEnd : public ::testing::Test {
protected:
    QTemporaryDir scratch;
    QString trace = scratch.filePath(QStringLiteral("calls.trace"));
};

TEST_F(EndToEnd, TheWindowShowsTheSimulatedCardsKnownVoltages) {
    // Ranges -5..+5, 0..5, -10..+10, 0..10, -5..+5, 0..5, -10..+10, stopped.
    ScopedEnvironment env({
        {"QV58163_SIM_CARDS", "2,5"},
        {"QV58163_SIM_RANGES", "1,0,3,2,1,0,3,255"},
        {"QV58163_SIM_SIGNALS", "dc:1.25;dc:2;dc:-7.5;dc:6;dc:-4;dc:4;dc:12;dc:3"},
        {"QV58163_SIM_NOISE", "0"},
        {"QV58163_SIM_STEP_MS", "100"},
        {"QV58163_SIM_TRACE", trace.toLocal8Bit()},
    });
    qv58163::card::DriverLibrary driver(QStringLiteral(QV58163_SIMULATOR_DIR));
    WindowRig rig(driver);
    rig.Start();

    ASSERT_TRUE(rig.messages.empty()) << rig.messages.front().toStdString();
    ASSERT_TRUE(rig.window.isVisible());
    EXPECT_EQ(driver.loadedFrom(), QStringLiteral(QV58163_SIMULATOR_DIR "/libQV58163.so"));
    EXPECT_EQ(rig.window.idBox()->currentText(), QStringLiteral(" 2"));
    EXPECT_EQ(rig.window.configBox(7)->currentText(), QStringLiteral("255 : stop"));
    EXPECT_EQ(rig.captions(), QStringList(8, QStringLiteral("0.00000")));

    // The operator picks card 5 (the one the ranges were loaded from), presses START and waits
    // for the first refresh of the real timer.
    rig.window.idBox()->setCurrentIndex(1);
    rig.window.startButton()->click();
    ASSERT_TRUE(WindowRig::WaitUntil(
        [&] { return rig.window.valueLabel(0)->text() != QStringLiteral("0.00000"); }));
    EXPECT_EQ(rig.captions(), (QStringList{"1.250V", "2.000V", "-7.500V", "6.000V", "-3.999V",
                                           "4.000V", "9.995V", "0.000V"}));

    // A range change shows at the next refresh: channel 3's 6 V now read on -10..+10 V.
    rig.window.configBox(3)->setCurrentIndex(3);
    ASSERT_TRUE(WindowRig::WaitUntil(
        [&] { return rig.window.valueLabel(3)->text() != QStringLiteral("6.000V"); }));
    EXPECT_EQ(rig.window.valueLabel(3)->text(), QStringLiteral("6.001V"));

    rig.window.stopButton()->click();
    rig.window.exitButton()->click();
    EXPECT_EQ(rig.endStatuses, std::vector<int>{0});

    // The simulated card saw the start-up in order, the calls to card 5, and the close.
    const QStringList lines = TraceLines(trace);
    ASSERT_GE(lines.size(),
              39);  // 1 + 16 probes + 16 range calls + start, 2 reads, set, stop, close
    EXPECT_EQ(lines.front(), QStringLiteral("QV58163_initial() = 0"));
    EXPECT_TRUE(lines.at(1).startsWith(QStringLiteral("QV58163_info(0, 0) = -2")));
    EXPECT_TRUE(lines.at(17).startsWith(QStringLiteral("QV58163_AD_config_read(5, 0) = 0")));
    EXPECT_EQ(lines.at(18), QStringLiteral("QV58163_AD_config_set(5, 0, 1) = 0"));
    EXPECT_EQ(lines.at(32), QStringLiteral("QV58163_AD_config_set(5, 7, 255) = 0"));
    EXPECT_TRUE(lines.contains(QStringLiteral("QV58163_AD_integral_start(5, 1) = 0")));
    EXPECT_TRUE(lines.contains(QStringLiteral("QV58163_AD_config_set(5, 3, 3) = 0")));
    EXPECT_TRUE(lines.contains(QStringLiteral("QV58163_AD_integral_stop(5) = 0")));
    EXPECT_EQ(lines.back(), QStringLiteral("QV58163_close() = 0"));
}

TEST_F(EndToEnd, TheSimulatedCardsInitialFailureIsReportedAndEndsTheProgram) {
    ScopedEnvironment env(
        {{"QV58163_SIM_INITIAL_STATUS", "-7"}, {"QV58163_SIM_TRACE", trace.toLocal8Bit()}});
    qv58163::card::DriverLibrary driver(QStringLiteral(QV58163_SIMULATOR_DIR));
    WindowRig rig(driver);
    rig.Start();
    EXPECT_EQ(rig.messages,
              std::vector<QString>{QStringLiteral("QV58163 initial fail ! (Error#-7)")});
    EXPECT_EQ(rig.endStatuses, std::vector<int>{2});
    EXPECT_FALSE(rig.window.isVisible());
    EXPECT_EQ(TraceLines(trace), (QStringList{"QV58163_initial() = -7", "QV58163_close() = 0",
                                              "QV58163_close() = 0"}));
}

// Run by CTest a second time with a German locale in the environment (see tests/CMakeLists.txt).
TEST_F(EndToEnd, TheVoltageTextTakesTheDecimalSeparatorOfTheUsersLocale) {
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
    qv58163::card::DriverLibrary driver(QStringLiteral(QV58163_SIMULATOR_DIR));
    // As the program takes it: from the system locale, after the application has set the C
    // library's locale too.
    WindowRig rig(driver, QLocale::system().decimalPoint());
    rig.Start();
    rig.window.startButton()->click();
    rig.procedures.dispatch([&] { rig.procedures.Timer1_Timer(); });
    EXPECT_EQ(rig.window.valueLabel(0)->text(), QStringLiteral("2,500V"))
        << "count 1024 on -5..+5 V";
    EXPECT_EQ(rig.window.idBox()->currentText(), QStringLiteral(" 0")) << "card numbers are plain";
}

}  // namespace
}  // namespace qv58163::test
