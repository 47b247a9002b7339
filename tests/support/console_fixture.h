// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "console/main_window.h"
#include "link/frame.h"
#include "settings/settings_store.h"
#include "support/files.h"
#include "support/recording_messages.h"
#include "support/scripted_port.h"
#include "support/settle.h"
#include "support/user_folders.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace tessal::testing {

// A main window on a scripted port and a made-up machine (no serial devices
// unless a test lists some), with its settings file in a temporary directory
// and every message recorded.  The port runs on the device engine's thread,
// as in the program: after a click, settle() lets the operation end and its
// result arrive.
class ConsoleFixture : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // Writes the settings file before the window starts.
    void write_settings(const std::string& text) {
        std::ofstream(settings_path(), std::ios::binary) << text;
    }
    std::string settings_path() const { return dir_.path().toStdString() + "/rvt_ini.txt"; }
    std::string read_settings() const { return file_text(settings_path()); }

    void start() {
        store_ = std::make_unique<settings::SettingsStore>(
            dir_.path().toStdString(),
            [this](const std::string& text) { messages_.plain(QString::fromStdString(text)); });
        engine_ = std::make_unique<device::Engine>(
            [this] {
                auto port = std::make_unique<ScriptedPort>(&now_);
                port_ = port.get();
                return port;
            },
            nullptr, [this] { return now_; });
        window_ = std::make_unique<console::MainWindow>(settings_, *store_, *engine_, messages_);
        window_->set_port_enumerator(machine_);
        window_->Form_Load();
    }

    // Lets the running operation end and its result arrive.
    void settle() { ASSERT_TRUE(testing::settle(*engine_)) << "the operation did not end"; }

    // Clicks `start`, then runs `action` while the operation's next exchange
    // waits for its reply (the port holds the wait until then), then lets the
    // operation end.
    void while_waiting(const std::function<void()>& start, const std::function<void()>& action) {
        port_->hold = true;
        start();
        const bool waits = wait_until([this] { return port_->waiting.load(); });
        EXPECT_TRUE(waits) << "no exchange waited";
        action();
        port_->hold = false;
        settle();
    }

    // From now on each value of every write the window tells goes to
    // heard_ as "field before->asked state" (? for a value not read before).
    void hear_writes() {
        window_->transaction().on_report([this](const device::Report& report) {
            for (const device::Outcome& outcome : report.writes) {
                for (const device::ValueState& v : outcome.values) {
                    heard_.push_back(v.field + " " + v.before.value_or("?") + "->" + v.wanted +
                                     " " + device::state_name(v.state));
                }
            }
        });
    }

    // The request frames written, without the acknowledgements.
    std::vector<std::string> requests() const { return port_->requests(); }

    void reply_frame(const std::string& payload) { port_->arrive(link::build_frame(payload)); }
    void reply_ack() { port_->arrive("\x06"); }
    void reply_nak() { port_->arrive("\x15"); }

    QTemporaryDir dir_;
    std::int64_t now_ = 0;
    RecordingMessages messages_;
    MadeUpPorts machine_;
    settings::Settings settings_;
    std::unique_ptr<settings::SettingsStore> store_;
    ScriptedPort* port_ = nullptr;
    std::unique_ptr<device::Engine> engine_;
    std::unique_ptr<console::MainWindow> window_;
    std::vector<std::string> heard_;
};

} // namespace tessal::testing
