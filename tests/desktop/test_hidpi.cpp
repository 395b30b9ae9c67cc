// The window at the scale factor this process was started with (QT_SCALE_FACTOR, 2 in its CTest
// test): its layout in logical pixels is the same as at scale 1 (taken from a child process started
// at scale 1), and it is exactly that many times larger in device pixels, drawn there in full.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QWindow>
#include <iostream>

#include "PanelRig.hpp"

namespace qv58163::test {
namespace {

const char layoutArgument[] = "--print-layout";

// One line per visible widget: its name and class, and its rectangle in the window; the window's
// size first.
QStringList layoutOf(const ui::QV58163_Main &window) {
    QStringList lines = {QStringLiteral("window %1x%2").arg(window.width()).arg(window.height())};
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        if (!widget->isVisible()) {
            continue;
        }
        const QPoint at = widget->mapTo(&window, QPoint(0, 0));
        lines << QStringLiteral("%1 %2 %3,%4 %5x%6")
                     .arg(widget->objectName(),
                          QString::fromLatin1(widget->metaObject()->className()))
                     .arg(at.x())
                     .arg(at.y())
                     .arg(widget->width())
                     .arg(widget->height());
    }
    return lines;
}

double scaleFactor() {
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? factor : 1.0;
}

TEST(HiDpi, TheLayoutIsTheSameAsAtScaleOne) {
    PanelRig rig;
    ASSERT_FALSE(rig.start());
    QProcess unscaled;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1"));
    unscaled.setProcessEnvironment(env);
    unscaled.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(layoutArgument)});
    ASSERT_TRUE(unscaled.waitForFinished(60000));
    ASSERT_EQ(unscaled.exitCode(), 0) << unscaled.readAllStandardError().toStdString();
    const QStringList atScaleOne =
        QString::fromUtf8(unscaled.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_GT(atScaleOne.size(), 30);
    EXPECT_EQ(layoutOf(rig.window), atScaleOne);
}

TEST(HiDpi, TheWindowIsScaledExactlyInDevicePixels) {
    const double factor = scaleFactor();
    PanelRig rig;
    ASSERT_FALSE(rig.start());
    ui::QV58163_Main &window = rig.window;
    ASSERT_NE(window.windowHandle(), nullptr);
    EXPECT_EQ(window.windowHandle()->devicePixelRatio(), factor);

    const QImage picture = window.grab().toImage();
    EXPECT_EQ(picture.size(), window.size() * factor);

    // Each value label, found at its logical place times the factor, is black with yellow text
    // drawn at the device resolution (more yellow pixels than the logical area could hold).
    for (int i = 0; i < card::channelCount; ++i) {
        window.advalue(i).setCaption(QStringLiteral("-8.888V"));
    }
    const QImage shown = window.grab().toImage();
    for (int i = 0; i < card::channelCount; ++i) {
        QLabel *label = window.valueLabel(i);
        const QRect logical(label->mapTo(&window, QPoint(0, 0)), label->size());
        const QRect device(logical.topLeft() * factor, logical.size() * factor);
        int black = 0;
        int yellow = 0;
        for (int y = device.top(); y <= device.bottom(); ++y) {
            for (int x = device.left(); x <= device.right(); ++x) {
                const QColor c = shown.pixelColor(x, y);
                black += c == Qt::black;
                yellow += c.red() > 200 && c.green() > 200 && c.blue() < 80;
            }
        }
        const int area = device.width() * device.height();
        EXPECT_GT(black, area / 2) << "CH0" << i;
        EXPECT_GT(yellow, area / 20) << "CH0" << i;
        // The rows above and below the label are not black: it sits exactly there.
        EXPECT_NE(shown.pixelColor(device.center().x(), device.top() - 1), QColor(Qt::black));
        EXPECT_NE(shown.pixelColor(device.center().x(), device.bottom() + 1), QColor(Qt::black));
    }
}

}  // namespace
}  // namespace qv58163::test

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], qv58163::test::layoutArgument) == 0) {
        qv58163::test::PanelRig rig;
        rig.start();
        for (const QString &line : qv58163::test::layoutOf(rig.window)) {
            std::cout << line.toStdString() << '\n';
        }
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
