// SPDX-License-Identifier: Apache-2.0
// What the simulator shows of itself: its faults, the requests and line
// events it counted, its error, and the traces it writes.
#include "pty_simulator.h"

namespace tessal::devsim {

void PtySimulator::set_error(std::string text) {
    std::lock_guard lock(mutex_);
    error_ = std::move(text);
}

std::string PtySimulator::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string PtySimulator::device_path() const {
    std::lock_guard lock(mutex_);
    return device_path_;
}

void PtySimulator::trace(const std::string& line) const {
    if (trace_) {
        trace_(line);
    }
}

void PtySimulator::wire(link::TraceRecord::Kind kind, std::string_view data) const {
    if (wire_trace_) {
        link::TraceRecord record;
        record.time = std::chrono::system_clock::now();
        record.kind = kind;
        record.data = data;
        wire_trace_(link::format_record(record));
    }
}

void PtySimulator::set_faults(const Faults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

Faults PtySimulator::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void PtySimulator::set_command_faults(std::vector<CommandFault> rules) {
    std::lock_guard lock(mutex_);
    command_faults_ = std::move(rules);
}

std::vector<std::string> PtySimulator::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool PtySimulator::wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return request_seen_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void PtySimulator::clear_log() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    acks_ = 0;
    naks_ = 0;
    bad_checksums_ = 0;
    hang_ups_ = 0;
}

} // namespace tessal::devsim
