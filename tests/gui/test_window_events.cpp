// The real window on the simulated card: each event the window answers reaches its procedure and
// AD_Mode's does not, each way out reaches its procedure, and the real message box looks as it
// should. What each procedure does (what an exit closes, that nothing runs after the end) is
// tested on the window in memory.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

class WindowEvents : public ::testing::Test {
protected:
    // The calls the card saw since `from`.
    QStringList callsSince(qsizetype from) const { return simulatorTrace(trace).mid(from); }

    QTemporaryDir scratch;
    QString trace = scratch.filePath(QStringLiteral("calls.trace"));
    // Every channel on -10..+10 V, so that choosing "255 : stop" changes a range.
    ScopedEnvironment env{{"QV58163_SIM_CARDS", "2,5"},
                          {"QV58163_SIM_RANGES", "3,3,3,3,3,3,3,3"},
                          {"QV58163_SIM_TRACE", trace.toLocal8Bit()}};
};

TEST_F(WindowEvents, TheOperatorsChoicesReachTheirProcedures) {
    PanelRig rig;
    ASSERT_FALSE(rig.start());
    const qsizetype startUp = simulatorTrace(trace).size();

    rig.window.idBox()->setCurrentIndex(1);  // as a choice from the open list does
    EXPECT_EQ(rig.panel.module1.card_id, 5);
    rig.window.idBox()->setCurrentIndex(0);
    EXPECT_EQ(rig.panel.module1.card_id, 2);
    rig.window.configBox(6)->setCurrentIndex(4);
    rig.window.modeBox()->setCurrentIndex(7);  // answers no Click: read when START is pressed
    rig.window.startButton()->click();
    rig.window.stopButton()->click();

    EXPECT_EQ(callsSince(startUp),
              (QStringList{"QV58163_AD_config_set(2, 6, 255)", "QV58163_AD_integral_start(2, 7)",
                           "QV58163_AD_integral_stop(2)"}));
    EXPECT_TRUE(rig.messages.empty());
}

TEST_F(WindowEvents, EachWayOutEndsTheProgramWithStatusZero) {
    const std::pair<const char *, std::function<void(ui::QV58163_Main &)>> exits[] = {
        {"exit button", [](ui::QV58163_Main &w) { w.exitButton()->click(); }},
        {"Exit menu", [](ui::QV58163_Main &w) { w.exitAction()->trigger(); }},
        {"close box", [](ui::QV58163_Main &w) { w.close(); }},
    };
    for (const auto &[name, exit] : exits) {
        SCOPED_TRACE(name);
        PanelRig rig;
        ASSERT_FALSE(rig.start());
        exit(rig.window);
        EXPECT_EQ(rig.endStatuses, std::vector<int>{0});
    }
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
