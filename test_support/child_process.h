#ifndef TEST_SUPPORT_CHILD_PROCESS_H_
#define TEST_SUPPORT_CHILD_PROCESS_H_

#include <windows.h>

#include <string>

#include "base/scoped_handle_win.h"

namespace test_support {

// A program started by a test. A child still running when the holder goes
// away is terminated, so a failing test leaves no process behind. Used from
// one thread.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Starts `program` with the command line `"program" arguments`, in
  // `folder` (the test's current folder when empty).
  bool Start(const std::wstring& program,
             const std::wstring& arguments,
             const std::wstring& folder = std::wstring());
  // Sends the next started child's standard output and error to the file
  // `path` (replaced). Call before Start.
  void set_output_file(const std::wstring& path) { output_file_ = path; }
  // The started child's process id.
  DWORD id() const { return id_; }

  // Waits up to `timeout_ms` for the child to end. True when it ended; its
  // exit code is then in `exit_code`.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code);

  void Terminate();

 private:
  base::OwnedHandle process_;
  DWORD id_ = 0;
  std::wstring output_file_;
};

// Starts a program and waits for it; the exit code, or `kNoExitCode` when
// it could not start or did not end within `timeout_ms`.
inline constexpr DWORD kNoExitCode = 0xDEADBEEF;
DWORD RunToExit(const std::wstring& program,
                const std::wstring& arguments,
                DWORD timeout_ms,
                const std::wstring& folder = std::wstring());

}  // namespace test_support

#endif  // TEST_SUPPORT_CHILD_PROCESS_H_
