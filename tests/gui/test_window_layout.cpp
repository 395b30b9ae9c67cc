// The window as built: every control's place, size, text, font and list entries, and the menu
// bar. The tab order and what a screen reader hears are the desktop tests'.
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

#include "Pictures.hpp"
#include "QV58163_Main.hpp"

namespace qv58163::test {
namespace {

using ui::QV58163_Main;

struct Expected {
    const char *name;
    int left, top, width, height;  // twips, within the client area or the frame
    const char *face;              // the installed face the requested one resolves to
    double points;
    bool bold;
};

class WindowLayout : public ::testing::Test {
protected:
    QV58163_Main window;

    QWidget *find(const char *name) const {
        QWidget *widget = window.findChild<QWidget *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
};

// Names as the window's widgets carry them; an array member i is NAME_i.
const Expected controls[] = {
    {"ID", 960, 150, 855, 360, "Liberation Sans", 9.75, false},
    {"Label9", 180, 210, 735, 255, "Liberation Sans", 11.25, false},
    {"Frame1", 120, 600, 3885, 3975, "Liberation Sans", 14.25, false},
    {"chk_exit", 3240, 4680, 615, 435, "Liberation Sans Narrow", 8.25, false},
    {"Label2", 120, 420, 855, 255, "Liberation Serif", 9.75, true},
    {"AD_Mode", 960, 390, 735, 315, "Liberation Sans Narrow", 8.25, false},
    {"CmB_Start", 1800, 360, 975, 375, "Liberation Serif", 12, true},
    {"CmB_Stop", 2880, 360, 855, 375, "Liberation Serif", 12, true},
    {"ch0_0", 180, 930, 645, 285, "Liberation Sans", 12, true},
    {"ch0_7", 180, 930 + 360 * 7, 645, 285, "Liberation Sans", 12, true},
    {"advalue_0", 960, 960, 1245, 285, "AR PL UMing TW", 12, true},
    {"advalue_5", 960, 960 + 360 * 5, 1245, 285, "AR PL UMing TW", 12, true},
    {"AD_config_0", 2400, 960, 1215, 315, "Liberation Sans Narrow", 8.25, false},
    {"AD_config_7", 2400, 960 + 360 * 7, 1215, 315, "Liberation Sans Narrow", 8.25, false},
};

TEST_F(WindowLayout, EveryControlHasItsPlaceSizeAndFont) {
    for (const Expected &control : controls) {
        SCOPED_TRACE(control.name);
        QWidget *widget = find(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(control.left / 15, control.top / 15, control.width / 15,
                                            control.height / 15));
        EXPECT_EQ(widget->minimumSize(), widget->maximumSize()) << "it keeps its size";
        EXPECT_EQ(QFontInfo(widget->font()).family(), QLatin1String(control.face));
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), control.points);
        EXPECT_EQ(widget->font().bold(), control.bold);
    }
    // Inside the frame, positions are the frame's own: +120 across and +600 down in the client.
    EXPECT_EQ(window.startButton()->parentWidget(), window.frame());
    EXPECT_EQ(window.startButton()->mapTo(window.clientArea(), QPoint(0, 0)),
              QPoint((1800 + 120) / 15, (360 + 600) / 15));
    for (int i = 0; i < card::channelCount; ++i) {
        EXPECT_EQ(window.valueLabel(i)->geometry().top(), (960 + 360 * i) / 15) << i;
        EXPECT_EQ(window.channelLabel(i)->geometry().top(), (930 + 360 * i) / 15) << i;
        EXPECT_EQ(window.configBox(i)->geometry().top(), (960 + 360 * i) / 15) << i;
    }
}

TEST_F(WindowLayout, TheClientAreaIsFixedBelowTheMenuBar) {
    window.show();
    EXPECT_EQ(window.clientArea()->size(), QSize(273, 349));
    EXPECT_EQ(window.clientArea()->y(), window.menuBar()->height());
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window is not resizable";
    EXPECT_EQ(window.windowTitle(), QStringLiteral("QV58163 Main"));
}

TEST_F(WindowLayout, TextsAndEntriesAtCreation) {
    EXPECT_EQ(window.cardLabel()->text(), QStringLiteral("CardID"));
    EXPECT_EQ(window.modeLabel()->text(), QStringLiteral("AD Mode"));
    EXPECT_EQ(window.frame()->title(), QStringLiteral("A/D    "));
    EXPECT_EQ(window.startButton()->text(), QStringLiteral("START"));
    EXPECT_EQ(window.stopButton()->text(), QStringLiteral("STOP"));
    EXPECT_TRUE(window.exitButton()->text().isEmpty());
    EXPECT_EQ(window.exitButton()->toolTip(), QStringLiteral("Exit"));
    EXPECT_TRUE(window.exitButton()->isCheckable());
    EXPECT_EQ(window.exitButton()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(window.exitButton()->icon().isNull());

    auto entries = [](QComboBox *box) {
        QStringList texts;
        for (int k = 0; k < box->count(); ++k) {
            texts << box->itemText(k);
        }
        return texts;
    };
    EXPECT_EQ(window.idBox()->count(), 0);
    EXPECT_EQ(entries(window.modeBox()),
              (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(window.modeBox()->currentIndex(), -1);
    for (int i = 0; i < card::channelCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(window.channelLabel(i)->text(), QStringLiteral("CH0%1").arg(i));
        EXPECT_EQ(window.valueLabel(i)->text(), QStringLiteral("0.00000"));
        EXPECT_EQ(window.valueLabel(i)->alignment(), Qt::AlignCenter);
        EXPECT_EQ(entries(window.configBox(i)),
                  (QStringList{"0: 0V ~ 5V", "1: -5V ~ +5V", "2: 0V ~ 10V", "3: -10V ~ +10V",
                               "255 : stop"}));
        EXPECT_EQ(window.configBox(i)->currentIndex(), -1);
        EXPECT_FALSE(window.configBox(i)->isEditable());
        const QPalette palette = window.valueLabel(i)->palette();
        EXPECT_EQ(palette.color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(palette.color(QPalette::WindowText), QColor(255, 255, 0));
        EXPECT_TRUE(window.valueLabel(i)->autoFillBackground());
    }
}

TEST_F(WindowLayout, TheMenuBarHoldsExitAloneAndNoButtonIsDefault) {
    const QList<QAction *> actions = window.menuBar()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.front()->text(), QStringLiteral("&Exit"));
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
    auto *frame = qobject_cast<QGroupBox *>(find("Frame1"));
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
