#include "base/platform_thread.h"

#include <windows.h>

namespace base {

PlatformThreadId PlatformThread::CurrentId() {
  return GetCurrentThreadId();
}

void PlatformThread::YieldThread() {
  ::Sleep(0);
}

void PlatformThread::Sleep(int milliseconds) {
  ::Sleep(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds));
}

}  // namespace base
