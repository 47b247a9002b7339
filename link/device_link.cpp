// SPDX-License-Identifier: Apache-2.0
#include "device_link.h"

#include "frame.h"
#include "messages.h"

#include <chrono>

namespace tessal::link {

namespace {

std::int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

DeviceLink::DeviceLink(std::unique_ptr<SerialPort> port, Clock clock)
    : port_(std::move(port)), clock_(clock ? std::move(clock) : Clock(steady_ms)) {}

std::string DeviceLink::settings_text(std::int32_t speed) {
    return std::to_string(speed) + ",N,8,1";
}

std::string DeviceLink::init_port(std::uint8_t& port_number, std::int32_t& speed) {
    last_port_failure_.reset();
    if (cancelled_) {
        return std::string(kPortError);
    }
    std::string device = device_of(port_number, false);
    if (!open_device(device, speed) && last_port_failure_ &&
        last_port_failure_->fault.kind == PortFault::Kind::NoDevice) {
        // The machine's ports may have changed since they were last read (an
        // adapter plugged in or out): read them again and try once more when
        // that names another device.
        const std::string again = device_of(port_number, true);
        if (again != device) {
            device = again;
            open_device(device, speed);
        }
    }
    return last_port_failure_ ? std::string(kPortError) : std::string(kOk);
}

void DeviceLink::set_port_enumerator(const PortEnumerator* ports) {
    const std::lock_guard lock(ports_mutex_);
    ports_ = ports;
    found_.reset();
}

std::vector<PortInfo> DeviceLink::refresh_ports() {
    const std::lock_guard lock(ports_mutex_);
    found_ = ports_ != nullptr ? ports_->ports() : std::vector<PortInfo>{};
    return *found_;
}

std::string DeviceLink::device_of(std::uint8_t port_number, bool fresh) {
    const bool keyed = port_number >= 1 && port_number <= port_map_.devices.size() &&
                       !port_map_.devices[port_number - 1].empty();
    const std::lock_guard lock(ports_mutex_);
    if (keyed || ports_ == nullptr) {
        return port_device(port_number, port_map_);
    }
    if (fresh || !found_) {
        found_ = ports_->ports();
    }
    return port_device(port_number, map_ports(port_map_.devices, *found_));
}

bool DeviceLink::open_device(const std::string& device, std::int32_t speed) {
    const auto fail = [&](PortFault fault) {
        last_port_failure_ = PortFailure{device, speed, std::move(fault)};
        tap_(&Trace::port_failed, device, port_failure_cause(*last_port_failure_));
        return false;
    };
    if (device.empty()) {
        return fail({PortFault::Kind::NoDevice, {}, {}});
    }
    if (!port_->select(device) || (!port_->is_open() && !port_->open()) ||
        !port_->apply_settings(settings_text(speed))) {
        return fail(port_->last_fault());
    }
    last_port_failure_.reset();
    opened_device_ = device;
    tap_(&Trace::port_opened, device, settings_text(speed));
    return true;
}

std::string DeviceLink::close_port() {
    if (port_->is_open() && !port_->close()) {
        tap_(&Trace::port_close_failed);
        return std::string(kPortError);
    }
    tap_(&Trace::port_closed);
    return {};
}

void DeviceLink::cancel() {
    cancelled_ = true;
    port_->wake();
}

void DeviceLink::clear_cancel() {
    cancelled_ = false;
    port_->rearm();
}

std::string DeviceLink::shown_sent(const std::string& frame) const {
    if (!secret_from_) {
        return frame;
    }
    // Frame start, body, two checksum characters, frame end: the body's
    // secret part becomes asterisks.
    std::string shown = frame;
    const std::size_t body_end = shown.size() >= 3 ? shown.size() - 3 : 0;
    for (std::size_t i = 1 + *secret_from_; i < body_end; ++i) {
        shown[i] = '*';
    }
    return shown;
}

std::string DeviceLink::shown_received(const std::string& bytes) const {
    if (!secret_from_) {
        return bytes;
    }
    // The reply may echo the secret: only the control bytes stay.
    std::string shown = bytes;
    for (char& ch : shown) {
        if (static_cast<unsigned char>(ch) >= 0x20) {
            ch = '*';
        }
    }
    return shown;
}

// Reads what has arrived, traces it and judges the reply so far: its outcome
// once it is whole or the port failed, nothing while more must come.
std::optional<std::string> DeviceLink::read_and_judge(std::int64_t start) {
    std::optional<std::string> bytes = port_->read_all();
    if (!bytes) {
        return outcome(kPortFailure);
    }
    if (secret_from_) {
        tap_(&Trace::received, shown_received(*bytes), clock_() - start);
    } else {
        tap_(&Trace::received, *bytes, clock_() - start);
    }
    receive_buffer_.append(*bytes);
    if (!receive_buffer_.empty()) {
        if (receive_buffer_.back() == constants_.frame_end) {
            return finish_frame();
        }
        if (receive_buffer_.find(constants_.ack) != std::string::npos) {
            return outcome(kOk);
        }
        if (receive_buffer_.find(constants_.nak) != std::string::npos) {
            return outcome(kNok);
        }
    }
    return std::nullopt;
}

std::string DeviceLink::get_frame(const std::string& command,
                                  std::optional<std::size_t> secret_from) {
    secret_from_ = secret_from;
    // Once traffic was stopped nothing more goes out.
    if (cancelled_) {
        return std::string(kPortFailure);
    }

    const std::string frame = build_frame(command, constants_.frame_start, constants_.frame_end);

    // Stale input is dropped before the request goes out, so that a reply
    // that comes back at once is not thrown away with it.
    receive_buffer_.clear();
    if (!port_->is_open() || !port_->discard_input() || !port_->write(frame)) {
        if (cancelled_) {
            tap_(&Trace::wait_cut_short);
        }
        return outcome(kPortFailure);
    }
    const std::int64_t start = clock_();
    if (secret_from_) {
        tap_(&Trace::sent, shown_sent(frame));
    } else {
        tap_(&Trace::sent, frame); // the usual case: no copy on the reply path
    }

    // Each pass reads what has arrived and judges it; then the wait sleeps in
    // the event loop until more bytes arrive, the deadline passes or the wait
    // is cut short.
    for (;;) {
        if (cancelled_) {
            tap_(&Trace::wait_cut_short);
            return outcome(kPortFailure);
        }
        if (std::optional<std::string> judged = read_and_judge(start)) {
            return *judged;
        }
        const std::int64_t left = constants_.reply_timeout_ms - (clock_() - start);
        if (left <= 0) {
            tap_(&Trace::timed_out, constants_.reply_timeout_ms);
            return outcome(kTimeout);
        }
        if (!port_->wait_for_input(static_cast<int>(left))) {
            return outcome(kPortFailure);
        }
    }
}

std::string DeviceLink::outcome(std::string_view status_word) const {
    tap_(&Trace::outcome, status_word);
    return std::string(status_word);
}

std::string DeviceLink::finish_frame() {
    const std::size_t length = receive_buffer_.size();
    if (length < 4) {
        return outcome(kNok);
    }
    // The first byte is taken to be the frame start and is not checked.
    std::string payload = receive_buffer_.substr(1, length - 4);
    const int c = checksum(payload);
    const bool good = receive_buffer_[length - 3] == checksum_low(c) &&
                      receive_buffer_[length - 2] == checksum_high(c);
    const std::string answer(1, good ? constants_.ack : constants_.nak);
    if (!port_->write(answer)) {
        return outcome(kPortFailure);
    }
    tap_(&Trace::sent, answer);
    if (!good) {
        return outcome(kChecksumError);
    }
    tap_(&Trace::payload, payload.size());
    return payload;
}

} // namespace tessal::link
