#include "qt_serial_port.h"

#include <QElapsedTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#endif

#include <charconv>
#include <vector>

namespace tessal::link {

namespace {

std::vector<std::string> split_commas(const std::string& text) {
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        parts.push_back(text.substr(from, comma - from));
        if (comma == std::string::npos) {
            return parts;
        }
        from = comma + 1;
    }
}

} // namespace

bool parse_line_settings(const std::string& text, LineSettings& out) {
    const std::vector<std::string> parts = split_commas(text);
    if (parts.size() != 4) {
        return false;
    }
    const std::string& speed = parts[0];
    qint32 value = 0;
    const auto [end, ec] = std::from_chars(speed.data(), speed.data() + speed.size(), value);
    if (speed.empty() || ec != std::errc() || end != speed.data() + speed.size() || value <= 0) {
        return false;
    }
    out.speed = value;

    if (parts[1].size() != 1) {
        return false;
    }
    switch (parts[1][0]) {
    case 'N':
    case 'n':
        out.parity = QSerialPort::NoParity;
        break;
    case 'E':
    case 'e':
        out.parity = QSerialPort::EvenParity;
        break;
    case 'O':
    case 'o':
        out.parity = QSerialPort::OddParity;
        break;
    case 'M':
    case 'm':
        out.parity = QSerialPort::MarkParity;
        break;
    case 'S':
    case 's':
        out.parity = QSerialPort::SpaceParity;
        break;
    default:
        return false;
    }

    if (parts[2] == "5") {
        out.data_bits = QSerialPort::Data5;
    } else if (parts[2] == "6") {
        out.data_bits = QSerialPort::Data6;
    } else if (parts[2] == "7") {
        out.data_bits = QSerialPort::Data7;
    } else if (parts[2] == "8") {
        out.data_bits = QSerialPort::Data8;
    } else {
        return false;
    }

    if (parts[3] == "1") {
        out.stop_bits = QSerialPort::OneStop;
    } else if (parts[3] == "1.5") {
        out.stop_bits = QSerialPort::OneAndHalfStop;
    } else if (parts[3] == "2") {
        out.stop_bits = QSerialPort::TwoStop;
    } else {
        return false;
    }
    return true;
}

QtSerialPort::QtSerialPort() = default;

QtSerialPort::~QtSerialPort() {
    if (port_.isOpen()) {
        port_.close();
    }
}

bool QtSerialPort::failed() {
    const QSerialPort::SerialPortError error = port_.error();
    if (error == QSerialPort::NoError) {
        return false;
    }
    if (error == QSerialPort::TimeoutError) {
        // A wait that ran out is not a failure of the port.
        port_.clearError();
        return false;
    }
    return true;
}

bool QtSerialPort::select(const std::string& device) {
    if (port_.isOpen()) {
        // An open port keeps its device; another one cannot be chosen.
        return device == device_;
    }
    port_.clearError();
    device_ = device;
    port_.setPortName(QString::fromStdString(device));
    return true;
}

bool QtSerialPort::is_open() const {
    return port_.isOpen();
}

bool QtSerialPort::open() {
    if (device_.empty()) {
        return false;
    }
    port_.clearError();
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        return false;
    }
    return !failed();
}

bool QtSerialPort::apply_settings(const std::string& settings) {
    LineSettings line;
    if (!port_.isOpen() || !parse_line_settings(settings, line)) {
        return false;
    }
    return port_.setBaudRate(line.speed) && port_.setParity(line.parity) &&
           port_.setDataBits(line.data_bits) && port_.setStopBits(line.stop_bits) &&
           port_.setFlowControl(QSerialPort::NoFlowControl) && !failed();
}

bool QtSerialPort::write(const std::string& bytes) {
    if (!port_.isOpen() || failed()) {
        return false;
    }
    const qint64 size = static_cast<qint64>(bytes.size());
    if (port_.write(bytes.data(), size) != size) {
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (port_.bytesToWrite() > 0) {
        const qint64 left = kWriteTimeoutMs - timer.elapsed();
        if (left <= 0) {
            return false;
        }
        port_.waitForBytesWritten(static_cast<int>(left));
        if (failed() || !port_.isOpen()) {
            return false;
        }
    }
    return true;
}

bool QtSerialPort::wait_for_input(int timeout_ms) {
    if (!port_.isOpen() || failed()) {
        return false;
    }
    if (port_.bytesAvailable() > 0) {
        return true;
    }
#ifdef Q_OS_UNIX
    // A plain poll on the descriptor is far cheaper than the port's own wait;
    // the port is asked to read only once something is there.
    pollfd watch{};
    watch.fd = static_cast<int>(port_.handle());
    watch.events = POLLIN;
    const int ready = ::poll(&watch, 1, timeout_ms);
    if (ready < 0 && errno != EINTR) {
        return false;
    }
    if (ready <= 0) {
        return true;
    }
    timeout_ms = 0;
#endif
    port_.waitForReadyRead(timeout_ms);
    return port_.isOpen() && !failed();
}

std::optional<std::string> QtSerialPort::read_all() {
    if (!port_.isOpen() || failed()) {
        return std::nullopt;
    }
    const QByteArray data = port_.readAll();
    if (failed()) {
        return std::nullopt;
    }
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

bool QtSerialPort::discard_input() {
    if (!port_.isOpen() || failed()) {
        return false;
    }
    // Empties the driver's queue and the port's own buffer alike.
    port_.clear(QSerialPort::Input);
    return !failed();
}

bool QtSerialPort::close() {
    if (!port_.isOpen()) {
        return true;
    }
    port_.clearError();
    port_.close();
    const bool ok = port_.error() == QSerialPort::NoError;
    port_.clearError();
    return ok;
}

std::string QtSerialPort::error_text() const {
    if (port_.error() == QSerialPort::NoError) {
        return {};
    }
    return port_.errorString().toStdString();
}

} // namespace tessal::link
