// SPDX-License-Identifier: Apache-2.0
#pragma once

// Work handed from one thread to another through Qt's event queues carries
// its data along; the queues' locks live inside Qt's libraries, which
// ThreadSanitizer does not see into.  These two calls mark such a hand-over
// where it happens, so that a ThreadSanitizer build knows the data was passed
// on.  In every other build they are nothing.
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

// On the thread that hands over, right before it posts the work.
inline void handing_over([[maybe_unused]] const void* token) {
#ifdef TESSAL_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(token));
#endif
}

// On the thread that takes over, first thing in the work.
inline void taking_over([[maybe_unused]] const void* token) {
#ifdef TESSAL_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(token));
#endif
}

} // namespace tessal::link
