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
// DLLs: the handler is installed into every such DLL loaded in the process
// that accepts one, and each DLL gets its own earlier handler back when the
// handler is removed. A runtime loaded after the handler was installed is
// not covered. Both setters may be called from any thread.
using PureCallHandler = void (*)();
using InvalidParameterHandler = void (*)(const wchar_t* expression,
                                         const wchar_t* function,
                                         const wchar_t* file,
                                         unsigned int line,
                                         uintptr_t reserved);

// Installs `handler` (null removes it) and answers the one it replaces.
PureCallHandler SetPureCallHandler(PureCallHandler handler);

// Installs `handler` (null removes it) and answers the one it replaces.
InvalidParameterHandler SetInvalidParameterHandler(
    InvalidParameterHandler handler);

// The number of loaded C runtimes that currently report to our handler.
int HookedRuntimeCount();

}  // namespace crash_handler

#endif  // CRASH_HANDLER_RUNTIME_HOOKS_WIN_H_
