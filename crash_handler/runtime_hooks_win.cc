#include "crash_handler/runtime_hooks_win.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

// This file must define no class with virtual functions: where a vtable is
// emitted, our compiler makes `__cxa_pure_virtual` a weak definition, and
// the linker may then leave the vtable slots that point at it empty.

namespace crash_handler {
namespace {

std::atomic<PureCallHandler> g_pure_call_handler{nullptr};
std::atomic<InvalidParameterHandler> g_invalid_parameter_handler{nullptr};

// The C runtime DLLs that may report invalid parameters to a handler.
// Several names may resolve to one DLL; each DLL is hooked once.
constexpr const wchar_t* kRuntimeNames[] = {
    L"ucrtbase.dll", L"ucrtbased.dll", L"msvcrt.dll",  L"msvcr120.dll",
    L"msvcr110.dll", L"msvcr100.dll",  L"msvcr90.dll", L"msvcr80.dll",
};
constexpr int kMaxRuntimes = sizeof(kRuntimeNames) / sizeof(kRuntimeNames[0]);

using SetHandlerFunction =
    InvalidParameterHandler(__cdecl*)(InvalidParameterHandler);

// A runtime that reports to our handler, and the handler it had before.
struct HookedRuntime {
  SetHandlerFunction set_handler;
  InvalidParameterHandler previous;
};

// Guards the table of hooked runtimes; constant-initialised, so it works
// from static constructors and destructors too.
SRWLOCK g_runtimes_lock = SRWLOCK_INIT;
HookedRuntime g_runtimes[kMaxRuntimes];  // Guarded by g_runtimes_lock.
int g_runtime_count = 0;                 // Guarded by g_runtimes_lock.

void ReportToInstalledHandler(const wchar_t* expression,
                              const wchar_t* function,
                              const wchar_t* file,
                              unsigned int line,
                              uintptr_t reserved) {
  const InvalidParameterHandler handler = g_invalid_parameter_handler.load();
  if (handler)
    handler(expression, function, file, line, reserved);
}

SetHandlerFunction FindSetHandler(const wchar_t* runtime_name) {
  const HMODULE runtime = GetModuleHandleW(runtime_name);
  if (!runtime)
    return nullptr;
  return reinterpret_cast<SetHandlerFunction>(reinterpret_cast<void*>(
      GetProcAddress(runtime, "_set_invalid_parameter_handler")));
}

bool AlreadyHooked(SetHandlerFunction set_handler) {
  for (int i = 0; i < g_runtime_count; ++i) {
    if (g_runtimes[i].set_handler == set_handler)
      return true;
  }
  return false;
}

void HookLoadedRuntimes() {
  for (const wchar_t* name : kRuntimeNames) {
    const SetHandlerFunction set_handler = FindSetHandler(name);
    if (!set_handler || AlreadyHooked(set_handler))
      continue;
    g_runtimes[g_runtime_count++] = {set_handler,
                                     set_handler(&ReportToInstalledHandler)};
  }
}

void UnhookRuntimes() {
  for (int i = 0; i < g_runtime_count; ++i)
    g_runtimes[i].set_handler(g_runtimes[i].previous);
  g_runtime_count = 0;
}

}  // namespace

PureCallHandler SetPureCallHandler(PureCallHandler handler) {
  return g_pure_call_handler.exchange(handler);
}

InvalidParameterHandler SetInvalidParameterHandler(
    InvalidParameterHandler handler) {
  AcquireSRWLockExclusive(&g_runtimes_lock);
  const InvalidParameterHandler previous =
      g_invalid_parameter_handler.exchange(handler);
  if (handler)
    HookLoadedRuntimes();
  else
    UnhookRuntimes();
  ReleaseSRWLockExclusive(&g_runtimes_lock);
  return previous;
}

int HookedRuntimeCount() {
  AcquireSRWLockShared(&g_runtimes_lock);
  const int count = g_runtime_count;
  ReleaseSRWLockShared(&g_runtimes_lock);
  return count;
}

}  // namespace crash_handler

// Every call of a pure virtual function lands here.
extern "C" void __cxa_pure_virtual() {
  const crash_handler::PureCallHandler handler =
      crash_handler::g_pure_call_handler.load();
  if (handler)
    handler();
  static const char kMessage[] = "pure virtual method called\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof(kMessage) - 1,
            &written, nullptr);
  std::abort();
}
