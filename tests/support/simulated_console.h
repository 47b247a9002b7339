#pragma once

#include "console/main_window.h"
#include "settings/settings_store.h"
#include "support/recording_messages.h"
#include "support/simulated_device.h"

#include <memory>

namespace tessal::testing {

// The main window on the simulated device, with its settings file in a
// temporary directory and every message recorded.  Port 1 is the device.
struct SimulatedConsole {
    SimulatedConsole() : store(dir.path().toStdString()) {}

    void start() {
        window = std::make_unique<console::MainWindow>(settings, store, device.link, messages);
        window->Form_Load();
        settings.com_devices[0] = device.simulator->link_path().string();
    }

    std::string directory() const { return dir.path().toStdString(); }

    SimulatedDevice device;
    QTemporaryDir dir;
    RecordingMessages messages;
    settings::Settings settings;
    settings::SettingsStore store;
    std::unique_ptr<console::MainWindow> window;
};

} // namespace tessal::testing
