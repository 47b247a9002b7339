// SPDX-License-Identifier: Apache-2.0
// Test entry point: a Qt application object exists for the whole run, so
// serial ports, timers and widgets behave as they do in the program.
#include <gtest/gtest.h>

#ifdef TESSAL_WITH_STATION
#include "register/register.h"
#endif

#if defined(TESSAL_TESTS_WITH_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // headless unless a display is asked for
    }
    TestApplication app(argc, argv);
#ifdef TESSAL_WITH_STATION
    // As the console does: the register's SQLite driver is loaded before the
    // tests make and end threads.
    tessal::reg::load_drivers({});
#endif
    return RUN_ALL_TESTS();
}
