#include "base/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>

namespace base {
namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** args) const { LocalFree(args); }
};

}  // namespace

std::vector<std::wstring> SplitCommandLineArguments(const std::wstring& text) {
  int num_args = 0;
  std::unique_ptr<wchar_t*, LocalFreeDeleter> args(
      CommandLineToArgvW(text.c_str(), &num_args));
  std::vector<std::wstring> result;
  if (!args)
    return result;
  for (int i = 0; i < num_args; ++i)
    result.emplace_back(args.get()[i]);
  return result;
}

std::wstring ProcessCommandLineText() {
  const wchar_t* text = GetCommandLineW();
  return text ? std::wstring(text) : std::wstring();
}

}  // namespace base
