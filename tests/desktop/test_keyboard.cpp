// The panel driven from the keyboard alone: the tab order, the arrow keys on every list, Alt+E,
// and a whole run (pick a card, change a range, START, STOP, exit) checked by the driver calls it
// makes. Keys go to whichever control has the focus, as an operator's would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "PanelRig.hpp"
#include "RowName.hpp"

namespace qv58163::test {
namespace {

// The panel on the simulated card with cards 2 and 5 and their ranges -5..+5, 0..5, -10..+10,
// 0..10, -5..+5, 0..5, -10..+10 V and stopped, its window active.
class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(rig.start());
        rig.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window));
        startUpCalls = simulatorTrace(trace).size();
    }

    static QString focused() {
        QWidget *focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName() : QStringLiteral("(none)");
    }
    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key, modifiers);
    }
    // The calls the card saw since start-up, reads left out (the timer may tick between keys).
    QStringList callsSinceStartUp() const {
        QStringList calls = simulatorTrace(trace).mid(startUpCalls);
        calls.removeIf([](const QString &call) {
            return call.startsWith(QStringLiteral("QV58163_AD_integral_all_read"));
        });
        return calls;
    }

    QTemporaryDir scratch;
    QString trace = scratch.filePath(QStringLiteral("calls.trace"));
    ScopedEnvironment env{{"QV58163_SIM_CARDS", "2,5"},
                          {"QV58163_SIM_RANGES", "1,0,3,2,1,0,3,255"},
                          {"QV58163_SIM_TRACE", trace.toLocal8Bit()}};
    PanelRig rig;
    qsizetype startUpCalls = 0;
};

const QStringList tabOrder = {
    "ID",          "chk_exit",    "AD_Mode",     "CmB_Stop",    "CmB_Start",
    "AD_config_7", "AD_config_6", "AD_config_5", "AD_config_4", "AD_config_3",
    "AD_config_2", "AD_config_1", "AD_config_0",
};

TEST_F(Keyboard, TabVisitsTheControlsInTheirOrderAndShiftTabGoesBack) {
    QStringList forward = {focused()};
    for (int k = 0; k < tabOrder.size(); ++k) {
        press(Qt::Key_Tab);
        forward << focused();
    }
    EXPECT_EQ(forward, tabOrder + QStringList{"ID"});  // and round again

    QStringList backward = {focused()};
    for (int k = 0; k < tabOrder.size(); ++k) {
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        backward << focused();
    }
    QStringList reversed(tabOrder.rbegin(), tabOrder.rend());
    EXPECT_EQ(backward, QStringList{"ID"} + reversed);
}

TEST_F(Keyboard, AWholeRunFromTheKeyboardAlone) {
    ASSERT_EQ(focused(), "ID");
    press(Qt::Key_Down);  // " 5"
    press(Qt::Key_Up);    // " 2": the card the run uses
    EXPECT_EQ(rig.window.idBox()->currentText(), " 2");
    EXPECT_EQ(rig.panel.module1.card_id, 2);

    press(Qt::Key_Tab);  // the exit button
    press(Qt::Key_Tab);  // AD_Mode
    press(Qt::Key_Down);
    EXPECT_EQ(rig.window.modeBox()->currentText(), "2");

    press(Qt::Key_Tab);  // STOP
    press(Qt::Key_Tab);  // START
    ASSERT_EQ(focused(), "CmB_Start");
    press(Qt::Key_Space);

    press(Qt::Key_Tab);  // AD_config(7), "255 : stop"
    press(Qt::Key_Up);   // "3: -10V ~ +10V"
    EXPECT_EQ(rig.window.configBox(7)->currentText(), "3: -10V ~ +10V");

    press(Qt::Key_Backtab, Qt::ShiftModifier);  // START
    press(Qt::Key_Backtab, Qt::ShiftModifier);  // STOP
    ASSERT_EQ(focused(), "CmB_Stop");
    press(Qt::Key_Space);
    EXPECT_EQ(callsSinceStartUp(),
              (QStringList{"QV58163_AD_integral_start(2, 2)", "QV58163_AD_config_set(2, 7, 3)",
                           "QV58163_AD_integral_stop(2)"}));

    press(Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(rig.endStatuses, std::vector<int>{0});
    EXPECT_TRUE(rig.messages.empty());
}

TEST_F(Keyboard, SpaceOnTheExitButtonEndsTheProgram) {
    press(Qt::Key_Tab);
    ASSERT_EQ(focused(), "chk_exit");
    press(Qt::Key_Space);
    EXPECT_EQ(rig.endStatuses, std::vector<int>{0});
}

// Every list moves one entry with each arrow key, reaching its procedure as a choice does.
struct ListCase {
    const char *name;
    int expectedStart;  // position after start-up
    QStringList downThenUpCalls;
};

void PrintTo(const ListCase &list, std::ostream *out) {
    *out << list.name;
}

class ArrowKeys : public Keyboard, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ArrowKeys, MoveTheChoiceOneEntryAtATime) {
    const ListCase &list = GetParam();
    auto *box = rig.window.findChild<QComboBox *>(QString::fromLatin1(list.name));
    ASSERT_NE(box, nullptr);
    while (focused() != box->objectName()) {  // reached by Tab, as an operator would
        press(Qt::Key_Tab);
        ASSERT_NE(focused(), "ID") << "not in the tab order";
    }
    ASSERT_EQ(box->currentIndex(), list.expectedStart);
    const int last = box->count() - 1;
    const int down = qMin(list.expectedStart + 1, last);
    press(Qt::Key_Down);
    EXPECT_EQ(box->currentIndex(), down);
    press(Qt::Key_Up);
    EXPECT_EQ(box->currentIndex(), down - 1);
    EXPECT_EQ(callsSinceStartUp(), list.downThenUpCalls);
}

INSTANTIATE_TEST_SUITE_P(
    EveryList, ArrowKeys,
    ::testing::Values(
        ListCase{"ID", 0, {}},  // the card number changes, and no driver call is made
        ListCase{"AD_Mode", 1, {}},
        ListCase{"AD_config_7",
                 4,  // the last entry: Down stays, Up moves
                 {"QV58163_AD_config_set(5, 7, 3)"}},
        ListCase{
            "AD_config_3", 2, {"QV58163_AD_config_set(5, 3, 3)", "QV58163_AD_config_set(5, 3, 2)"}},
        ListCase{"AD_config_0",
                 1,
                 {"QV58163_AD_config_set(5, 0, 2)", "QV58163_AD_config_set(5, 0, 1)"}}),
    RowName());

}  // namespace
}  // namespace qv58163::test
