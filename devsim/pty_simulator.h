// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device.h"
#include "faults.h"
#include "link/trace.h"
#include "wire.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessal::devsim {

// Runs a Device on a pseudo-terminal in a background thread.  The console
// opens `link_path`, a symbolic link to the terminal's slave device.
//
// The simulator keeps a descriptor of its own open on the slave (and never
// reads from it), so the terminal stays configured and the master sees no
// hang-up while the console has the port closed.  When a fault hangs up the
// line, a fresh terminal is made and the link re-pointed to it, so the next
// open works.
//
// Requests are answered one at a time.  The part of a reply still held back
// (delay, pauses, line pacing) when the console starts a new request is
// dropped: the console has given up on it, and a late frame would only be
// taken for the answer to the new request.
class PtySimulator {
  public:
    explicit PtySimulator(std::filesystem::path link_path);
    ~PtySimulator(); // stops and removes the link
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Makes the terminal (raw mode on the slave), links `link_path` to the
    // slave device and starts answering.  False when that failed (see
    // error()) or when `link_path` is something other than a symbolic link.
    bool start();
    // Stops answering, closes the terminal and removes the link.
    void stop();
    bool running() const { return thread_.joinable(); }

    const std::filesystem::path& link_path() const { return link_path_; }
    // The slave device the link points to now.
    std::string device_path() const;
    // Why start() or the last re-making of the terminal failed.
    std::string error() const;

    void set_faults(const Faults& faults);
    Faults faults() const;
    void set_command_faults(std::vector<CommandFault> rules);

    // Runs f(Device&) under the lock that the answering thread takes.
    template <class F> auto with_device(F&& f) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(f)(device_);
    }

    // Command texts received with a good checksum, in order.
    std::vector<std::string> requests() const;
    // Waits until at least `count` requests were received; false on time-out.
    bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const;
    int acks_received() const { return counter(acks_); }
    int naks_received() const { return counter(naks_); }
    int bad_checksums() const { return counter(bad_checksums_); }
    int hang_ups() const { return counter(hang_ups_); }
    // Forgets the requests and zeroes the counters.
    void clear_log();

    // steady_clock time (ns since its epoch) at which the last byte of the
    // last reply was written (taken right before the write that carries it,
    // so it is set by the time the console can read that byte); 0 before
    // the first reply.
    std::int64_t last_reply_byte_ns() const { return last_reply_byte_ns_.load(); }

    // Receives one line per request, reply and line event, from the
    // answering thread.  Set it before start().
    void set_trace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

    // Receives the line's bytes as the console's trace shows them, one
    // formatted record per read and per write (">" from the console, "<" to
    // it, "-" a line event), from the answering thread.  Set it before
    // start().
    void set_wire_trace(std::function<void(const std::string&)> trace) {
        wire_trace_ = std::move(trace);
    }

  private:
    using Clock = std::chrono::steady_clock;

    int counter(const int& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }

    // The pseudo-terminal (pty_simulator.cpp).
    bool open_line();
    void close_line();
    void hang_up();
    // The answering thread (pty_reader.cpp).
    void run();
    void consume(std::string_view bytes, Clock::time_point arrived);
    // The request handling with its faults (pty_requests.cpp).
    void take(const RequestReader::Event& event, Clock::time_point arrived);
    // The faults for one command; the caller holds the lock.
    const Faults& faults_for(std::string_view command) const;
    // The reply's pacing (pty_pacing.cpp).
    void answer(const Reply& reply, const Faults& faults, Clock::time_point not_before);
    // When the current request, `wire_bytes` long, has crossed the line at
    // `line_speed` (now when the line is not paced).
    Clock::time_point request_crossed(std::size_t wire_bytes, int line_speed) const;
    // Waits, cut short by stop(); false when stopping.  With `watch_line`,
    // what arrives meanwhile is kept for later, and a new request's frame
    // start ends the wait too (false).
    bool pause_until(Clock::time_point deadline, bool watch_line = false);
    // `last`: these bytes end the reply, and the reply time is stamped.
    bool write_paced(std::string_view bytes, int line_speed, Clock::time_point& line_free,
                     bool last);
    bool write_all(std::string_view bytes, bool last);
    // What the simulator shows of itself (pty_inspection.cpp).
    void set_error(std::string text);
    void trace(const std::string& line) const;
    void wire(link::TraceRecord::Kind kind, std::string_view data) const;

    const std::filesystem::path link_path_;

    mutable std::mutex mutex_;
    mutable std::condition_variable request_seen_;
    Device device_;
    Faults faults_;
    std::vector<CommandFault> command_faults_;
    std::vector<std::string> requests_;
    int acks_ = 0;
    int naks_ = 0;
    int bad_checksums_ = 0;
    int hang_ups_ = 0;
    std::string device_path_;
    std::string error_;

    std::atomic<std::int64_t> last_reply_byte_ns_{0};
    std::function<void(const std::string&)> trace_;
    std::function<void(const std::string&)> wire_trace_;

    // Owned by the answering thread once it runs.
    int master_ = -1;
    int slave_ = -1;
    int wake_read_ = -1;
    int wake_write_ = -1;
    bool linked_ = false;          // link_path_ is our symbolic link
    unsigned line_generation_ = 0; // counts the terminals made
    RequestReader reader_;
    std::string pending_; // read while a reply was going out, not yet taken
    Clock::time_point pending_arrived_;
    Clock::time_point request_started_; // when the frame start of the current request came
    bool answered_early_ = false;       // the current request got its reply at its start
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace tessal::devsim
