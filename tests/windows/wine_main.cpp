// GoogleTest entry for the checks run under Wine: on the platform Windows has, a real window in
// Wine's X server, where the Linux tests' entry would ask for the offscreen one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
