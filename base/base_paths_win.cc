#include "base/base_paths.h"

#include <windows.h>

namespace base {

std::wstring ModuleFilePath(const void* module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(
      static_cast<HMODULE>(const_cast<void*>(module)), path, MAX_PATH);
  // A full buffer means the path was cut (older releases do not even say
  // so).
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  return std::wstring(path, length);
}

}  // namespace base
