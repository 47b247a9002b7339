// SPDX-License-Identifier: Apache-2.0
#include "signal_handover.h"

#ifdef Q_OS_UNIX
#include <QPointer>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <csignal>
#include <thread>

namespace tessal::link {

namespace {

volatile sig_atomic_t caught = 0;
std::function<void()> handed_to;

#ifdef Q_OS_UNIX
int wake_pipe[2] = {-1, -1};
QPointer<QSocketNotifier> loop_notifier; // the event loop's, while handed over

void on_signal(int number) {
    caught = number;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_pipe[1], &byte, 1);
}
#else
void on_signal(int number) {
    caught = number;
    if (handed_to) {
        handed_to();
    }
}
#endif

} // namespace

namespace {

// The handler of `numbers` installed, and the pipe it wakes made; false
// when the pipe cannot be made.
bool install(std::initializer_list<int> numbers) {
#ifdef Q_OS_UNIX
    if (wake_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake_pipe) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : numbers) {
        sigaction(number, &action, nullptr);
    }
#else
    for (const int number : numbers) {
        std::signal(number, on_signal);
    }
#endif
    return true;
}

} // namespace

void hand_over_signals(QObject& owner, std::initializer_list<int> numbers,
                       std::function<void()> call) {
    handed_to = std::move(call);
    if (!install(numbers)) {
        return;
    }
#ifdef Q_OS_UNIX
    auto* notifier = new QSocketNotifier(wake_pipe[0], QSocketNotifier::Read, &owner);
    loop_notifier = notifier;
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_pipe[0], &byte, 1);
        if (handed_to) {
            handed_to();
        }
    });
#else
    (void)owner;
#endif
}

void stop_handing_over() {
    handed_to = {};
}

int last_signal() {
    return caught;
}

#ifdef Q_OS_UNIX

struct SignalThread::Parts {
    int stop_pipe[2] = {-1, -1};
    std::thread thread;
};

SignalThread::SignalThread(std::initializer_list<int> numbers, std::function<void()> call)
    : parts_(new Parts) {
    // The event loop's notifier is set aside, so that the one byte a signal
    // writes is read here and nowhere else.
    if (loop_notifier) {
        loop_notifier->setEnabled(false);
    }
    if (!install(numbers) || ::pipe(parts_->stop_pipe) != 0) {
        return;
    }
    parts_->thread = std::thread([call = std::move(call), stop = parts_->stop_pipe[0]] {
        for (;;) {
            pollfd watched[] = {{wake_pipe[0], POLLIN, 0}, {stop, POLLIN, 0}};
            if (::poll(watched, 2, -1) < 0) {
                continue; // a signal came to this thread
            }
            if (watched[1].revents != 0) {
                return;
            }
            if (watched[0].revents != 0) {
                char byte = 0;
                [[maybe_unused]] const ssize_t got = ::read(wake_pipe[0], &byte, 1);
                call();
            }
        }
    });
}

SignalThread::~SignalThread() {
    if (parts_->thread.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(parts_->stop_pipe[1], &byte, 1);
        parts_->thread.join();
    }
    for (const int end : parts_->stop_pipe) {
        if (end >= 0) {
            ::close(end);
        }
    }
    if (loop_notifier) {
        loop_notifier->setEnabled(true);
    }
    delete parts_;
}

#else

// Windows runs a signal's handler on a thread of its own already.
struct SignalThread::Parts {
    std::function<void()> before;
};

SignalThread::SignalThread(std::initializer_list<int> numbers, std::function<void()> call)
    : parts_(new Parts{handed_to}) {
    handed_to = std::move(call);
    install(numbers);
}

SignalThread::~SignalThread() {
    handed_to = std::move(parts_->before);
    delete parts_;
}

#endif

} // namespace tessal::link
