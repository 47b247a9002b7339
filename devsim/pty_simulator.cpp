// SPDX-License-Identifier: Apache-2.0
#include "pty_simulator.h"

#include "link/frame.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tessal::devsim {

namespace {

using namespace std::chrono;
namespace fs = std::filesystem;

constexpr int kIdlePollMs = 1000;       // the thread wakes at least this often
constexpr int kWriteStallMs = 1000;     // longest wait for room on the line
constexpr int kHangUpLingerMs = 50;     // time the console gets to read a cut reply
constexpr milliseconds kLineRetry{500}; // between attempts to make a terminal again

std::string system_error(const std::string& what) {
    return what + ": " + std::error_code(errno, std::generic_category()).message();
}

void close_fd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool make_raw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&settings, B38400);
    ::cfsetospeed(&settings, B38400);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool add_flags(int fd, int fd_flags, int status_flags) {
    const int fd_now = ::fcntl(fd, F_GETFD);
    const int status_now = ::fcntl(fd, F_GETFL);
    return fd_now >= 0 && status_now >= 0 && ::fcntl(fd, F_SETFD, fd_now | fd_flags) == 0 &&
           ::fcntl(fd, F_SETFL, status_now | status_flags) == 0;
}

// Ten bits per byte: start bit, eight data bits, stop bit.
steady_clock::duration byte_time(int line_speed) {
    return duration_cast<steady_clock::duration>(nanoseconds(10'000'000'000LL / line_speed));
}

std::string describe(const Reply& reply) {
    switch (reply.kind) {
    case Reply::Kind::Ack:
        return "ACK";
    case Reply::Kind::Nak:
        return "NAK";
    case Reply::Kind::Frame:
        return "frame \"" + printable(reply.payload) + "\"";
    case Reply::Kind::None:
        break;
    }
    return "nothing";
}

} // namespace

PtySimulator::PtySimulator(fs::path link_path) : link_path_(std::move(link_path)) {}

PtySimulator::~PtySimulator() {
    stop();
}

bool PtySimulator::start() {
    if (running()) {
        return true;
    }
    int wake[2];
    if (::pipe(wake) != 0) {
        set_error(system_error("pipe"));
        return false;
    }
    wake_read_ = wake[0];
    wake_write_ = wake[1];
    if (!add_flags(wake_read_, FD_CLOEXEC, O_NONBLOCK) ||
        !add_flags(wake_write_, FD_CLOEXEC, O_NONBLOCK)) {
        set_error(system_error("pipe flags"));
        stop();
        return false;
    }
    if (!open_line()) {
        stop();
        return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PtySimulator::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::write(wake_write_, &byte, 1);
        thread_.join();
    }
    close_line();
    close_fd(wake_read_);
    close_fd(wake_write_);
    if (linked_) {
        std::error_code ignored;
        fs::remove(link_path_, ignored);
        linked_ = false;
    }
}

bool PtySimulator::open_line() {
    std::error_code ec;
    const fs::file_status existing = fs::symlink_status(link_path_, ec);
    if (fs::exists(existing) && !fs::is_symlink(existing)) {
        set_error(link_path_.string() + " exists and is not a symbolic link");
        return false;
    }

    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        set_error(system_error("posix_openpt"));
        return false;
    }
    int slave = -1;
    std::string failure;
    std::array<char, 128> name{};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name.data(), name.size()) != 0) {
        failure = system_error("pseudo-terminal");
    } else if ((slave = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        failure = system_error(std::string("open ") + name.data());
    } else if (!make_raw(slave) || !make_raw(master) ||
               !add_flags(master, FD_CLOEXEC, O_NONBLOCK)) {
        failure = system_error("terminal settings");
    } else {
        // The link is replaced in one step, so an opener never finds it missing.
        fs::path fresh = link_path_;
        fresh += ".new";
        fs::remove(fresh, ec);
        fs::create_symlink(name.data(), fresh, ec);
        if (!ec) {
            fs::rename(fresh, link_path_, ec);
        }
        if (ec) {
            failure = "cannot link " + link_path_.string() + ": " + ec.message();
            fs::remove(fresh, ec);
        }
    }
    if (!failure.empty()) {
        close_fd(slave);
        close_fd(master);
        set_error(failure);
        return false;
    }

    close_line();
    master_ = master;
    slave_ = slave;
    linked_ = true;
    ++line_generation_;
    reader_.reset();
    pending_.clear();
    answered_early_ = false;
    std::lock_guard lock(mutex_);
    device_path_ = name.data();
    return true;
}

void PtySimulator::close_line() {
    close_fd(master_);
    close_fd(slave_);
    std::lock_guard lock(mutex_);
    device_path_.clear();
}

