// The panel driven from the keyboard alone: the tab order, the arrow keys on every list, Alt+E,
// and a whole run (pick a card, change a range, START, STOP, exit) checked by the driver calls it
// makes. Keys go to whichever control has the focus, as an operator's would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "StartedPanel.hpp"

namespace qv58163::test {
namespace {

using Calls = std::vector<std::string>;

class Keyboard : public ::testing::Test, protected StartedPanel {
protected:
    void SetUp() override {
        rig.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window));
        startUpCalls = log.size();
    }

    static QString Focused() {
        QWidget *focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName() : QStringLiteral("(none)");
    }
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key, modifiers);
    }
    // The driver calls made since start-up, reads left out (the timer may tick between keys).
    Calls CallsSinceStartUp() const {
        Calls calls;
        for (std::size_t k = startUpCalls; k < log.size(); ++k) {
            if (log[k].rfind("QV58163_AD_integral_all_read", 0) != 0) {
                calls.push_back(log[k]);
            }
        }
        return calls;
    }

    std::size_t startUpCalls = 0;
};

const QStringList kTabOrder = {
    "ID",          "chk_exit",    "AD_Mode",     "CmB_Stop",    "CmB_Start",
    "AD_config_7", "AD_config_6", "AD_config_5", "AD_config_4", "AD_config_3",
    "AD_config_2", "AD_config_1", "AD_config_0",
};

TEST_F(Keyboard, TabVisitsTheControlsInTheirOrderAndShiftTabGoesBack) {
    QStringList forward = {Focused()};
    for (int k = 0; k < kTabOrder.size(); ++k) {
        Press(Qt::Key_Tab);
        forward << Focused();
    }
    EXPECT_EQ(forward, kTabOrder + QStringList{"ID"});  // and round again

    QStringList backward = {Focused()};
    for (int k = 0; k < kTabOrder.size(); ++k) {
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
        backward << Focused();
    }
    QStringList reversed(kTabOrder.rbegin(), kTabOrder.rend());
    EXPECT_EQ(backward, QStringList{"ID"} + reversed);
}

TEST_F(Keyboard, AWholeRunFromTheKeyboardAlone) {
    ASSERT_EQ(Focused(), "ID");
    Press(Qt::Key_Down);  // " 5"
    Press(Qt::Key_Up);    // " 2": the card the run uses
    EXPECT_EQ(rig.window.idBox()->currentText(), " 2");
    EXPECT_EQ(rig.module1.card_id, 2);

    Press(Qt::Key_Tab);  // the exit button
    Press(Qt::Key_Tab);  // AD_Mode
    Press(Qt::Key_Down);
    EXPECT_EQ(rig.window.modeBox()->currentText(), "2");

    Press(Qt::Key_Tab);  // STOP
    Press(Qt::Key_Tab);  // START
    ASSERT_EQ(Focused(), "CmB_Start");
    Press(Qt::Key_Space);
    EXPECT_TRUE(rig.window.timer()->isActive());

    Press(Qt::Key_Tab);  // AD_config(7), "255 : stop"
    Press(Qt::Key_Up);   // "3: -10V ~ +10V"
    EXPECT_EQ(rig.window.configBox(7)->currentText(), "3: -10V ~ +10V");

    Press(Qt::Key_Backtab, Qt::ShiftModifier);  // START
    Press(Qt::Key_Backtab, Qt::ShiftModifier);  // STOP
    ASSERT_EQ(Focused(), "CmB_Stop");
    Press(Qt::Key_Space);
    EXPECT_FALSE(rig.window.timer()->isActive());

    Press(Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(CallsSinceStartUp(),
              (Calls{"QV58163_AD_integral_start(2, 2)", "QV58163_AD_config_set(2, 7, 3)",
                     "QV58163_AD_integral_stop(2)", "QV58163_close()"}));
    EXPECT_EQ(rig.endStatuses, std::vector<int>{0});
    EXPECT_TRUE(rig.messages.empty());
}

TEST_F(Keyboard, SpaceOnTheExitButtonEndsTheProgram) {
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focused(), "chk_exit");
    Press(Qt::Key_Space);
    EXPECT_EQ(CallsSinceStartUp(), Calls{"QV58163_close()"});
    EXPECT_EQ(rig.endStatuses, std::vector<int>{0});
}

// Every list moves one entry with each arrow key, reaching its procedure as a choice does.
struct ListCase {
    const char *name;
    int expectedStart;  // position after start-up
    std::vector<std::string> downThenUpCalls;
};

void PrintTo(const ListCase &list, std::ostream *out) {
    *out << list.name;
}

class ArrowKeys : public Keyboard, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ArrowKeys, MoveTheChoiceOneEntryAtATime) {
    const ListCase &list = GetParam();
    auto *box = rig.window.findChild<QComboBox *>(QString::fromLatin1(list.name));
    ASSERT_NE(box, nullptr);
    while (Focused() != box->objectName()) {  // reached by Tab, as an operator would
        Press(Qt::Key_Tab);
        ASSERT_NE(Focused(), "ID") << "not in the tab order";
    }
    ASSERT_EQ(box->currentIndex(), list.expectedStart);
    const int last = box->count() - 1;
    const int down = qMin(list.expectedStart + 1, last);
    Press(Qt::Key_Down);
    EXPECT_EQ(box->currentIndex(), down);
    Press(Qt::Key_Up);
    EXPECT_EQ(box->currentIndex(), down - 1);
    EXPECT_EQ(CallsSinceStartUp(), list.downThenUpCalls);
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
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv58163::test
