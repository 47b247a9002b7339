// Test entry point: a Qt application object exists for the whole run, so
// serial ports, timers and widgets behave as they do in the program.
#include <gtest/gtest.h>

#include <QtGlobal>
#if defined(TESSAL_TESTS_WITH_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests always run headless, also when listed by the build.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
