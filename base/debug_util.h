#ifndef BASE_DEBUG_UTIL_H_
#define BASE_DEBUG_UTIL_H_

#include <cstddef>

// Getting a debugger onto the process: whether one is attached, breaking
// into it, starting the system's registered just-in-time debugger on a
// process and waiting for a debugger to attach. The functions keep no state;
// any thread may call them. The start-up hook that acts on the
// "debug-on-start" and "wait-for-debugger" switches lives in its own unit
// (startup_debug_hook_win.cc), linked into the executables that want it.

namespace base {

bool IsDebuggerAttached();

// Executes a breakpoint instruction in the calling thread. Without a
// debugger the breakpoint exception takes the unhandled-exception path.
void TrapToDebugger();

// Waits up to `seconds` in 100 ms steps for a debugger to attach. Once one
// is attached, breaks into it unless `silent`, and answers true.
bool AwaitDebugger(int seconds, bool silent);

// Starts the debugger registered for just-in-time debugging on process
// `process_id` and waits up to 10 s for it to be ready for input. False when
// there is no usable registration or it cannot be started.
bool LaunchJitDebugger(unsigned long process_id);

// Copies `pattern` into `out` (a buffer of `length` wide characters) with
// every "%ld" replaced by `process_id` in decimal. False, with a terminated
// but incomplete result, when the expansion does not fit.
bool ExpandPidPattern(const wchar_t* pattern,
                      unsigned long process_id,
                      wchar_t* out,
                      size_t length);

// Whether the raw command line `text` carries the switch `name`: "-" or "/"
// right before the name (compared without case), and the end of the text, a
// blank or "=" right after it. "--name" and "/NAME=1" count; a name that is
// only the start of a longer word does not.
bool RawSwitchPresent(const wchar_t* text, const wchar_t* name);

// Run by the start-up hook before the program's static objects are made:
// "debug-on-start" starts the just-in-time debugger and waits up to 60 s for
// it, breaking into it once attached; "wait-for-debugger" waits up to 60 s
// without breaking. Returns 0 so that start-up goes on.
int StartupDebugHook();

// The return addresses of a call stack. Stack walking is not provided on
// this platform, so the list stays empty.
class CallStackRecord {
 public:
  CallStackRecord() = default;

  // The first address and, in `count`, how many there are; null when the
  // list is empty.
  const void* const* ReturnAddresses(size_t* count) const;

  // Logs that printing is not implemented.
  void Print() const;

 private:
  static constexpr size_t kMaxAddresses = 62;
  const void* addresses_[kMaxAddresses] = {};
  size_t count_ = 0;
};

}  // namespace base

#endif  // BASE_DEBUG_UTIL_H_
