// The window as a person sees it: every control inside the area it sits on and none over another,
// the channels' rows in order with their columns aligned, nothing that resizes, each face one the
// program's package installs, and the menu bar. The window's positions and sizes are written once,
// where it builds its controls: these checks hold for any layout a person would accept. The tab
// order, the names a screen reader hears and the texts that fit are the desktop tests'.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <array>

#include "Pictures.hpp"
#include "QV58163_Main.hpp"

namespace qv58163::test {
namespace {

using ui::QV58163_Main;

class WindowLayout : public ::testing::Test {
protected:
    // The controls placed directly on `area`: the client area, or the frame.
    static QList<QWidget *> controlsOn(const QWidget *area) {
        QList<QWidget *> controls = area->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        controls.removeIf(
            [](const QWidget *w) { return w->objectName().isEmpty() || w->isHidden(); });
        return controls;
    }
    QList<QWidget *> allControls() const {
        return controlsOn(window.clientArea()) + controlsOn(window.frame());
    }
    // What a person sees of a control: of a label with no background, its text where the label
    // aligns it (a label may reach under its neighbour, as "AD Mode" does by a pixel); of any
    // other control, all of it.
    static QRect seen(const QWidget *control) {
        const auto *label = qobject_cast<const QLabel *>(control);
        if (label == nullptr || label->autoFillBackground()) {
            return control->geometry();
        }
        const QSize text = label->fontMetrics().size(Qt::TextSingleLine, label->text());
        return QStyle::alignedRect(label->layoutDirection(), label->alignment(), text,
                                   label->contentsRect())
            .translated(label->pos());
    }
    QV58163_Main window;
};

TEST_F(WindowLayout, EveryControlLiesInsideItsAreaAndNoneCoversAnother) {
    QStyleOptionGroupBox frame;
    frame.initFrom(window.frame());
    frame.text = window.frame()->title();
    const QRect title = window.frame()->style()->subControlRect(
        QStyle::CC_GroupBox, &frame, QStyle::SC_GroupBoxLabel, window.frame());
    for (QWidget *area : {window.clientArea(), static_cast<QWidget *>(window.frame())}) {
        const QList<QWidget *> controls = controlsOn(area);
        EXPECT_GT(controls.size(), 3) << area->objectName().toStdString();
        for (qsizetype k = 0; k < controls.size(); ++k) {
            const std::string name = controls[k]->objectName().toStdString();
            EXPECT_TRUE(area->rect().contains(controls[k]->geometry()))
                << name << " leaves its area";
            const QRect place = seen(controls[k]);
            if (area == window.frame()) {
                EXPECT_FALSE(place.intersects(title)) << name << " covers the frame's title";
            }
            for (qsizetype other = k + 1; other < controls.size(); ++other) {
                EXPECT_FALSE(place.intersects(seen(controls[other])))
                    << name << " and " << controls[other]->objectName().toStdString();
            }
        }
    }
}

// Each row holds a channel's name, its reading and its range list, left to right, on one line;
// each row is the one above it moved down by the same step, so the columns align and CH00 to CH07
// run downwards, evenly spaced.
TEST_F(WindowLayout, TheChannelsRowsRunDownInOrderInAlignedColumns) {
    const auto row = [this](int i) {
        return std::array<QWidget *, 3>{window.channelLabel(i), window.valueLabel(i),
                                        window.configBox(i)};
    };
    const int step = window.channelLabel(1)->y() - window.channelLabel(0)->y();
    EXPECT_GT(step, 0);
    for (int i = 0; i < card::channelCount; ++i) {
        for (std::size_t column = 0; column < 3; ++column) {
            SCOPED_TRACE(row(i)[column]->objectName().toStdString());
            const QRect place = row(i)[column]->geometry();
            if (i > 0) {
                EXPECT_EQ(place, row(i - 1)[column]->geometry().translated(0, step));
            }
            if (column > 0) {
                const QRect left = row(i)[column - 1]->geometry();
                EXPECT_LT(left.right(), place.left());
                EXPECT_TRUE(left.contains(left.center().x(), place.center().y()))
                    << "not on the same line as the control to its left";
            }
        }
    }
}

// Nothing moves while the program runs: each control keeps its size whatever its text, and the
// window cannot be resized; the client area sits right below the menu bar.
TEST_F(WindowLayout, NoControlAndNotTheWindowCanChangeSize) {
    window.show();
    for (QWidget *control : allControls()) {
        EXPECT_EQ(control->minimumSize(), control->maximumSize())
            << control->objectName().toStdString();
    }
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.clientArea()->y(), window.menuBar()->height());
}

// The faces the window asks for resolve to the ones the program's package depends on
// (fonts-liberation, fonts-arphic-uming), not to whatever face the system falls back to.
TEST_F(WindowLayout, EveryControlsFaceIsOneThePackageInstalls) {
    const QStringList installed = {"Liberation Sans", "Liberation Sans Narrow", "Liberation Serif",
                                   "AR PL UMing TW"};
    for (QWidget *control : allControls()) {
        EXPECT_TRUE(installed.contains(QFontInfo(control->font()).family()))
            << control->objectName().toStdString() << ": "
            << QFontInfo(control->font()).family().toStdString();
    }
}

// Until start-up fills them, the lists hold no choice, so that start-up's first choice clicks; no
// list can be typed into.
TEST_F(WindowLayout, ListsStartWithNothingChosenAndCannotBeTypedIn) {
    const QList<QComboBox *> lists = window.findChildren<QComboBox *>();
    EXPECT_EQ(lists.size(), 2 + card::channelCount);
    for (const QComboBox *list : lists) {
        EXPECT_EQ(list->currentIndex(), -1) << list->objectName().toStdString();
        EXPECT_FALSE(list->isEditable()) << list->objectName().toStdString();
    }
}

TEST_F(WindowLayout, TheMenuBarHoldsExitAloneAndNoButtonIsDefault) {
    const QList<QAction *> actions = window.menuBar()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.front(), window.exitAction());
    EXPECT_EQ(actions.front()->menu(), nullptr) << "choosing it acts at once";
    EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_DontUseNativeMenuBar))
        << "the bar stays in the window on a desktop with a global menu";
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
}
// Captions skip shaping only where that changes no pixel: in the face the value font resolves to
// here (channel 0), not in the serif standing in for it on Windows, which kerns "11" (channel 1).
// Every pair of caption characters is drawn alike by the label with its shaped font; a caption
// with another character is shaped.
TEST_F(WindowLayout, ValueCaptionsSkipShapingOnlyWhereItChangesNothing) {
    QStringList captions;
    for (QChar first : QStringLiteral("0123456789.,-V")) {
        for (QChar second : QStringLiteral("0123456789.,-V")) {
            captions << QString(first) + second;
        }
    }
    QFont serif = window.valueLabel(1)->font();
    serif.setFamily(QStringLiteral("Liberation Serif"));
    window.valueLabel(1)->setFont(serif);
    for (int channel : {0, 1}) {
        QLabel *value = window.valueLabel(channel);
        const QFont shaped = value->font();
        for (const QString &caption : captions) {
            window.advalue(channel).setCaption(caption);
            const QImage drawn = value->grab().toImage();
            const QFont used = value->font();
            value->setFont(shaped);
            ASSERT_EQ(value->grab().toImage(), drawn) << channel << caption.toStdString();
            value->setFont(used);
        }
        EXPECT_EQ(bool(value->font().styleStrategy() & QFont::PreferNoShaping), channel == 0);
        window.advalue(channel).setCaption(QStringLiteral("1\u066B250V"));
        EXPECT_FALSE(value->font().styleStrategy() & QFont::PreferNoShaping) << channel;
    }
}

