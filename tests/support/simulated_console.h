// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "console/main_window.h"
#include "settings/settings_store.h"
#include "support/recording_messages.h"
#include "support/settle.h"
#include "support/simulated_device.h"
#include "support/user_folders.h"

#include <memory>

namespace tessal::testing {

// The main window on the simulated device, with its settings file in a
// temporary directory and every message recorded.  Port 1 is the device,
// reached through the device engine's thread as in the program.
struct SimulatedConsole {
    SimulatedConsole() : store(dir.path().toStdString()) {}

    void start() {
        window = std::make_unique<console::MainWindow>(settings, store, engine, messages);
        window->Form_Load();
        settings.com_devices[0] = device.simulator->link_path().string();
    }

    std::string directory() const { return dir.path().toStdString(); }

    // Lets the running operation end and its result arrive.
    bool settle() { return testing::settle(engine); }
    bool port_open() {
        bool open = false;
        engine.on_device([&open](link::DeviceLink& link) { open = link.is_open(); });
        return open;
    }

    SimulatedDevice device;
    QTemporaryDir dir;
    RecordingMessages messages;
    settings::Settings settings;
    settings::SettingsStore store;
    device::Engine engine{[] { return std::make_unique<link::QtSerialPort>(); }};
    std::unique_ptr<console::MainWindow> window;
};

} // namespace tessal::testing