void PtySimulator::hang_up() {
    {
        std::lock_guard lock(mutex_);
        ++hang_ups_;
    }
    // The fresh terminal is linked before the old one goes, so the console's
    // next open already finds it.
    const int old_master = std::exchange(master_, -1);
    const int old_slave = std::exchange(slave_, -1);
    const bool fresh = open_line();
    ::close(old_master);
    ::close(old_slave);
    if (!fresh) {
        // The thread keeps trying to make a terminal.
        ++line_generation_;
        std::lock_guard lock(mutex_);
        device_path_.clear();
    }
    wire(link::TraceRecord::Kind::Event, "linija prekinuta");
    trace(fresh ? "line hung up; listening again on " + device_path()
                : "line hung up; no new terminal: " + error());
}

void PtySimulator::run() {
    std::array<char, 4096> buffer;
    while (!stopping_) {
        if (!pending_.empty()) {
            // What came while a reply was going out.
            const std::string bytes = std::exchange(pending_, {});
            consume(bytes, pending_arrived_);
            continue;
        }
        if (master_ < 0) {
            if (pause_until(steady_clock::now() + kLineRetry) && open_line()) {
                trace("listening again on " + device_path());
            }
            continue;
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
        if (::poll(fds, 2, kIdlePollMs) < 0) {
            if (errno != EINTR && !pause_until(steady_clock::now() + kLineRetry)) {
                return;
            }
            continue;
        }
        if (fds[1].revents != 0) {
            continue; // stop() woke us
        }
        if ((fds[0].revents & POLLIN) == 0) {
            if (fds[0].revents != 0) {
                hang_up();
            }
            continue;
        }

        // An instant reply goes out when the frame start is read, before the
        // rest of the request.
        bool instant = false;
        if (!reader_.in_request()) {
            std::lock_guard lock(mutex_);
            instant = faults_.instant;
        }
        const ssize_t got = ::read(master_, buffer.data(), instant ? 1 : buffer.size());
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            hang_up();
            continue;
        }
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
        wire(link::TraceRecord::Kind::ToDevice, bytes);
        consume(bytes, steady_clock::now());
    }
}

void PtySimulator::consume(std::string_view bytes, steady_clock::time_point arrived) {
    const unsigned line = line_generation_;
    for (std::size_t i = 0; i < bytes.size() && line == line_generation_ && !stopping_; ++i) {
        if (const auto event = reader_.feed(bytes[i])) {
            take(*event, arrived);
        }
    }
}

void PtySimulator::take(const RequestReader::Event& event, steady_clock::time_point arrived) {
    using Kind = RequestReader::Event::Kind;
    Faults faults;
    Reply reply;
    switch (event.kind) {
    case Kind::Ack:
    case Kind::Nak: {
        {
            std::lock_guard lock(mutex_);
            ++(event.kind == Kind::Ack ? acks_ : naks_);
        }
        trace(event.kind == Kind::Ack ? "<- ACK" : "<- NAK");
        return;
    }
    case Kind::RequestStarted: {
        request_started_ = arrived;
        answered_early_ = false;
        {
            std::lock_guard lock(mutex_);
            faults = faults_;
            if (faults.instant) {
                reply = device_.handle(faults.instant_command);
            }
        }
        if (faults.instant) {
            answered_early_ = true;
            answer(reply, faults, steady_clock::now());
        }
        return;
    }
    case Kind::BadRequest: {
        {
            std::lock_guard lock(mutex_);
            ++bad_checksums_;
            faults = faults_;
        }
        trace("<- request with a bad checksum");
        reply = Reply::nak();
        break;
    }
    case Kind::Request: {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(event.command);
            faults = faults_for(event.command);
            if (!answered_early_ && !faults.silent && !faults.vanish_on_request) {
                reply = faults.nak_all ? Reply::nak() : device_.handle(event.command);
            }
        }
        request_seen_.notify_all();
        trace("<- \"" + printable(event.command) + "\"");
        break;
    }
    }

    if (answered_early_) {
        return;
    }
    if (faults.vanish_on_request) {
        hang_up();
        return;
    }
    if (faults.silent) {
        return;
    }
    steady_clock::time_point not_before = steady_clock::now();
    if (faults.line_speed > 0) {
        // The request has crossed the line when its last byte's time is up.
        not_before =
            request_started_ + static_cast<long>(event.wire_bytes) * byte_time(faults.line_speed);
    }
    answer(reply, faults, not_before);
}

