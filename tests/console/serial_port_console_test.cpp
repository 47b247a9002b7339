// SPDX-License-Identifier: Apache-2.0
// The main window on real serial ports named by TESSAL_TEST_PORTS ("GOOD,SILENT":
// a simulated device that answers and one that is silent), through the
// platform's own serial code: on Windows, under Wine, COM ports linked to the
// simulated devices on the Linux side.  Skipped when the variable is not set.
#include "console/main_window.h"
#ifdef TESSAL_WITH_STATION
#include "console/station_window.h"
#endif
#include "link/qt_serial_port.h"
#include "settings/settings_store.h"
#include "support/recording_messages.h"
#include "support/settle.h"

#include <QtWidgets>

#include <gtest/gtest.h>

namespace tessal::testing {
namespace {

// The main window on the machine's serial ports, its settings in a folder of
// its own; the ports are TESSAL_TEST_PORTS's.
struct SerialConsole {
    SerialConsole() { window.Form_Load(); }
    const QStringList ports =
        qEnvironmentVariable("TESSAL_TEST_PORTS").split(',', Qt::SkipEmptyParts);
    QTemporaryDir dir;
    RecordingMessages messages;
    settings::Settings settings;
    settings::SettingsStore store{dir.path().toStdString()};
    device::Engine engine{[] { return std::make_unique<link::QtSerialPort>(); }};
    console::MainWindow window{settings, store, engine, messages};
};

TEST(SerialPortConsole, ReadsTheVersionAndTellsOfASilentDevice) {
    SerialConsole console;
    auto& [ports, dir, messages, settings, store, engine, window] = console;
    if (ports.size() != 2) {
        GTEST_SKIP() << "TESSAL_TEST_PORTS names no answering and silent device";
    }

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

#ifdef TESSAL_WITH_STATION
// The station's window on the answering device's port, named as the machine
// names it: the device is found, readied and recorded with a PASS line, and
// "Zaustavi" ends the run.
TEST(SerialPortConsole, StationWindowRecordsTheDeviceOnANamedPort) {
    SerialConsole console;
    auto& [ports, dir, messages, settings, store, engine, window] = console;
    if (ports.isEmpty()) {
        GTEST_SKIP() << "TESSAL_TEST_PORTS names no answering device";
    }
    // A Serbian letter in the name: Windows opens it only by its UTF-16 name.
    const QString profile = dir.filePath(QStringLiteral("kasa-č.json"));
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"schema": 1, "ftp": {"user": "servis"}})");
    file.close();

    console::StationWindow station(window.transaction(), settings);
    station.set_register(dir.filePath("register.sqlite"));
    station.ProfileFile->setText(profile);
    station.Ports->setText(ports[0]);
    station.Start->click();
    EXPECT_TRUE(station.running());
    ASSERT_TRUE(wait_until([&] { return !station.Devices->toPlainText().isEmpty(); }, 30000));
    EXPECT_EQ(station.Status->text(), "PASS");
    EXPECT_TRUE(station.Devices->toPlainText().contains(" PASS 356871044629016 " + ports[0]))
        << station.Devices->toPlainText().toStdString();
    station.Stop->click();
    ASSERT_TRUE(settle(engine, 20000));
    EXPECT_FALSE(station.running());
    EXPECT_TRUE(station.Start->isEnabled());
    EXPECT_EQ(messages.shown, QStringList{});
}
#endif

} // namespace
} // namespace tessal::testing