// A list builds its drop-down only when it is opened, and then the one QComboBox would have built
// at once, when the window set the list's font and style.
TEST_F(WindowLayout, AListsDropDownIsBuiltWhenOpenedAsItWouldHaveBeenAtOnce) {
    for (const QComboBox *box : window.findChildren<QComboBox *>()) {
        EXPECT_EQ(box->findChild<QAbstractItemView *>(), nullptr) << qPrintable(box->objectName());
    }
    QComboBox *list = window.configBox(3);
    QComboBox plain(list->parentWidget());
    plain.setFont(list->font());
    plain.setStyle(list->style());
    for (int k = 0; k < list->count(); ++k) {
        plain.addItem(list->itemText(k));
    }
    plain.setCurrentIndex(list->currentIndex());
    plain.setGeometry(list->geometry());
    list->showPopup();
    plain.showPopup();
    ASSERT_NE(list->findChild<QAbstractItemView *>(), nullptr);
    EXPECT_EQ(list->view()->window()->grab().toImage(), plain.view()->window()->grab().toImage());
}

// The style the program runs with reads no picture file: the frame must still look exactly as the
// Fusion style draws it, and the menu bar's extension arrows must show something.
TEST_F(WindowLayout, ThePictureStyleDrawsTheFrameAsFusionDoes) {
    ui::PictureStyle style;
    ASSERT_EQ(style.baseStyle()->name(), QStringLiteral("fusion"));
    QGroupBox *frame = window.frame();
    const QImage fusion = frame->grab().toImage();
    frame->setStyle(&style);
    const QImage pictured = frame->grab().toImage();
    frame->setStyle(nullptr);
    EXPECT_EQ(pictured, fusion);

    for (const auto arrows :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QImage image = style.standardIcon(arrows, nullptr, nullptr).pixmap(16, 16).toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
            }
        }
        EXPECT_GT(opaque, 20) << arrows;
    }
}

}  // namespace
}  // namespace qv58163::test
