#ifndef BASE_PLATFORM_THREAD_H_
#define BASE_PLATFORM_THREAD_H_

#include <cstddef>

namespace base {

// The platform's thread identifier (a 32-bit value on Windows).
using PlatformThreadId = unsigned long;

// The platform's handle of a started thread (a Windows thread handle).
using ThreadHandle = void*;

// Static thread primitives: the calling thread's id, yielding, sleeping,
// naming, and starting and joining threads. Every function may be called
// from any thread; none keeps state.
class PlatformThread {
 public:
  // What a started thread runs. The caller owns the body and keeps it alive
  // until the thread has finished; the thread never deletes it.
  class Body {
   public:
    virtual ~Body() = default;
    // Runs on the new thread; the thread ends when it returns.
    virtual void RunThread() = 0;
  };

  PlatformThread() = delete;

  // The id of the calling thread; never 0.
  static PlatformThreadId CurrentId();

  // Gives the rest of the time slice to any other ready thread.
  static void YieldThread();

  // Suspends the calling thread for `duration_ms` milliseconds.
  static void Sleep(int duration_ms);

  // Names the calling thread for an attached debugger; does nothing without
  // one. `name` must stay valid during the call only.
  static void NameThread(const char* name);

  // Starts a thread that runs `body->RunThread()`. A `stack_size` above 0
  // reserves that much stack; 0 takes the default. On success the caller
  // owns `*thread_handle` and must Join it; on failure it is null and false
  // is returned.
  static bool Create(size_t stack_size,
                     Body* body,
                     ThreadHandle* thread_handle);

  // Starts a thread like Create and lets it run on its own: nobody joins it,
  // and its handle is closed at once.
  static bool StartDetached(size_t stack_size, Body* body);

  // Waits for the thread started by Create to end and closes its handle.
  static void Join(ThreadHandle thread_handle);
};

}  // namespace base

#endif  // BASE_PLATFORM_THREAD_H_
