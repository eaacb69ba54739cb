#pragma once

// What ThreadSanitizer cannot see for itself. Qt's libraries are not built
// with it, so the ordering a queued call gives (what the caller did before
// posting it happens before the call runs on the receiver's thread) is made
// inside code it does not watch. In a ThreadSanitizer build these functions
// state that ordering; in every other build they are empty.

#if defined(__SANITIZE_THREAD__)
#define TRALVEX_THREAD_CHECK 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TRALVEX_THREAD_CHECK 1
#endif
#endif

#ifdef TRALVEX_THREAD_CHECK
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace tralvex::thread_check {

// Everything this thread did before Release(token) happens before what a
// thread does after a later Acquire(token).
inline void Release([[maybe_unused]] void* token) {
#ifdef TRALVEX_THREAD_CHECK
    __tsan_release(token);
#endif
}

inline void Acquire([[maybe_unused]] void* token) {
#ifdef TRALVEX_THREAD_CHECK
    __tsan_acquire(token);
#endif
}

// While it lives, the memory accesses of this thread are not watched: for the
// posting of a queued call, whose call object Qt builds from our code's
// templates on this thread and frees on the receiver's.
class QtHandoverOnly {
  public:
    QtHandoverOnly() {
#ifdef TRALVEX_THREAD_CHECK
        __tsan_ignore_thread_begin();
#endif
    }
    ~QtHandoverOnly() {
#ifdef TRALVEX_THREAD_CHECK
        __tsan_ignore_thread_end();
#endif
    }
    QtHandoverOnly(const QtHandoverOnly&) = delete;
    QtHandoverOnly& operator=(const QtHandoverOnly&) = delete;
};

}  // namespace tralvex::thread_check
