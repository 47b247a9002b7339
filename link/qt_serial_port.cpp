// SPDX-License-Identifier: Apache-2.0
#include "qt_serial_port.h"

#include <QDeadlineTimer>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <charconv>
#include <string_view>
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

namespace {

// The line-settings words each part of a port's "speed,parity,bits,stop"
// text may hold, and what each stands for.
template <class Value> struct Word {
    std::string_view text;
    Value value;
};

constexpr Word<QSerialPort::Parity> kParities[] = {
    {"N", QSerialPort::NoParity},    {"n", QSerialPort::NoParity},
    {"E", QSerialPort::EvenParity},  {"e", QSerialPort::EvenParity},
    {"O", QSerialPort::OddParity},   {"o", QSerialPort::OddParity},
    {"M", QSerialPort::MarkParity},  {"m", QSerialPort::MarkParity},
    {"S", QSerialPort::SpaceParity}, {"s", QSerialPort::SpaceParity},
};
constexpr Word<QSerialPort::DataBits> kDataBits[] = {
    {"5", QSerialPort::Data5},
    {"6", QSerialPort::Data6},
    {"7", QSerialPort::Data7},
    {"8", QSerialPort::Data8},
};
constexpr Word<QSerialPort::StopBits> kStopBits[] = {
    {"1", QSerialPort::OneStop},
    {"1.5", QSerialPort::OneAndHalfStop},
    {"2", QSerialPort::TwoStop},
};

// Sets `out` to what `text` stands for in `words`; false for a word not there.
template <class Value, std::size_t N>
bool look_up(const Word<Value> (&words)[N], const std::string& text, Value& out) {
    for (const Word<Value>& word : words) {
        if (word.text == text) {
            out = word.value;
            return true;
        }
    }
    return false;
}

bool parse_speed(const std::string& speed, qint32& out) {
    qint32 value = 0;
    const auto [end, ec] = std::from_chars(speed.data(), speed.data() + speed.size(), value);
    if (speed.empty() || ec != std::errc() || end != speed.data() + speed.size() || value <= 0) {
        return false;
    }
    out = value;
    return true;
}

} // namespace

bool parse_line_settings(const std::string& text, LineSettings& out) {
    const std::vector<std::string> parts = split_commas(text);
    return parts.size() == 4 && parse_speed(parts[0], out.speed) &&
           look_up(kParities, parts[1], out.parity) &&
           look_up(kDataBits, parts[2], out.data_bits) &&
           look_up(kStopBits, parts[3], out.stop_bits);
}

QtSerialPort::QtSerialPort() {
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline_, &QTimer::timeout, &loop_, &QEventLoop::quit);
    QObject::connect(&port_, &QSerialPort::readyRead, &loop_, &QEventLoop::quit);
    QObject::connect(&port_, &QSerialPort::bytesWritten, &loop_, &QEventLoop::quit);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &loop_, &QEventLoop::quit);
    QObject::connect(&port_, &QSerialPort::aboutToClose, &loop_, &QEventLoop::quit);
}

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

void QtSerialPort::record_open_fault() {
    using Kind = PortFault::Kind;
    fault_ = {Kind::Other, {}, port_.errorString().toStdString()};
    switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError:
        fault_.kind = Kind::NoDevice;
        break;
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        // The port reports a lock file held by another program, and a device
        // opened exclusively elsewhere, as a permission error too.  A device
        // that this account may read and write was refused for being in use.
        struct stat status {};
        if (::stat(device_.c_str(), &status) != 0) {
            fault_.kind = Kind::NoDevice;
        } else if (::access(device_.c_str(), R_OK | W_OK) == 0) {
            fault_.kind = Kind::InUse;
        } else {
            fault_.kind = Kind::PermissionDenied;
            if (const group* owner = ::getgrgid(status.st_gid)) {
                fault_.group = owner->gr_name;
            }
        }
#else
        // Windows refuses a port that another program has open with "access
        // denied".
        fault_.kind = Kind::InUse;
#endif
        break;
    }
