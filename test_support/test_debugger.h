#ifndef TEST_SUPPORT_TEST_DEBUGGER_H_
#define TEST_SUPPORT_TEST_DEBUGGER_H_

#include <windows.h>

#include <functional>

namespace test_support {

// Called for every exception the debuggee raises, with the debuggee's
// process handle (owned by the debugging system) and the event.
using ExceptionObserver =
    std::function<void(HANDLE process, const DEBUG_EVENT& event)>;

// Attaches to `process_id` as its debugger and serves its debug events until
// it exits, continuing breakpoints and passing every other exception back to
// the debuggee, as a debugger that only watches would. False when attaching
// fails or the process runs past `timeout_ms`; otherwise its exit code is in
// `exit_code`. Call from one thread.
bool DebugUntilExit(DWORD process_id,
                    DWORD timeout_ms,
                    DWORD* exit_code,
                    const ExceptionObserver& observer = nullptr);

}  // namespace test_support

#endif  // TEST_SUPPORT_TEST_DEBUGGER_H_
