// What a screen reader hears: every control it reaches is named by its visible text (a label's
// caption, a list's chosen entry, a button's text; the picture-only exit button by its tooltip),
// and the value labels and range lists say which channel they belong to. Read back through
// QAccessible, as an assistive technology does.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

QString nameOf(QObject *object) {
    QAccessibleInterface *node = QAccessible::queryAccessibleInterface(object);
    return node != nullptr ? node->text(QAccessible::Name) : QStringLiteral("(no interface)");
}

QString descriptionOf(QObject *object) {
    QAccessibleInterface *node = QAccessible::queryAccessibleInterface(object);
    return node != nullptr ? node->text(QAccessible::Description)
                           : QStringLiteral("(no interface)");
}

// The panel on the simulated card with cards 2 and 5 and their ranges -5..+5, 0..5, -10..+10,
// 0..10, -5..+5, 0..5, -10..+10 V and stopped.
class Accessibility : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(rig.start()); }

    ScopedEnvironment env{{"QV58163_SIM_CARDS", "2,5"},
                          {"QV58163_SIM_RANGES", "1,0,3,2,1,0,3,255"}};
    PanelRig rig;
};

TEST_F(Accessibility, LabelsAndButtonsAreNamedByTheirVisibleText) {
    const ui::QV58163_Main &w = rig.window;
    EXPECT_EQ(nameOf(w.cardLabel()), "CardID");
    EXPECT_EQ(nameOf(w.modeLabel()), "AD Mode");
    EXPECT_EQ(nameOf(w.frame()).trimmed(), "A/D");
    EXPECT_EQ(nameOf(w.startButton()), "START");
    EXPECT_EQ(nameOf(w.stopButton()), "STOP");
    EXPECT_EQ(nameOf(w.exitButton()), "Exit");  // a picture only: named as its tooltip
    for (int i = 0; i < card::channelCount; ++i) {
        EXPECT_EQ(nameOf(w.channelLabel(i)), QStringLiteral("CH0%1").arg(i));
    }
}

TEST_F(Accessibility, TheMenuCommandIsNamedExit) {
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(rig.window.menuBar());
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->childCount(), 1);
    EXPECT_EQ(bar->child(0)->text(QAccessible::Name), "Exit");
}

TEST_F(Accessibility, ListsAreNamedByTheirChosenEntryAndFollowTheChoice) {
    ui::QV58163_Main &w = rig.window;
    EXPECT_EQ(nameOf(w.idBox()).trimmed(), "2");
    EXPECT_EQ(nameOf(w.modeBox()), "1");
    const char *shown[] = {"1: -5V ~ +5V", "0: 0V ~ 5V", "3: -10V ~ +10V", "2: 0V ~ 10V",
                           "1: -5V ~ +5V", "0: 0V ~ 5V", "3: -10V ~ +10V", "255 : stop"};
    for (int i = 0; i < card::channelCount; ++i) {
        EXPECT_EQ(nameOf(w.configBox(i)), shown[i]) << i;
    }
    w.configBox(7)->setCurrentIndex(2);
    EXPECT_EQ(nameOf(w.configBox(7)), "2: 0V ~ 10V");
    w.idBox()->setCurrentIndex(1);
    EXPECT_EQ(nameOf(w.idBox()).trimmed(), "5");
}

TEST_F(Accessibility, ValueLabelsSpeakTheirReadingAndNameTheirChannel) {
    ui::QV58163_Main &w = rig.window;
    for (int i = 0; i < card::channelCount; ++i) {
        const QString channel = QStringLiteral("CH0%1").arg(i);
        EXPECT_EQ(nameOf(w.valueLabel(i)), "0.00000") << channel.toStdString();
        EXPECT_EQ(descriptionOf(w.valueLabel(i)), channel);
        EXPECT_EQ(descriptionOf(w.configBox(i)), channel);
        w.advalue(i).setCaption(QStringLiteral("-%1.250V").arg(i));
        EXPECT_EQ(nameOf(w.valueLabel(i)), QStringLiteral("-%1.250V").arg(i));
    }
}

TEST_F(Accessibility, EveryControlInTheTabOrderHasAName) {
    QWidget *first = rig.window.idBox();
    QWidget *control = first;
    int visited = 0;
    do {
        EXPECT_FALSE(nameOf(control).trimmed().isEmpty()) << control->objectName().toStdString();
        control = control->nextInFocusChain();
        while ((control->focusPolicy() & Qt::TabFocus) == 0) {
            control = control->nextInFocusChain();
        }
        ++visited;
    } while (control != first && visited < 100);
    EXPECT_EQ(visited, 13);
}

}  // namespace
}  // namespace qv58163::test
