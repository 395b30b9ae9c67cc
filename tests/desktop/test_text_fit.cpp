// Nothing a person reads is clipped: in the fonts the set-up installs (which faces the window's
// fonts resolve to is the layout test's), each control's longest text fits the rectangle the style
// draws it in.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOption>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

// The panel on the simulated card with cards 2 and 5.
class TextFit : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(rig.start()); }

    ScopedEnvironment env{{"QV58163_SIM_CARDS", "2,5"}};
    PanelRig rig;
};

void expectFits(const QFontMetrics &metrics, const QString &text, const QRect &room,
                const QWidget *widget) {
    const QSize needed = metrics.size(Qt::TextSingleLine, text);
    EXPECT_LE(needed.width(), room.width())
        << widget->objectName().toStdString() << ": \"" << text.toStdString() << "\"";
    EXPECT_LE(metrics.height(), room.height()) << widget->objectName().toStdString();
}

TEST_F(TextFit, LabelsHoldTheirLongestCaption) {
    ui::QV58163_Main &w = rig.window;
    expectFits(w.cardLabel()->fontMetrics(), w.cardLabel()->text(), w.cardLabel()->contentsRect(),
               w.cardLabel());
    expectFits(w.modeLabel()->fontMetrics(), w.modeLabel()->text(), w.modeLabel()->contentsRect(),
               w.modeLabel());
    for (int i = 0; i < card::channelCount; ++i) {
        QLabel *name = w.channelLabel(i);
        expectFits(name->fontMetrics(), name->text(), name->contentsRect(), name);
        // The initial caption, and the widest reading a range gives.
        QLabel *value = w.valueLabel(i);
        for (const QString caption : {"0.00000", "-10.000V"}) {
            expectFits(value->fontMetrics(), caption, value->contentsRect(), value);
        }
    }
}

TEST_F(TextFit, ButtonsHoldTheirText) {
    for (QPushButton *button : {rig.window.startButton(), rig.window.stopButton()}) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        expectFits(button->fontMetrics(), button->text(), room, button);
    }
}

TEST_F(TextFit, EveryListEntryFitsTheListsTextField) {
    ui::QV58163_Main &w = rig.window;
    QList<QComboBox *> lists = {w.idBox(), w.modeBox()};
    for (int i = 0; i < card::channelCount; ++i) {
        lists << w.configBox(i);
    }
    for (QComboBox *list : lists) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        option.frame = true;
        option.subControls = QStyle::SC_All;
        // The style draws the chosen entry in the edit field, less a pixel at each side.
        const QRect field =
            list->style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
                .adjusted(1, 0, -1, 0);
        for (int k = 0; k < list->count(); ++k) {
            expectFits(list->fontMetrics(), list->itemText(k), field, list);
        }
    }
}

TEST_F(TextFit, TheFrameTitleFitsTheFrame) {
    QGroupBox *frame = rig.window.frame();
    EXPECT_LE(frame->fontMetrics().horizontalAdvance(frame->title()), frame->width());
}

}  // namespace
}  // namespace qv58163::test
