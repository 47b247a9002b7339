// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "serial_port.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <atomic>
#include <functional>

namespace tessal::link {

// The serial port on QSerialPort: 8-bit bytes both ways, no flow control.
// Made, used and destroyed on one thread, which runs its waits; only wake()
// comes from elsewhere.
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
    void wake() override;
    void rearm() override;
    std::optional<std::string> read_all() override;
    bool discard_input() override;
    bool close() override;
    PortFault last_fault() const override { return fault_; }

    // Longest time a write may take to reach the driver.
    static constexpr int kWriteTimeoutMs = 2000;

  private:
    bool failed();
    // Runs the event loop until done() holds (true), or the port fails, wake()
    // is called or timeout_ms passes (false).
    bool sleep_until(const std::function<bool()>& done, int timeout_ms);
    // Records why opening failed, from the port's error.
    void record_open_fault();

    PortFault fault_;
    QSerialPort port_;
    std::string device_;
    QEventLoop loop_;
    QTimer deadline_;
    std::atomic<bool> woken_{false};
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
