#pragma once

#include <optional>
#include <string>

namespace tessal::link {

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
    virtual bool write(const std::string& bytes) = 0;
    // Waits at most timeout_ms for bytes to arrive.  Returns false only when
    // the port failed; a quiet line is not a failure.
    virtual bool wait_for_input(int timeout_ms) = 0;
    // Every byte received so far, or nothing when the port failed.
    virtual std::optional<std::string> read_all() = 0;
    virtual bool discard_input() = 0;
    virtual bool close() = 0;
    // Why the last operation failed, as the system tells it; may be empty.
    virtual std::string error_text() const { return {}; }
};

} // namespace tessal::link
