#ifndef BASE_PLATFORM_THREAD_H_
#define BASE_PLATFORM_THREAD_H_

namespace base {

// The platform's thread identifier (a 32-bit value on Windows).
using PlatformThreadId = unsigned long;

// Operations on the calling thread. Every function may be called from any
// thread; none keeps state.
class PlatformThread {
 public:
  PlatformThread() = delete;

  // The id of the calling thread; never 0.
  static PlatformThreadId CurrentId();

  // Gives the rest of the time slice to any other ready thread.
  static void YieldThread();
};

}  // namespace base

#endif  // BASE_PLATFORM_THREAD_H_