void PtySimulator::answer(const Reply& reply, const Faults& faults,
                          steady_clock::time_point not_before) {
    const ReplyPlan plan = plan_reply(reply, faults);
    if (plan.writes.empty() && !plan.hang_up_after) {
        return;
    }
    // Whatever of the reply is still to go when the console starts a new
    // request is dropped: the console has given up on it.
    const auto given_up = [this] {
        wire(link::TraceRecord::Kind::Event, "odgovor odbacen");
        trace(stopping_ ? "reply not sent: stopping" : "reply dropped: a new request came");
    };
    steady_clock::time_point line_free = not_before + milliseconds(faults.reply_delay_ms);
    if (!pause_until(line_free, true)) {
        given_up();
        return;
    }
    for (std::size_t i = 0; i < plan.writes.size(); ++i) {
        const LineWrite& write = plan.writes[i];
        if (write.pause_before_ms > 0) {
            if (!pause_until(steady_clock::now() + milliseconds(write.pause_before_ms), true)) {
                given_up();
                return;
            }
            line_free = std::max(line_free, steady_clock::now());
        }
        if (!write_paced(write.bytes, faults.line_speed, line_free, i + 1 == plan.writes.size())) {
            given_up();
            return;
        }
    }
    trace("-> " + describe(reply) + (plan.hang_up_after ? " (cut off)" : ""));
    if (plan.hang_up_after && pause_until(steady_clock::now() + milliseconds(kHangUpLingerMs))) {
        hang_up();
    }
}

const Faults& PtySimulator::faults_for(std::string_view command) const {
    for (const CommandFault& rule : command_faults_) {
        if (command.starts_with(rule.prefix)) {
            return rule.faults;
        }
    }
    return faults_;
}

bool PtySimulator::pause_until(steady_clock::time_point deadline, bool watch_line) {
    for (;;) {
        if (stopping_ || (watch_line && pending_.find(link::kFrameStart) != std::string::npos)) {
            return false;
        }
        const steady_clock::duration left = deadline - steady_clock::now();
        if (left <= steady_clock::duration::zero()) {
            return true;
        }
        const auto whole = duration_cast<seconds>(left);
        const timespec timeout{static_cast<time_t>(whole.count()),
                               static_cast<long>(duration_cast<nanoseconds>(left - whole).count())};
        pollfd fds[2] = {{wake_read_, POLLIN, 0}, {watch_line ? master_ : -1, POLLIN, 0}};
        ::ppoll(fds, 2, &timeout, nullptr);
        if ((fds[1].revents & POLLIN) != 0) {
            std::array<char, 4096> buffer;
            const ssize_t got = ::read(master_, buffer.data(), buffer.size());
            if (got > 0) {
                wire(link::TraceRecord::Kind::ToDevice,
                     std::string_view(buffer.data(), static_cast<std::size_t>(got)));
                if (pending_.empty()) {
                    pending_arrived_ = steady_clock::now();
                }
                pending_.append(buffer.data(), static_cast<std::size_t>(got));
            }
        }
    }
}

bool PtySimulator::write_paced(std::string_view bytes, int line_speed,
                               steady_clock::time_point& line_free, bool last) {
    if (line_speed <= 0) {
        return write_all(bytes, last);
    }
    const steady_clock::duration per_byte = byte_time(line_speed);
    while (!bytes.empty()) {
        // A byte is handed over once its wire time is up; whatever is due by
        // then goes out in the same write.
        if (!pause_until(line_free + per_byte, true)) {
            return false;
        }
        const auto due = static_cast<std::size_t>((steady_clock::now() - line_free) / per_byte);
        const std::size_t count = std::min(bytes.size(), std::max<std::size_t>(due, 1));
        if (!write_all(bytes.substr(0, count), last && count == bytes.size())) {
            return false;
        }
        bytes.remove_prefix(count);
        line_free += static_cast<long>(count) * per_byte;
    }
    return true;
}

bool PtySimulator::write_all(std::string_view bytes, bool last) {
    while (!bytes.empty()) {
        if (last) {
            // Stamped before the write, so whoever reads the reply finds the
            // stamp already there.
            last_reply_byte_ns_ =
                duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
        }
        const ssize_t written = ::write(master_, bytes.data(), bytes.size());
        if (written > 0) {
            wire(link::TraceRecord::Kind::FromDevice,
                 bytes.substr(0, static_cast<std::size_t>(written)));
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN) {
            // The console is not reading; wait for room, but not for ever.
            pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_read_, POLLIN, 0}};
            if (::poll(fds, 2, kWriteStallMs) <= 0 || fds[1].revents != 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

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

bool PtySimulator::wait_for_requests(std::size_t count, milliseconds timeout) const {
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
