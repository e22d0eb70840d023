#ifndef BASE_PROCESS_UTIL_H_
#define BASE_PROCESS_UTIL_H_

#include <windows.h>

#include <string>

#include "base/scoped_handle_win.h"

// Starting, waiting for and ending other processes. The one place that
// starts a process: the fatal-message program, the just-in-time debugger,
// the update program and the programs that tests start all go through
// LaunchProcess. Free functions without state; any thread may call them.

namespace base {

// How LaunchProcess starts a program.
struct LaunchOptions {
  // The program file. Empty: the first token of the command line names it,
  // and the platform looks for it on its search path.
  std::wstring program;
  // The child's current folder; empty: this process's current folder.
  std::wstring folder;
  // The show state that the child's first window takes (SW_HIDE, SW_SHOW);
  // kDefaultShowState leaves it to the child.
  static constexpr int kDefaultShowState = -1;
  int show_state = kDefaultShowState;
  // When given, inherited as the child's standard output and standard
  // error. The caller keeps it.
  HANDLE output = nullptr;
};

// Starts a process with the command line `command_line` (the platform may
// change its private copy, never this string). On success the process
// handle goes to `process` when it is given (and is closed otherwise), the
// process id to `process_id` when given, and the answer is true.
bool LaunchProcess(const std::wstring& command_line,
                   const LaunchOptions& options,
                   OwnedHandle* process,
                   DWORD* process_id = nullptr);

}  // namespace base

#endif  // BASE_PROCESS_UTIL_H_
