// SPDX-License-Identifier: Apache-2.0
#include "handover.h"

#include <QCoreApplication>

#include <condition_variable>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#define TESSAL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSAL_THREAD_SANITIZER 1
#endif
#endif

#ifdef TESSAL_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace tessal::link {

namespace {

#ifdef TESSAL_THREAD_SANITIZER
char handover_mark;
#endif

// On the thread that hands over, once the work is made and right before it
// is posted.
void handing_over() {
#ifdef TESSAL_THREAD_SANITIZER
    __tsan_release(&handover_mark);
#endif
}

// On the thread that takes over, before anything the work carries is read.
void taking_over() {
#ifdef TESSAL_THREAD_SANITIZER
    __tsan_acquire(&handover_mark);
#endif
}

class WorkEvent final : public QEvent {
  public:
    explicit WorkEvent(std::function<void()> work) : QEvent(type()), work_(std::move(work)) {}

    static QEvent::Type type() {
        static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
        return registered;
    }
    void run() { work_(); }

  private:
    std::function<void()> work_;
};

} // namespace

void Courier::post(std::function<void()> work) {
    auto* event = new WorkEvent(std::move(work));
    handing_over();
    QCoreApplication::postEvent(this, event);
}

void Courier::wait_for(const std::function<void()>& work) {
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;
    post([&] {
        work();
        const std::lock_guard lock(mutex);
        done = true;
        done_signal.notify_one();
    });
    std::unique_lock lock(mutex);
    done_signal.wait(lock, [&] { return done; });
}

bool Courier::event(QEvent* event) {
    // Taken over before the event itself is looked at: it was made on the
    // other thread too.
    taking_over();
    if (event->type() == WorkEvent::type()) {
        static_cast<WorkEvent*>(event)->run();
        return true;
    }
    return QObject::event(event);
}

} // namespace tessal::link
