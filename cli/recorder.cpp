// SPDX-License-Identifier: Apache-2.0
#include "recorder.h"

#include "device/settings_place.h"
#include "register/register.h"

namespace tessal::cli {

namespace {

// The longest a run waits for its rows: a server's connection attempt and
// one exchange with it.
constexpr std::chrono::seconds kSettleWithin{reg::Register::kConnectTimeoutS +
                                             reg::Register::kServerDeadlineS};

} // namespace

Recorder::Recorder(std::optional<device::Technician> named) : named_(std::move(named)) {}

Recorder::~Recorder() {
    hand_held();
}

void Recorder::prepare() {
    reg::load_drivers(reg::configured());
}

device::ServiceBook& Recorder::book() {
    if (!book_) {
        book_ = std::make_unique<device::ServiceBook>(
            reg::configured(), std::string(), device::user_settings_folder() / "open-entries.ini");
        book_->set_technician(named_);
    }
    return *book_;
}

void Recorder::heard(const device::Report& report) {
    if (report.device.empty()) {
        return; // the port never opened: nothing was read or sent
    }
    if (!report.writes.empty()) {
        hand_held();
        held_ = report;
    } else if (book_) {
        book_->heard(report); // what it read, for an entry opened later
    }
}

void Recorder::settled(const device::Outcome& outcome) {
    if (held_ && !held_->writes.empty()) {
        held_->writes.back() = outcome;
    }
}

void Recorder::hand_held() {
    if (!held_) {
        return;
    }
    device::ServiceBook& b = book();
    const std::optional<device::OpenEntry> open = b.open_on(held_->device);
    const int given = b.state().given;
    b.heard(*held_);
    held_.reset();
    if (b.state().given > given) {
        recorded_by_ = open ? open->opening.technician : technician();
    }
}

std::string Recorder::open(const device::Opening& opening) {
    recorded_by_ = opening.technician;
    return book().open(opening);
}

std::optional<device::OpenEntry> Recorder::close(const std::string& port,
                                                 const device::Closing& closing) {
    std::optional<device::OpenEntry> entry = book().open_on(port);
    if (entry && book().close(port, closing)) {
        recorded_by_ = entry->opening.technician;
        return entry;
    }
    return std::nullopt;
}

device::Technician Recorder::technician() const {
    return named_ ? *named_ : device::load_technician().value_or(device::Technician{});
}

std::optional<device::BookState> Recorder::settle() {
    hand_held();
    if (!book_ || book_->state().given == 0) {
        return std::nullopt;
    }
    return book_->settle(kSettleWithin);
}

} // namespace tessal::cli
