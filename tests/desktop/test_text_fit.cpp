// Nothing a person reads is clipped: in the fonts the set-up installs, each control's longest text
// fits the rectangle the style draws it in.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOption>

#include "StartedPanel.hpp"

namespace qv58163::test {
namespace {

class TextFit : public ::testing::Test, protected StartedPanel {};

// The faces the window asks for resolve to the ones fonts-liberation and fonts-arphic-uming bring;
// the measurements below are only as good as this.
TEST_F(TextFit, TheWindowsFacesAreTheInstalledOnes) {
    const ui::QV58163_Main &w = rig.window;
    const std::pair<QWidget *, QStringList> faces[] = {
        {w.cardLabel(), {"Liberation Sans"}},
        {w.channelLabel(0), {"Liberation Sans"}},
        {w.frame(), {"Liberation Sans"}},
        {w.modeLabel(), {"Liberation Serif"}},
        {w.startButton(), {"Liberation Serif"}},
        {w.modeBox(), {"Liberation Sans Narrow"}},
        {w.configBox(0), {"Liberation Sans Narrow"}},
        {w.valueLabel(0), {"AR PL UMing TW", "AR PL UMing HK"}},
    };
    for (const auto &[widget, families] : faces) {
        EXPECT_TRUE(families.contains(QFontInfo(widget->font()).family()))
            << widget->objectName().toStdString() << " is drawn in "
            << QFontInfo(widget->font()).family().toStdString();
    }
}

void ExpectFits(const QFontMetrics &metrics, const QString &text, const QRect &room,
                const QWidget *widget) {
    const QSize needed = metrics.size(Qt::TextSingleLine, text);
    EXPECT_LE(needed.width(), room.width())
        << widget->objectName().toStdString() << ": \"" << text.toStdString() << "\"";
    EXPECT_LE(metrics.height(), room.height()) << widget->objectName().toStdString();
}

TEST_F(TextFit, LabelsHoldTheirLongestCaption) {
    ui::QV58163_Main &w = rig.window;
    ExpectFits(w.cardLabel()->fontMetrics(), w.cardLabel()->text(), w.cardLabel()->contentsRect(),
               w.cardLabel());
    ExpectFits(w.modeLabel()->fontMetrics(), w.modeLabel()->text(), w.modeLabel()->contentsRect(),
               w.modeLabel());
    for (int i = 0; i < Form::channelCount; ++i) {
        QLabel *name = w.channelLabel(i);
        ExpectFits(name->fontMetrics(), name->text(), name->contentsRect(), name);
        // The initial caption, and the widest reading a range gives.
        QLabel *value = w.valueLabel(i);
        for (const QString caption : {"0.00000", "-10.000V"}) {
            ExpectFits(value->fontMetrics(), caption, value->contentsRect(), value);
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
        ExpectFits(button->fontMetrics(), button->text(), room, button);
    }
}

TEST_F(TextFit, EveryListEntryFitsTheListsTextField) {
    ui::QV58163_Main &w = rig.window;
    QList<QComboBox *> lists = {w.idBox(), w.modeBox()};
    for (int i = 0; i < Form::channelCount; ++i) {
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
            ExpectFits(list->fontMetrics(), list->itemText(k), field, list);
        }
    }
}

TEST_F(TextFit, TheFrameTitleFitsTheFrame) {
    QGroupBox *frame = rig.window.frame();
    EXPECT_LE(frame->fontMetrics().horizontalAdvance(frame->title()), frame->width());
}

}  // namespace
}  // namespace qv58163::test
