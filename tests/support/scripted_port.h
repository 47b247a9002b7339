#pragma once

#include "link/serial_port.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessal::testing {

// A serial port that plays a script.  Each wait for input delivers the next
// scripted chunk into the input queue; when the script is exhausted the wait
// lets the fake clock run for the whole wait instead.  Everything written is
// recorded.
class ScriptedPort : public link::SerialPort {
  public:
    // One scripted arrival: bytes, or a port failure at that point.
    struct Chunk {
        std::string bytes;
        bool fail = false;
    };

    explicit ScriptedPort(std::int64_t* clock_ms = nullptr) : clock_ms_(clock_ms) {}

    void arrive(std::string bytes) { script.push_back({std::move(bytes), false}); }
    void fail_next_read() { script.push_back({{}, true}); }

    bool select(const std::string& device) override {
        selected.push_back(device);
        return !fail_select;
    }
    bool is_open() const override { return open_; }
    bool open() override {
        ++open_calls;
        if (fail_open) {
            return false;
        }
        open_ = true;
        return true;
    }
    bool apply_settings(const std::string& settings) override {
        applied.push_back(settings);
        return !fail_settings;
    }
    bool write(const std::string& bytes) override {
        if (writes_left == 0) {
            return false;
        }
        if (writes_left > 0) {
            --writes_left;
        }
        writes.push_back(bytes);
        if (on_write) {
            on_write(bytes);
        }
        return true;
    }
    bool wait_for_input(int timeout_ms) override {
        ++waits;
        const int wakes_before = wakes;
        // Like the real wait, events run while it lasts.
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents();
        }
        if (on_wait) {
            std::function<void()> hook = std::move(on_wait);
            on_wait = {};
            hook();
        }
        if (wakes != wakes_before) {
            return true; // cut short by an event that ran inside the wait
        }
        if (!script.empty()) {
            if (clock_ms_ != nullptr) {
                *clock_ms_ += std::min(chunk_delay_ms, timeout_ms);
            }
            Chunk chunk = std::move(script.front());
            script.pop_front();
            if (chunk.fail) {
                return false;
            }
            input_queue += chunk.bytes;
            return true;
        }
        if (clock_ms_ != nullptr) {
            *clock_ms_ += timeout_ms;
        }
        return true;
    }
    void wake() override { ++wakes; }
    std::optional<std::string> read_all() override {
        std::string bytes;
        bytes.swap(input_queue);
        return bytes;
    }
    bool discard_input() override {
        ++discards;
        input_queue.clear();
        return true;
    }
    link::PortFault last_fault() const override { return fault; }
    bool close() override {
        ++close_calls;
        if (fail_close) {
            return false;
        }
        open_ = false;
        return true;
    }

    // Script and failure switches.
    std::deque<Chunk> script;
    std::string input_queue;
    bool fail_select = false;
    bool fail_open = false;
    bool fail_settings = false;
    bool fail_close = false;
    // What a failed select, open or apply_settings gives as its cause.
    link::PortFault fault{link::PortFault::Kind::Other, {}, {}};
    int writes_left = -1;   // writes that succeed before one fails; -1 = all
    int chunk_delay_ms = 0; // time each scripted chunk takes to arrive
    std::function<void(const std::string&)> on_write;
    // Runs once, inside the next wait for input (while an exchange waits).
    std::function<void()> on_wait;

    // What the link did.
    std::vector<std::string> selected;
    std::vector<std::string> applied;
    std::vector<std::string> writes;
    int open_calls = 0;
    int close_calls = 0;
    int discards = 0;
    int waits = 0;
    int wakes = 0;

    void force_open() { open_ = true; }

  private:
    std::int64_t* clock_ms_;
    bool open_ = false;
};

} // namespace tessal::testing
