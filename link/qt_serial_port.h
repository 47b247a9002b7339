#pragma once

#include "serial_port.h"

#include <QSerialPort>

namespace tessal::link {

// The serial port on QSerialPort: 8-bit bytes both ways, no flow control.
// Every port error counts as a failure of the operation that met it; a
// vanished USB adapter may show up as a read error or a resource error.
class QtSerialPort final : public SerialPort {
  public:
    QtSerialPort();
    ~QtSerialPort() override;

    bool select(const std::string& device) override;
    bool is_open() const override;
    bool open() override;
    bool apply_settings(const std::string& settings) override;
    bool write(const std::string& bytes) override;
    bool wait_for_input(int timeout_ms) override;
    std::optional<std::string> read_all() override;
    bool discard_input() override;
    bool close() override;
    std::string error_text() const override;

    // Longest time a write may take to reach the driver.
    static constexpr int kWriteTimeoutMs = 2000;

  private:
    bool failed();

    QSerialPort port_;
    std::string device_;
};

// Parses a settings text "speed,parity,data bits,stop bits" such as
// "38400,N,8,1".  Returns false for anything malformed.
struct LineSettings {
    qint32 speed = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits data_bits = QSerialPort::Data8;
    QSerialPort::StopBits stop_bits = QSerialPort::OneStop;
};
bool parse_line_settings(const std::string& text, LineSettings& out);

} // namespace tessal::link
