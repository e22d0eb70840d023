#include "crash_handler/runtime_hooks_win.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "base/fault_safe_writer.h"
#include "base/lock_impl.h"

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

// A runtime found loaded, and the handler it had before ours.
struct KnownRuntime {
  SetHandlerFunction set_handler;
  InvalidParameterHandler previous;
  bool hooked;
};

// Guards the table of known runtimes; constant-initialised, so it works
// from static constructors and destructors too. Never held while the
// loader lock is taken: a thread that faults while holding the loader lock
// must still get through.
base::StaticLock g_runtimes_lock;
KnownRuntime g_runtimes[kMaxRuntimes];  // Guarded by g_runtimes_lock.
int g_runtime_count = 0;                // Guarded by g_runtimes_lock.

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

bool IsKnown(SetHandlerFunction set_handler) {
  for (int i = 0; i < g_runtime_count; ++i) {
    if (g_runtimes[i].set_handler == set_handler)
      return true;
  }
  return false;
}

void Hook(KnownRuntime& runtime) {
  if (runtime.hooked)
    return;
  runtime.previous = runtime.set_handler(&ReportToInstalledHandler);
  runtime.hooked = true;
}

void Unhook(KnownRuntime& runtime) {
  if (!runtime.hooked)
    return;
  runtime.set_handler(runtime.previous);
  runtime.hooked = false;
}

}  // namespace

PureCallHandler SetPureCallHandler(PureCallHandler handler) {
  return g_pure_call_handler.exchange(handler);
}

void FindLoadedRuntimes() {
  // The look-ups take the loader lock; ours is taken only afterwards.
  SetHandlerFunction found[kMaxRuntimes];
  int found_count = 0;
  for (const wchar_t* name : kRuntimeNames) {
    if (const SetHandlerFunction set_handler = FindSetHandler(name))
      found[found_count++] = set_handler;
  }

  base::StaticLockGuard guard(g_runtimes_lock);
  const bool handler_installed = g_invalid_parameter_handler.load() != nullptr;
  for (int i = 0; i < found_count; ++i) {
    if (IsKnown(found[i]))
      continue;
    KnownRuntime& runtime = g_runtimes[g_runtime_count++];
    runtime = {found[i], nullptr, false};
    if (handler_installed)
      Hook(runtime);
  }
}

InvalidParameterHandler SetInvalidParameterHandler(
    InvalidParameterHandler handler) {
  base::StaticLockGuard guard(g_runtimes_lock);
  const InvalidParameterHandler previous =
      g_invalid_parameter_handler.exchange(handler);
  for (int i = 0; i < g_runtime_count; ++i) {
    if (handler)
      Hook(g_runtimes[i]);
    else
      Unhook(g_runtimes[i]);
  }
  return previous;
}

int HookedRuntimeCount() {
  base::StaticLockGuard guard(g_runtimes_lock);
  int count = 0;
  for (int i = 0; i < g_runtime_count; ++i)
    count += g_runtimes[i].hooked ? 1 : 0;
  return count;
}

}  // namespace crash_handler

// Every call of a pure virtual function lands here.
extern "C" void __cxa_pure_virtual() {
  const crash_handler::PureCallHandler handler =
      crash_handler::g_pure_call_handler.load();
  if (handler)
    handler();
  base::FaultSafeWriter().Append("pure virtual method called\n").Write();
  std::abort();
}
