#include "base/debug_util.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "base/logging.h"
#include "base/process_util.h"
#include "base/registry.h"
#include "base/scoped_handle_win.h"

namespace base {
namespace {

const wchar_t kAeDebugKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
const wchar_t kPidPlaceholder[] = L"%ld";
constexpr size_t kPidPlaceholderLength = 3;
// Room kept for one expanded "%ld": the longest decimal process id.
constexpr size_t kPidRoom = 12;
// The registered debugger's command line, before and after expansion.
constexpr size_t kDebuggerCommandLength = 1026;
constexpr int kWaitStepMs = 100;
constexpr int kWaitStepsPerSecond = 10;
constexpr int kStartupWaitSeconds = 60;
constexpr DWORD kDebuggerReadyTimeoutMs = 10000;

bool IsSwitchPrefix(wchar_t c) {
  return c == L'-' || c == L'/';
}

bool EndsSwitchName(wchar_t c) {
  return c == L'\0' || c == L' ' || c == L'=';
}

bool EqualIgnoringCase(const wchar_t* a, const wchar_t* b, size_t length) {
  const int size = static_cast<int>(length);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, size, b,
                        size) == CSTR_EQUAL;
}

}  // namespace

bool IsDebuggerAttached() {
  return IsDebuggerPresent() != FALSE;
}

void TrapToDebugger() {
  DebugBreak();
}

bool AwaitDebugger(int seconds, bool silent) {
  const int64_t steps = int64_t{seconds} * kWaitStepsPerSecond;
  for (int64_t step = 0; step < steps; ++step) {
    if (IsDebuggerAttached()) {
      if (!silent)
        TrapToDebugger();
      return true;
    }
    Sleep(kWaitStepMs);
  }
  return false;
}

bool LaunchJitDebugger(unsigned long process_id) {
  wchar_t reg_value[kDebuggerCommandLength];
  size_t length = kDebuggerCommandLength;
  if (!ReadRegistryText(HKEY_LOCAL_MACHINE, kAeDebugKey, L"Debugger", reg_value,
                        &length)) {
    return false;
  }
  wchar_t command_line[kDebuggerCommandLength];
  if (!ExpandPidPattern(reg_value, process_id, command_line,
                        kDebuggerCommandLength)) {
    return false;
  }
  OwnedHandle process;
  if (!LaunchProcess(command_line, LaunchOptions(), &process))
    return false;
  WaitForInputIdle(process.get(), kDebuggerReadyTimeoutMs);
  return true;
}

bool ExpandPidPattern(const wchar_t* pattern,
                      unsigned long process_id,
                      wchar_t* out,
                      size_t length) {
  if (length == 0)
    return false;
  std::wmemset(out, L'\0', length);
  const std::wstring id = std::to_wstring(process_id);
  size_t written = 0;
  while (*pattern) {
    if (std::wcsncmp(pattern, kPidPlaceholder, kPidPlaceholderLength) == 0) {
      if (written + kPidRoom >= length)
        return false;
      id.copy(out + written, id.size());
      written += id.size();
      pattern += kPidPlaceholderLength;
      continue;
    }
    if (written + 1 >= length)
      return false;
    out[written++] = *pattern++;
  }
  return true;
}

bool RawSwitchPresent(const wchar_t* text, const wchar_t* name) {
  const size_t text_length = std::wcslen(text);
  const size_t name_length = std::wcslen(name);
  if (name_length == 0)
    return false;
  for (size_t i = 0; i + 1 + name_length <= text_length; ++i) {
    const wchar_t* candidate = text + i + 1;
    if (IsSwitchPrefix(text[i]) && EndsSwitchName(candidate[name_length]) &&
        EqualIgnoringCase(candidate, name, name_length)) {
      return true;
    }
  }
  return false;
}

int StartupDebugHook() {
  const wchar_t* const command_line = GetCommandLineW();
  if (RawSwitchPresent(command_line, L"debug-on-start")) {
    // Without a usable registration this is a plain wait for a debugger.
    LaunchJitDebugger(GetCurrentProcessId());
    AwaitDebugger(kStartupWaitSeconds, false);
  } else if (RawSwitchPresent(command_line, L"wait-for-debugger")) {
    AwaitDebugger(kStartupWaitSeconds, true);
  }
  return 0;
}

const void* const* CallStackRecord::ReturnAddresses(size_t* count) const {
  *count = count_;
  return count_ == 0 ? nullptr : addresses_;
}

void CallStackRecord::Print() const {
  LOG(ERROR) << "NOT IMPLEMENTED";
}

}  // namespace base
