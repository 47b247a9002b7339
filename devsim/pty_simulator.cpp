// SPDX-License-Identifier: Apache-2.0
// The simulator's pseudo-terminal: made and linked when it starts, made
// again when a fault hangs up the line, closed when it stops.
#include "pty_simulator.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tessal::devsim {

namespace {

namespace fs = std::filesystem;

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

} // namespace tessal::devsim
