// The real window wired to the procedures: each answered event reaches its procedure through the
// guard, the ways out end the program through the seam, and the real message box looks right.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "RecordingDriver.hpp"
#include "WindowRig.hpp"

namespace qv58163::test {
namespace {

using Calls = std::vector<std::string>;

class WindowEvents : public ::testing::Test {
protected:
    CallLog log;
    RecordingDriver driver{log};
    WindowRig rig{driver};
};

TEST_F(WindowEvents, StartUpFillsTheListsAndShowsTheWindow) {
    driver.cards = {2, 5};
    driver.codes = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 255}, {5, 4}, {6, 0}, {7, 1}};
    rig.Start();

    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_EQ(rig.window.idBox()->currentText(), QStringLiteral(" 2"));
    EXPECT_EQ(rig.window.idBox()->count(), 2);
    EXPECT_EQ(rig.window.modeBox()->currentText(), QStringLiteral("1"));
    EXPECT_EQ(rig.module1.card_id, 5);
    const int shown[] = {0, 1, 2, 3, 4, 4, 0, 1};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rig.window.configBox(i)->currentIndex(), shown[i]) << i;
    }
    EXPECT_EQ(driver.calls("QV58163_AD_config_set"),
              (Calls{"QV58163_AD_config_set(5, 0, 0)", "QV58163_AD_config_set(5, 1, 1)",
                     "QV58163_AD_config_set(5, 2, 2)", "QV58163_AD_config_set(5, 3, 3)",
                     "QV58163_AD_config_set(5, 4, 255)", "QV58163_AD_config_set(5, 5, 255)",
                     "QV58163_AD_config_set(5, 6, 0)", "QV58163_AD_config_set(5, 7, 1)"}));
    EXPECT_TRUE(rig.messages.empty());
}

TEST_F(WindowEvents, TheOperatorsChoicesReachTheirProcedures) {
    driver.cards = {2, 5};
    rig.Start();
    rig.window.idBox()->setCurrentIndex(1);  // as a choice from the open list does
    EXPECT_EQ(rig.module1.card_id, 5);
    rig.window.idBox()->setCurrentIndex(0);
    EXPECT_EQ(rig.module1.card_id, 2);

    rig.window.configBox(6)->setCurrentIndex(4);
    EXPECT_EQ(driver.calls("QV58163_AD_config_set").back(), "QV58163_AD_config_set(2, 6, 255)");
    EXPECT_EQ(rig.module1.ad_config_data(6), 4);

    const std::size_t before = log.size();
    rig.window.modeBox()->setCurrentIndex(7);  // AD_Mode's Click is not answered
    EXPECT_EQ(log.size(), before);

    rig.window.startButton()->click();
    EXPECT_EQ(driver.calls("QV58163_AD_integral_start"), Calls{"QV58163_AD_integral_start(2, 7)"});
    EXPECT_TRUE(rig.window.timer()->isActive());
    rig.window.stopButton()->click();
    EXPECT_EQ(driver.calls("QV58163_AD_integral_stop"), Calls{"QV58163_AD_integral_stop(2)"});
    EXPECT_FALSE(rig.window.timer()->isActive());
}

TEST_F(WindowEvents, EachWayOutClosesTheDriverAndEndsWithStatusZero) {
    const std::vector<std::pair<const char *, std::function<void(ui::QV58163_Main &)>>> exits = {
        {"exit button", [](ui::QV58163_Main &w) { w.exitButton()->click(); }},
        {"Exit menu", [](ui::QV58163_Main &w) { w.exitAction()->trigger(); }},
        {"close box", [](ui::QV58163_Main &w) { w.close(); }},
    };
    for (const auto &[name, exit] : exits) {
        SCOPED_TRACE(name);
        CallLog runLog;
        RecordingDriver runDriver(runLog);
        WindowRig run(runDriver);
        run.Start();
        run.window.startButton()->click();
        const std::size_t before = runLog.size();

        exit(run.window);
        EXPECT_EQ(Calls(runLog.begin() + static_cast<std::ptrdiff_t>(before), runLog.end()),
                  Calls{"QV58163_close()"});
        EXPECT_EQ(run.endStatuses, std::vector<int>{0});
        EXPECT_FALSE(run.window.timer()->isActive()) << "no tick runs after the end";

        // Nothing is answered after the end.
        run.window.stopButton()->click();
        run.window.close();
        WindowRig::Pump(250);
        EXPECT_EQ(runLog.size(), before + 1);
        EXPECT_EQ(run.endStatuses.size(), 1u);
    }
}

TEST_F(WindowEvents, ADriverThatFailsToOpenEndsBeforeTheWindowIsShown) {
    driver.initialStatus = 3;
    rig.Start();
    EXPECT_EQ(rig.messages,
              std::vector<QString>{QStringLiteral("QV58163 initial fail ! (Error# 3)")});
    EXPECT_EQ(log, (Calls{"QV58163_initial()", "QV58163_close()", "QV58163_close()"}));
    EXPECT_EQ(rig.endStatuses, std::vector<int>{2});
    EXPECT_EQ(rig.window.endStatus(), 2);
    EXPECT_FALSE(rig.window.isVisible());
}

TEST_F(WindowEvents, ARunTimeErrorDuringTicksIsReportedOnceAndEndsTheProgram) {
    rig.Start();
    rig.window.startButton()->click();
    int reads = 0;
    driver.onRead = [&reads](std::int16_t, std::int16_t *) -> std::int32_t {
        if (++reads == 2) {
            throw RuntimeError(QStringLiteral("the driver library has no export X"));
        }
        return 0;
    };
    // While the report is open, the event loop keeps running; no tick may be answered.
    rig.onMessage = [] { WindowRig::Pump(350); };
    ASSERT_TRUE(WindowRig::WaitUntil([this] { return !rig.endStatuses.empty(); }));
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(
        rig.messages,
        std::vector<QString>{QStringLiteral("Run-time error: the driver library has no export X")});
    EXPECT_EQ(rig.errors.str(), "Run-time error: the driver library has no export X\n");
    EXPECT_EQ(rig.endStatuses, std::vector<int>{1});
    EXPECT_EQ(log.back(), "QV58163_close()");
    WindowRig::Pump(300);
    EXPECT_EQ(reads, 2);
}

// The real message box, not the seam: modal, one OK button, no icon, the application's title.
TEST(MessageBox, IsModalWithOneOkButtonNoIconAndTheApplicationsTitle) {
    ui::QV58163_Main window;
    QString title, text;
    int buttons = -1;
    QMessageBox::Icon icon = QMessageBox::Critical;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        icon = box->icon();
        modal = box->isModal();
        box->button(QMessageBox::Ok)->click();
    });
    window.messageBox(QStringLiteral("QV58163 initial fail ! (Error#-7)"));
    EXPECT_EQ(title, QStringLiteral("QV58163"));
    EXPECT_EQ(text, QStringLiteral("QV58163 initial fail ! (Error#-7)"));
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_TRUE(modal);
}

}  // namespace
}  // namespace qv58163::test
