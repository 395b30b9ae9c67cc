// The recorder's tests: its plots are drawn with text, which needs Qt Gui (on the offscreen
// platform).
#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
