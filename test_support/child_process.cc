#include "test_support/child_process.h"

#include <vector>

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
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  base::OwnedHandle output;
  if (!output_file_.empty()) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    output.Set(CreateFileW(output_file_.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.is_valid())
      return false;
    startup_info.dwFlags = STARTF_USESTDHANDLES;
    startup_info.hStdOutput = output.get();
    startup_info.hStdError = output.get();
  }
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr,
                      output.is_valid(), 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup_info,
                      &process_info)) {
    return false;
  }
  CloseHandle(process_info.hThread);
  process_.Set(process_info.hProcess);
  id_ = process_info.dwProcessId;
  return true;
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
