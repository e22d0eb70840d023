#ifndef CRASH_HANDLER_RUNTIME_HOOKS_WIN_H_
#define CRASH_HANDLER_RUNTIME_HOOKS_WIN_H_

#include <cstdint>

namespace crash_handler {

// Hooks into the C runtime's reports of a pure-virtual call and of an
// invalid parameter, which our compiler's runtime does not offer in the
// form the crash handler needs.
//
// A pure-virtual call goes to this library's own `__cxa_pure_virtual`, which
// runs the installed handler; when there is none, or the handler returns,
// it reports the call on standard error and aborts, as the compiler's own
// runtime does. Invalid parameters are reported by the platform's C runtime
// DLLs: FindLoadedRuntimes finds those loaded in the process that accept a
// handler, and while a handler is set each of them reports to it; each gets
// its own earlier handler back when the handler is removed. A runtime loaded
// after the last FindLoadedRuntimes is not covered. Every function may be
// called from any thread; the setters take no loader lock, so they are safe
// on a faulting thread.
using PureCallHandler = void (*)();
using InvalidParameterHandler = void (*)(const wchar_t* expression,
                                         const wchar_t* function,
                                         const wchar_t* file,
                                         unsigned int line,
                                         uintptr_t reserved);

// Installs `handler` (null removes it) and answers the one it replaces.
PureCallHandler SetPureCallHandler(PureCallHandler handler);

// Looks for C runtimes loaded since the last call; a handler already set
// reaches them at once. Takes the loader lock: never call it while holding
// a lock that a faulting thread may need.
void FindLoadedRuntimes();

// Installs `handler` (null removes it) and answers the one it replaces.
InvalidParameterHandler SetInvalidParameterHandler(
    InvalidParameterHandler handler);

// The number of loaded C runtimes that currently report to our handler.
int HookedRuntimeCount();

}  // namespace crash_handler

#endif  // CRASH_HANDLER_RUNTIME_HOOKS_WIN_H_
