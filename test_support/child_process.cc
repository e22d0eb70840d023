#include "test_support/child_process.h"

#include "base/process_util.h"

namespace test_support {

ChildProcess::~ChildProcess() {
  Terminate();
}

bool ChildProcess::Start(const std::wstring& program,
                         const std::wstring& arguments,
                         const std::wstring& folder) {
  std::wstring command_line = L"\"" + program + L"\"";
  if (!arguments.empty())
    command_line += L" " + arguments;
  base::LaunchOptions options;
  options.program = program;
  options.folder = folder;
  base::OwnedHandle output;
  if (!output_file_.empty()) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    output.Set(CreateFileW(output_file_.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.is_valid())
      return false;
    options.output = output.get();
  }
  return base::LaunchProcess(command_line, options, &process_, &id_);
}

bool ChildProcess::WaitForExit(DWORD timeout_ms, DWORD* exit_code) {
  if (!process_.is_valid() ||
      WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) {
    return false;
  }
  GetExitCodeProcess(process_.get(), exit_code);
  process_.Close();
  return true;
}

void ChildProcess::Terminate() {
  if (!process_.is_valid())
    return;
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), 10000);
  process_.Close();
}

DWORD RunToExit(const std::wstring& program,
                const std::wstring& arguments,
                DWORD timeout_ms,
                const std::wstring& folder) {
  ChildProcess child;
  DWORD exit_code = kNoExitCode;
  if (!child.Start(program, arguments, folder) ||
      !child.WaitForExit(timeout_ms, &exit_code)) {
    return kNoExitCode;
  }
  return exit_code;
}

}  // namespace test_support
