// Checks a screenshot of the running program (taken by scripts/screenshot.sh in a real X server)
// for what a person sees: the eight readings yellow on black at their places, each showing the
// voltage text it should, and the frame title, row names and buttons there. The expected picture
// is the same window drawn here, in an X server of the same kind, with the expected captions.
//   QV58163_SCREENSHOT   the PNG to check
//   QV58163_CAPTIONS     the eight captions it should show, comma-separated
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

bool isYellow(QColor c) {
    return c.red() > 200 && c.green() > 200 && c.blue() < 80;
}

// How many pixels of `region` differ between the two pictures (by more than a rounding step).
int differences(const QImage &a, const QImage &b, const QRect &region) {
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            count +=
                qAbs(p.red() - q.red()) + qAbs(p.green() - q.green()) + qAbs(p.blue() - q.blue()) >
                24;
        }
    }
    return count;
}

class Screenshot : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(rig.start());
        ASSERT_TRUE(shot.load(qEnvironmentVariable("QV58163_SCREENSHOT")))
            << "cannot read QV58163_SCREENSHOT";
        shot = shot.convertToFormat(QImage::Format_RGB32);
        captions = qEnvironmentVariable("QV58163_CAPTIONS").split(',');
        ASSERT_EQ(captions.size(), card::channelCount);

        rig.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window));
        initial = draw();
        for (int i = 0; i < card::channelCount; ++i) {
            rig.window.advalue(i).setCaption(captions[i]);
        }
        // Focus moved to START from the keyboard, as scripts/screenshot.sh moves it.
        for (int k = 0; k < 4; ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        ASSERT_EQ(QApplication::focusWidget(), rig.window.startButton());
        expected = draw();
        // Kept beside the screenshot, for a person to compare when a check fails.
        expected.save(qEnvironmentVariable("QV58163_SCREENSHOT").replace(".png", "-expected.png"));
        origin = QPoint(0, shot.height() - rig.window.clientArea()->height());
    }

    QImage draw() { return rig.window.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QRect inWindow(const QWidget *widget) const {
        return QRect(widget->mapTo(&rig.window, QPoint(0, 0)), widget->size());
    }

    // The simulated card with the settings the screenshot was taken with.
    PanelRig rig;
    QImage shot;
    QImage initial;
    QImage expected;
    QStringList captions;
    QPoint origin;  // the client area's top left in the screenshot
};

TEST_F(Screenshot, IsTheWholeWindow) {
    EXPECT_EQ(shot.size(), rig.window.size());
    EXPECT_EQ(rig.window.clientArea()->mapTo(&rig.window, QPoint(0, 0)), origin);
}

TEST_F(Screenshot, ReadingsAreYellowOnBlackAndShowTheirVoltage) {
    for (int i = 0; i < card::channelCount; ++i) {
        SCOPED_TRACE(captions[i].toStdString());
        const QRect label = inWindow(rig.window.valueLabel(i));

        int black = 0;
        int yellow = 0;
        for (int y = label.top(); y <= label.bottom(); ++y) {
            for (int x = label.left(); x <= label.right(); ++x) {
                black += shot.pixelColor(x, y) == Qt::black;
                yellow += isYellow(shot.pixelColor(x, y));
            }
        }
        const int area = label.width() * label.height();
        EXPECT_GT(black, area / 2);
        EXPECT_GT(yellow, area / 20);
        // The text is the expected reading, and no longer the initial caption.
        EXPECT_LE(differences(shot, expected, label), area / 50);
        EXPECT_GT(differences(shot, initial, label), area / 20);
    }
}

TEST_F(Screenshot, FrameTitleRowNamesAndButtonsAreThere) {
    std::vector<std::pair<std::string, QRect>> regions = {
        {"frame title",
         QRect(inWindow(rig.window.frame()).topLeft(), QSize(rig.window.frame()->width(), 26))},
        {"CardID", inWindow(rig.window.cardLabel())},
        {"AD Mode", inWindow(rig.window.modeLabel())},
        {"START", inWindow(rig.window.startButton())},
        {"STOP", inWindow(rig.window.stopButton())},
        {"exit button", inWindow(rig.window.exitButton())},
    };
    for (int i = 0; i < card::channelCount; ++i) {
        regions.emplace_back("CH0" + std::to_string(i), inWindow(rig.window.channelLabel(i)));
    }
    const QColor background = shot.pixelColor(origin + QPoint(2, 2));
    for (const auto &[name, region] : regions) {
        SCOPED_TRACE(name);
        const int area = region.width() * region.height();
        EXPECT_LE(differences(shot, expected, region), area / 50);
        int ink = 0;  // something is drawn there, not just the window's background
        for (int y = region.top(); y <= region.bottom(); ++y) {
            for (int x = region.left(); x <= region.right(); ++x) {
                ink += shot.pixelColor(x, y) != background;
            }
        }
        EXPECT_GT(ink, area / 20);
    }
}

TEST_F(Screenshot, MatchesTheWindowDrawnWithTheExpectedReadings) {
    ASSERT_EQ(shot.size(), expected.size());
    EXPECT_LE(differences(shot, expected, shot.rect()), shot.width() * shot.height() / 100);
}

}  // namespace
}  // namespace qv58163::test
