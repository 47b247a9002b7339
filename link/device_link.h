// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "port_map.h"
#include "serial_port.h"
#include "trace.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tessal::link {

// Values shared by every exchange.  The main window sets them at start; the
// link test lowers the reply time-out for its own exchange.
struct LinkConstants {
    char frame_start = 0x02;
    char frame_end = 0x03;
    char ack = 0x06;
    char nak = 0x15;
    std::int32_t reply_timeout_ms = 5000;
};

// Why the last init_port gave "PO": the device tried (empty when the number
// stands for none), the speed asked for and the port's own reason.
struct PortFailure {
    std::string device;
    std::int32_t speed = 0;
    PortFault fault;
};

// The device link: the serial port, port selection by number and the
// request/reply exchange.  It knows nothing of windows.  The port operations
// run on one thread, the one the port belongs to; cancel() and the port list
// (set_port_enumerator, refresh_ports) may be used from any thread.
class DeviceLink {
  public:
    // Monotonic milliseconds; only differences are used.
    using Clock = std::function<std::int64_t()>;

    explicit DeviceLink(std::unique_ptr<SerialPort> port, Clock clock = {});

    void set_port_map(const PortMap& map) { port_map_ = map; }
    // With an enumerator, the numbers that the port map leaves empty reach
    // the machine's own serial devices (see map_ports).  They are read when
    // first needed, by refresh_ports(), and again when the device of a
    // number has gone.  Not owned; nullptr turns enumeration off.
    void set_port_enumerator(const PortEnumerator* ports);
    // Reads the machine's serial devices anew and gives them.
    std::vector<PortInfo> refresh_ports();

    // Records the port operations and the bytes of every exchange into
    // `trace`; nullptr records nothing.
    void set_trace(Trace* trace) { tap_.set(trace); }

    LinkConstants& constants() { return constants_; }
    const LinkConstants& constants() const { return constants_; }

    // Selects, opens and configures the port: "OK" or "PO".
    std::string init_port(std::uint8_t& port_number, std::int32_t& speed);
    // The device the last successful init_port opened.
    const std::string& opened_device() const { return opened_device_; }
    // Why the last init_port failed; empty after one that succeeded.
    const std::optional<PortFailure>& last_port_failure() const { return last_port_failure_; }
    // Closes the port if it is open: empty text, or "PO" when closing failed.
    std::string close_port();
    // Sends the command text in one frame and waits for the reply: a payload
    // or one of "OK", "NOK", "TO", "CS", "ERja".  With `secret_from`, the
    // command's bytes from that position on (a password, a PIN) and every
    // byte of the reply are written into the trace as asterisks.
    std::string get_frame(const std::string& command,
                          std::optional<std::size_t> secret_from = std::nullopt);

    // Bytes collected by the last exchange.
    const std::string& receive_buffer() const { return receive_buffer_; }

    bool is_open() const { return port_->is_open(); }

    // Stops all traffic from any thread: a waiting exchange returns "ERja" at
    // once without touching the port again, and until clear_cancel()
    // init_port gives "PO" and get_frame "ERja" without sending anything.
    void cancel();
    bool cancelled() const { return cancelled_; }
    // Lets traffic run again; called while no port operation runs.
    void clear_cancel();

    // The settings text for a speed: decimal speed followed by ",N,8,1".
    static std::string settings_text(std::int32_t speed);

  private:
    // The device of a port number; `fresh` reads the machine's ports anew.
    std::string device_of(std::uint8_t port_number, bool fresh);
    // Selects, opens and configures `device`; on failure records why.
    bool open_device(const std::string& device, std::int32_t speed);
    std::string finish_frame();
    std::optional<std::string> read_and_judge(std::int64_t start);
    // What the trace shows of bytes sent and received during a secret
    // exchange.
    std::string shown_sent(const std::string& frame) const;
    std::string shown_received(const std::string& bytes) const;
    // Records the exchange's outcome and gives it.
    std::string outcome(std::string_view status_word) const;

    std::unique_ptr<SerialPort> port_;
    Clock clock_;
    PortMap port_map_;
    const PortEnumerator* ports_ = nullptr;
    std::optional<std::vector<PortInfo>> found_;
    mutable std::mutex ports_mutex_; // guards ports_ and found_
    std::optional<PortFailure> last_port_failure_;
    std::string opened_device_;
    LinkConstants constants_;
    std::string receive_buffer_;
    std::optional<std::size_t> secret_from_; // set during a secret exchange
    std::atomic<bool> cancelled_{false};
    TraceTap tap_;
};

} // namespace tessal::link
