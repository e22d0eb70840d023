#include "base/platform_thread.h"

#include <windows.h>

#include <cstring>

#include "base/logging.h"
#include "base/windows_version.h"

namespace base {

namespace {

// The exception code that debuggers take as "name this thread".
constexpr DWORD kThreadNameException = 0x406D1388;

// The record that comes with the exception, laid out as the debugger reads
// it from the exception's argument words: on 64-bit Windows the name
// pointer is 8 bytes wide and aligned, so the record is 24 bytes, not 16.
struct ThreadNameInfo {
  DWORD type;        // Always 0x1000.
  const char* name;  // The narrow name, in the named thread's process.
  DWORD thread_id;   // The thread to name.
  DWORD flags;       // Reserved, 0.
};

// The record as argument words: the whole record and no more, with the
// padding zeroed so that no stack garbage reaches the debugger.
constexpr DWORD kThreadNameWords =
    (sizeof(ThreadNameInfo) + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR);

// Set on a thread while it raises its naming exception, so that the handler
// continues only that exception and leaves every other one alone.
thread_local bool t_naming_thread = false;

LONG CALLBACK ContinueNamingException(EXCEPTION_POINTERS* pointers) {
  if (t_naming_thread &&
      pointers->ExceptionRecord->ExceptionCode == kThreadNameException) {
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// Removes a vectored exception handler when it goes out of scope.
class ScopedVectoredHandler {
 public:
  explicit ScopedVectoredHandler(PVECTORED_EXCEPTION_HANDLER handler)
      : cookie_(AddVectoredExceptionHandler(1, handler)) {}
  ScopedVectoredHandler(const ScopedVectoredHandler&) = delete;
  ScopedVectoredHandler& operator=(const ScopedVectoredHandler&) = delete;
  ~ScopedVectoredHandler() {
    if (cookie_)
      RemoveVectoredExceptionHandler(cookie_);
  }
  bool installed() const { return cookie_ != nullptr; }

 private:
  void* const cookie_;
};

DWORD WINAPI ThreadFunc(void* param) {
  static_cast<PlatformThread::Body*>(param)->RunThread();
  return 0;
}

// The wait in Join must have seen the thread end. The condition's text is
// given whole, as the program's checks have always shown it.
void CheckThreadEnded(DWORD result) {
  CheckOpResult check = CheckEQImpl(
      WAIT_OBJECT_0, result, "((((DWORD )0x00000000L) ) + 0 ) == result");
  if (check.failed())
    LogRecord(__FILE__, __LINE__, check.message());
}

// Raises the naming exception for the calling thread under a handler that
// continues it.
void RaiseThreadNameException(const char* name) {
  ThreadNameInfo info;
  std::memset(&info, 0, sizeof(info));
  info.type = 0x1000;
  info.name = name;
  info.thread_id = PlatformThread::CurrentId();
  info.flags = 0;
  ULONG_PTR words[kThreadNameWords] = {};
  std::memcpy(words, &info, sizeof(info));

  // A debugger that takes the exception names the thread and continues it;
  // one that passes it on leaves it to this handler, which continues it too,
  // so the program never sees it.
  const ScopedVectoredHandler handler(&ContinueNamingException);
  if (!handler.installed())
    return;
  t_naming_thread = true;
  RaiseException(kThreadNameException, 0, kThreadNameWords, words);
  t_naming_thread = false;
}

}  // namespace

PlatformThreadId PlatformThread::CurrentId() {
  return GetCurrentThreadId();
}

void PlatformThread::YieldThread() {
  ::Sleep(0);
}

void PlatformThread::Sleep(int duration_ms) {
  ::Sleep(duration_ms);
}

void PlatformThread::NameThread(const char* name) {
  if (!IsDebuggerPresent())
    return;
  RaiseThreadNameException(name);
}

bool PlatformThread::Create(size_t stack_size,
                            Body* body,
                            ThreadHandle* thread_handle) {
  DWORD flags = 0;
  if (stack_size > 0 && WindowsRelease() >= WINREL_XP) {
    flags = STACK_SIZE_PARAM_IS_A_RESERVATION;
  } else {
    stack_size = 0;
  }
  *thread_handle =
      CreateThread(nullptr, stack_size, &ThreadFunc, body, flags, nullptr);
  return *thread_handle != nullptr;
}

bool PlatformThread::StartDetached(size_t stack_size, Body* body) {
  ThreadHandle thread_handle = nullptr;
  if (!Create(stack_size, body, &thread_handle))
    return false;
  CloseHandle(thread_handle);
  return true;
}

void PlatformThread::Join(ThreadHandle thread_handle) {
  CHECK_OR_RETURN(thread_handle, );
  const DWORD result = WaitForSingleObject(thread_handle, INFINITE);
  CheckThreadEnded(result);
  CloseHandle(thread_handle);
}

}  // namespace base
