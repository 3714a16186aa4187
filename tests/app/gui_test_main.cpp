// Entry of the GUI tests: one QApplication for every test, on the offscreen
// platform unless the environment names another (the screenshot run uses xcb),
// with the clock on Moscow time whatever the machine's.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "Europe/Moscow");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
