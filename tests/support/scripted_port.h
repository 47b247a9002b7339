// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "link/port_map.h"
#include "link/serial_port.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tessal::testing {

// A serial port that plays a script.  Each wait for input delivers the next
// scripted chunk into the input queue; when the script is exhausted the wait
// lets the fake clock run for the whole wait instead.  Everything written is
// recorded.  With `hold` set a wait first stays put (really waiting) until
// `hold` is cleared or the port is woken, so that a test can act while an
// exchange waits; `waiting` says when it does.  The port may run on the
// device engine's thread: the test reads what it recorded once the engine
// has delivered the operation's result.
class ScriptedPort : public link::SerialPort {
  public:
    explicit ScriptedPort(std::int64_t* clock_ms = nullptr) : clock_ms_(clock_ms) {}

    void arrive(std::string bytes) { script.push_back(std::move(bytes)); }
    void fail_next_read() { script.push_back(std::nullopt); }

    bool select(const std::string& device) override {
        selected.push_back(device);
        return true;
    }
    bool is_open() const override { return open_; }
    bool open() override {
        ++open_calls;
        if (std::find(absent.begin(), absent.end(), selected.back()) != absent.end()) {
            fault = {link::PortFault::Kind::NoDevice, {}, {}};
            return false;
        }
        open_ = open_ || !fail_open;
        return !fail_open;
    }
    bool apply_settings(const std::string& settings) override {
        applied.push_back(settings);
        return !fail_settings;
    }
    bool write(const std::string& bytes) override {
        if (woken || writes_left == 0) {
            return false;
        }
        writes_left -= writes_left > 0 ? 1 : 0;
        writes.push_back(bytes);
        if (on_write) {
            on_write(bytes);
        }
        return true;
    }
    bool wait_for_input(int timeout_ms) override {
        if (hold) {
            waiting = true;
            while (hold && !woken) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            waiting = false;
        }
        if (woken) {
            return true; // cut short from outside
        }
        const int wakes_before = wakes;
        // Like the real wait, events run while it lasts.
        QCoreApplication::processEvents();
        if (std::function<void()> hook = std::exchange(on_wait, {})) {
            hook();
        }
        if (wakes != wakes_before) {
            return true; // cut short by an event that ran inside the wait
        }
        const bool chunk = !script.empty();
        if (clock_ms_ != nullptr) {
            *clock_ms_ += chunk ? std::min(chunk_delay_ms, timeout_ms) : timeout_ms;
        }
        if (chunk) {
            const std::optional<std::string> next = script.front();
            script.pop_front();
            input_queue += next.value_or("");
            return next.has_value();
        }
        return true;
    }
    void wake() override {
        ++wakes;
        woken = true;
    }
    void rearm() override { woken = false; }
    std::optional<std::string> read_all() override { return std::exchange(input_queue, {}); }
    bool discard_input() override {
        input_queue.clear();
        return true;
    }
    link::PortFault last_fault() const override { return fault; }
    bool close() override {
        ++close_calls;
        open_ = open_ && fail_close;
        return !fail_close;
    }

    // Script and failure switches.  Each scripted arrival is bytes, or a
    // port failure at that point (no value).
    std::deque<std::optional<std::string>> script;
    std::string input_queue;
    bool fail_open = false;
    bool fail_settings = false;
    bool fail_close = false;
    // What a failed open or apply_settings gives as its cause.
    link::PortFault fault{link::PortFault::Kind::Other, {}, {}};
    std::vector<std::string> absent; // devices that are not there
    int writes_left = -1;            // writes that succeed before one fails; -1 = all
    int chunk_delay_ms = 0;          // time each scripted chunk takes to arrive
    std::function<void(const std::string&)> on_write;
    // Runs once, inside the next wait for input (while an exchange waits).
    std::function<void()> on_wait;

    // What the link did.
    std::vector<std::string> selected;
    std::vector<std::string> applied;
    std::vector<std::string> writes;
    int open_calls = 0;
    int close_calls = 0;
    std::atomic<int> wakes{0};
    std::atomic<bool> woken{false};
    std::atomic<bool> hold{false};
    std::atomic<bool> waiting{false};

    // The request bodies written, without the ACKs and NAKs.
    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        for (const std::string& bytes : writes) {
            if (bytes.size() > 1) {
                out.push_back(bytes.substr(1, bytes.size() - 4));
            }
        }
        return out;
    }

  private:
    std::int64_t* clock_ms_;
    bool open_ = false;
};

// A machine with exactly the serial devices a test lists or plugs in (also
// while another thread looks), and the ports that open without being listed,
// as Windows may have a COM name.
struct MadeUpPorts : link::PortEnumerator {
    std::vector<link::PortInfo> ports() const override {
        const std::lock_guard lock(mutex);
        ++reads;
        return list;
    }
    bool exists(const std::string& device) const override {
        {
            const std::lock_guard lock(mutex);
            if (std::find(hidden.begin(), hidden.end(), device) != hidden.end()) {
                return true;
            }
        }
        return PortEnumerator::exists(device);
    }
    void plug(std::string device, bool adapter = true) {
        const std::lock_guard lock(mutex);
        list.push_back({std::move(device), "USB serial", "", adapter});
    }
    std::vector<link::PortInfo> list;
    std::vector<std::string> hidden;
    mutable std::atomic<int> reads{0}; // how often the machine was asked
    mutable std::mutex mutex;
};

} // namespace tessal::testing
