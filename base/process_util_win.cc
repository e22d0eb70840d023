#include "base/process_util.h"

#include <vector>

namespace base {

bool LaunchProcess(const std::wstring& command_line,
                   const LaunchOptions& options,
                   OwnedHandle* process,
                   DWORD* process_id) {
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  if (options.show_state != LaunchOptions::kDefaultShowState) {
    startup_info.dwFlags |= STARTF_USESHOWWINDOW;
    startup_info.wShowWindow = static_cast<WORD>(options.show_state);
  }
  const bool inherit_output = options.output != nullptr;
  if (inherit_output) {
    startup_info.dwFlags |= STARTF_USESTDHANDLES;
    startup_info.hStdOutput = options.output;
    startup_info.hStdError = options.output;
  }
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(
          options.program.empty() ? nullptr : options.program.c_str(),
          writable.data(), nullptr, nullptr, inherit_output, 0, nullptr,
          options.folder.empty() ? nullptr : options.folder.c_str(),
          &startup_info, &process_info)) {
    return false;
  }
  const OwnedHandle thread(process_info.hThread);
  OwnedHandle started(process_info.hProcess);
  if (process)
    *process = std::move(started);
  if (process_id)
    *process_id = process_info.dwProcessId;
  return true;
}

}  // namespace base
