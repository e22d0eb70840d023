#include "test_support/test_debugger.h"

namespace test_support {

bool DebugUntilExit(DWORD process_id,
                    DWORD timeout_ms,
                    DWORD* exit_code,
                    const ExceptionObserver& observer) {
  if (!DebugActiveProcess(process_id))
    return false;
  HANDLE process = nullptr;  // Owned by the debugging system.
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    DEBUG_EVENT event = {};
    if (elapsed >= timeout_ms ||
        !WaitForDebugEvent(&event, timeout_ms - elapsed)) {
      break;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        process = event.u.CreateProcessInfo.hProcess;
        CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT:
        if (observer)
          observer(process, event);
        if (event.u.Exception.ExceptionRecord.ExceptionCode !=
            EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        *exit_code = event.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        return true;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  DebugActiveProcessStop(process_id);
  return false;
}

}  // namespace test_support
