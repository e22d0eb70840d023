#include "base/platform_thread.h"

#include <windows.h>

namespace base {

PlatformThreadId PlatformThread::CurrentId() {
  return GetCurrentThreadId();
}

void PlatformThread::YieldThread() {
  ::Sleep(0);
}

}  // namespace base
