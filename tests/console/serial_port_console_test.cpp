// SPDX-License-Identifier: Apache-2.0
// The main window on real serial ports named by TESSAL_TEST_PORTS ("GOOD,SILENT":
// a simulated device that answers and one that is silent), through the
// platform's own serial code: on Windows, under Wine, COM ports linked to the
// simulated devices on the Linux side.  Skipped when the variable is not set.
#include "console/main_window.h"
#include "link/qt_serial_port.h"
#include "settings/settings_store.h"
#include "support/recording_messages.h"
#include "support/settle.h"

#include <QtWidgets>

#include <gtest/gtest.h>

namespace tessal::testing {
namespace {

TEST(SerialPortConsole, ReadsTheVersionAndTellsOfASilentDevice) {
    const QStringList ports =
        qEnvironmentVariable("TESSAL_TEST_PORTS").split(',', Qt::SkipEmptyParts);
    if (ports.size() != 2) {
        GTEST_SKIP() << "TESSAL_TEST_PORTS names no answering and silent device";
    }
    QTemporaryDir dir;
    RecordingMessages messages;
    settings::Settings settings;
    settings::SettingsStore store(dir.path().toStdString());
    device::Engine engine{[] { return std::make_unique<link::QtSerialPort>(); }};
    console::MainWindow window(settings, store, engine, messages);
    window.Form_Load();

    settings.com_devices[0] = ports[0].toStdString();
    window.ReadVersion->click();
    ASSERT_TRUE(settle(engine));
    EXPECT_EQ(window.SoftVersion->text(), "Tessal GPRS 2.4.1 (simulator)");
    EXPECT_EQ(messages.shown, QStringList{});

    settings.com_devices[0] = ports[1].toStdString();
    window.ReadVersion->click();
    ASSERT_TRUE(settle(engine, 20000));
    EXPECT_EQ(messages.shown, QStringList{"Uredjaj ne odgovara, proverite vezu i brzinu prenosa!"});
}

} // namespace
} // namespace tessal::testing
