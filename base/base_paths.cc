#include "base/base_paths.h"

namespace base {

std::wstring ExecutablePath() {
  return ModuleFilePath(nullptr);
}

std::wstring FolderOfPath(const std::wstring& path) {
  const size_t last_backslash = path.rfind(L'\\');
  if (last_backslash == std::wstring::npos || last_backslash == 0)
    return path;
  return path.substr(0, last_backslash + 1);
}

std::wstring ExecutableFolder() {
  const std::wstring path = ExecutablePath();
  return path.empty() ? std::wstring() : FolderOfPath(path);
}

}  // namespace base