#ifdef Q_OS_WIN
    case QSerialPort::UnknownError:
        // Some port drivers refuse a port that is open elsewhere with a
        // sharing violation, which the port reports only by the system's
        // text for it.
        if (port_.errorString() == qt_error_string(ERROR_SHARING_VIOLATION)) {
            fault_.kind = Kind::InUse;
        }
        break;
#endif
    default:
        break;
    }
}

bool QtSerialPort::select(const std::string& device) {
    if (port_.isOpen()) {
        // An open port keeps its device; another one cannot be chosen.
        if (device != device_) {
            fault_ = {PortFault::Kind::Other, {}, "port je vec otvoren na " + device_};
            return false;
        }
        return true;
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
        fault_ = {PortFault::Kind::NoDevice, {}, {}};
        return false;
    }
    port_.clearError();
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite) || failed()) {
        record_open_fault();
        return false;
    }
    fault_ = {};
    return true;
}

bool QtSerialPort::apply_settings(const std::string& settings) {
    LineSettings line;
    if (!port_.isOpen()) {
        fault_ = {PortFault::Kind::Other, {}, port_.errorString().toStdString()};
        return false;
    }
    // The console's settings text varies only in its speed.
    if (!parse_line_settings(settings, line)) {
        fault_ = {PortFault::Kind::SpeedRefused, {}, {}};
        return false;
    }
    if (!port_.setBaudRate(line.speed)) {
        fault_ = {PortFault::Kind::SpeedRefused, {}, port_.errorString().toStdString()};
        return false;
    }
    if (!port_.setParity(line.parity) || !port_.setDataBits(line.data_bits) ||
        !port_.setStopBits(line.stop_bits) || !port_.setFlowControl(QSerialPort::NoFlowControl) ||
        failed()) {
        fault_ = {PortFault::Kind::Other, {}, port_.errorString().toStdString()};
        return false;
    }
    fault_ = {};
    return true;
}

bool QtSerialPort::sleep_until(const std::function<bool()>& done, int timeout_ms) {
    QDeadlineTimer deadline(timeout_ms, Qt::PreciseTimer);
    while (!done()) {
        if (!port_.isOpen() || failed() || woken_ || deadline.hasExpired()) {
            return false;
        }
        // The loop ends on the port's next signal, on wake() or at the
        // deadline; until then the program's events run and nothing polls.
        deadline_.start(static_cast<int>(deadline.remainingTime()));
        loop_.exec();
        deadline_.stop();
    }
    return true;
}

void QtSerialPort::wake() {
    woken_ = true;
    // The loop belongs to the port's thread: it is told to quit through that
    // thread's event queue, so a wake that comes just before the wait starts
    // ends it as soon as it runs.
    QMetaObject::invokeMethod(&loop_, "quit", Qt::QueuedConnection);
}

void QtSerialPort::rearm() {
    woken_ = false;
}

bool QtSerialPort::write(const std::string& bytes) {
    if (woken_) {
        return false;
    }
    if (!port_.isOpen() || failed()) {
        return false;
    }
    const qint64 size = static_cast<qint64>(bytes.size());
    if (port_.write(bytes.data(), size) != size) {
        return false;
    }
    // Hands what the driver takes at once over without waiting; whatever is
    // left leaves while the event loop runs.
    port_.flush();
    return sleep_until([this] { return port_.bytesToWrite() == 0; }, kWriteTimeoutMs) && !failed();
}

bool QtSerialPort::wait_for_input(int timeout_ms) {
    if (!port_.isOpen() || failed()) {
        return false;
    }
    // A wait that ends without bytes (deadline or wake) is no failure; only a
    // port that failed or went away is.
    sleep_until([this] { return port_.bytesAvailable() > 0; }, timeout_ms);
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

} // namespace tessal::link
