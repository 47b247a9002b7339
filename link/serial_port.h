// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <optional>
#include <string>

namespace tessal::link {

// Why the port could not be opened or configured.
struct PortFault {
    enum class Kind {
        None,
        NoDevice,         // the device does not exist
        PermissionDenied, // the account may not open it
        InUse,            // another program holds it
        SpeedRefused,     // the port refused the speed
        Other,            // anything else; `system_text` says what
    };
    Kind kind = Kind::None;
    // The group that owns the device, for a permission failure, when known.
    std::string group;
    // The system's own description of the failure.
    std::string system_text;
};

// The serial-port operations the console uses, and nothing more.  Every
// operation reports failure by its return value; none throws.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Chooses the device that the next open() opens.
    virtual bool select(const std::string& device) = 0;
    virtual bool is_open() const = 0;
    virtual bool open() = 0;
    // Applies a settings text such as "38400,N,8,1".
    virtual bool apply_settings(const std::string& settings) = 0;
    // Writes every byte and waits until they have left for the line; the
    // events of the port's thread keep running meanwhile.
    virtual bool write(const std::string& bytes) = 0;
    // Waits until bytes arrive, wake() is called or timeout_ms passes, with
    // the events of the port's thread running meanwhile; nothing is polled.  Returns
    // false only when the port failed; a quiet line is not a failure.
    virtual bool wait_for_input(int timeout_ms) = 0;
    // Ends a running write or wait_for_input early, and every later one at
    // once, until rearm().  May be called from any thread.
    virtual void wake() = 0;
    // Lets writes and waits run their course again after wake().  Called on
    // the port's own thread while nothing waits.
    virtual void rearm() = 0;
    // Every byte received so far, or nothing when the port failed.
    virtual std::optional<std::string> read_all() = 0;
    virtual bool discard_input() = 0;
    virtual bool close() = 0;

    // Why the last select, open or apply_settings failed.
    virtual PortFault last_fault() const { return {PortFault::Kind::Other, {}, {}}; }
};

} // namespace tessal::link
