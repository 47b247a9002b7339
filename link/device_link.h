#pragma once

#include "port_map.h"
#include "serial_port.h"
#include "trace.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// The device link: the serial port, port selection by number and the
// request/reply exchange.  Single-threaded; it knows nothing of windows.
class DeviceLink {
  public:
    // Monotonic milliseconds; only differences are used.
    using Clock = std::function<std::int64_t()>;

    // Longest single wait for bytes inside one pass of the reply wait.
    static constexpr int kPollSliceMs = 5;

    explicit DeviceLink(std::unique_ptr<SerialPort> port, Clock clock = {});

    void set_port_map(const PortMap& map) { port_map_ = map; }
    const PortMap& port_map() const { return port_map_; }

    // Called on every pass of the reply wait so that pending UI events run.
    void set_event_pump(std::function<void()> pump) { event_pump_ = std::move(pump); }

    // Records the port operations and the bytes of every exchange into
    // `trace`; nullptr records nothing.
    void set_trace(Trace* trace) { tap_.set(trace); }

    LinkConstants& constants() { return constants_; }
    const LinkConstants& constants() const { return constants_; }

    // Selects, opens and configures the port: "OK" or "PO".
    std::string init_port(std::uint8_t& port_number, std::int32_t& speed);
    // Closes the port if it is open: empty text, or "PO" when closing failed.
    std::string close_port();
    // Sends the command text in one frame and waits for the reply: a payload
    // or one of "OK", "NOK", "TO", "CS", "ERja".
    std::string get_frame(const std::string& command);

    // Bytes collected by the last exchange.
    const std::string& receive_buffer() const { return receive_buffer_; }

    bool exchange_running() const { return exchange_running_; }
    bool is_open() const { return port_->is_open(); }

    // Cuts a waiting exchange short: it returns "ERja" at its next pass
    // without touching the port again.  No effect when nothing waits.
    void cancel_wait();

    // The settings text for a speed: decimal speed followed by ",N,8,1".
    static std::string settings_text(std::int32_t speed);

  private:
    std::string finish_frame();

    std::unique_ptr<SerialPort> port_;
    Clock clock_;
    PortMap port_map_;
    std::function<void()> event_pump_;
    LinkConstants constants_;
    std::string receive_buffer_;
    bool exchange_running_ = false;
    bool cancel_requested_ = false;
    TraceTap tap_;
};

} // namespace tessal::link
