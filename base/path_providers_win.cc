#include "base/path_providers.h"

#include <windows.h>

#include <shlobj.h>

#include <atomic>

#include "base/base_paths.h"
#include "base/file_util.h"
#include "base/path_service.h"
#include "base/windows_version.h"

// The image base of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {
namespace {

std::atomic<ModulePathFunction> g_module_path_function{&ModuleFilePath};

// The shell folder numbers of the platform keys that are plain shell
// folders; 0 for the others.
int ShellFolderOf(int key) {
  switch (key) {
    case DIR_PROGRAMS_FOLDER:
      return CSIDL_PROGRAM_FILES;  // 38
    case DIR_BROWSER_CACHE:
      return CSIDL_INTERNET_CACHE;  // 32
    case DIR_ALL_USERS_START_MENU:
      return CSIDL_COMMON_PROGRAMS;  // 23
    case DIR_USER_START_MENU:
      return CSIDL_PROGRAMS;  // 2
    case DIR_ROAMING_APP_DATA:
      return CSIDL_APPDATA;  // 26
    case DIR_LOCAL_APP_DATA_FOLDER:
      return CSIDL_LOCAL_APPDATA;  // 28
    default:
      return 0;
  }
}

bool ShellFolder(int csidl, std::wstring* path) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                              buffer))) {
    return false;
  }
  path->assign(buffer);
  return true;
}

// The answer of a folder query that writes into a MAX_PATH buffer and
// answers the length, or the size it would need.
bool SystemFolder(UINT(WINAPI* query)(LPWSTR, UINT), std::wstring* path) {
  wchar_t buffer[MAX_PATH];
  const UINT length = query(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return false;
  path->assign(buffer, length);
  return true;
}

bool ModulePath(const void* module, std::wstring* path) {
  *path = g_module_path_function.load()(module);
  return !path->empty();
}

}  // namespace

bool BasePathProvider(int key, FilePath* path) {
  FilePath answer;
  switch (key) {
    case DIR_EXECUTABLE:
    case DIR_CODE_MODULE:
      // A file that cannot be found has no folder: the failure is passed
      // on, so that nothing wrong is cached.
      if (!PathKeyService::Get(
              key == DIR_EXECUTABLE ? FILE_EXECUTABLE : FILE_CODE_MODULE,
              &answer)) {
        return false;
      }
      answer = answer.ParentDir();
      break;
    case DIR_TEMPORARY:
      if (!GetTempFolder(&answer))
        return false;
      break;
    default:
      return false;
  }
  *path = answer;
  return true;
}

bool PlatformPathProvider(int key, FilePath* path) {
  std::wstring answer;
  switch (key) {
    case FILE_EXECUTABLE:
      if (!ModulePath(nullptr, &answer))
        return false;
      break;
    case FILE_CODE_MODULE:
      if (!ModulePath(&__ImageBase, &answer))
        return false;
      break;
    case DIR_OS_WINDOWS:
      if (!SystemFolder(&GetWindowsDirectoryW, &answer))
        return false;
      break;
    case DIR_OS_SYSTEM:
      if (!SystemFolder(&GetSystemDirectoryW, &answer))
        return false;
      break;
    case DIR_PROGRAMS_FOLDER:
    case DIR_BROWSER_CACHE:
    case DIR_ALL_USERS_START_MENU:
    case DIR_USER_START_MENU:
    case DIR_ROAMING_APP_DATA:
    case DIR_LOCAL_APP_DATA_FOLDER:
      if (!ShellFolder(ShellFolderOf(key), &answer))
        return false;
      break;
    case DIR_LOW_INTEGRITY_APP_DATA:
      if (WindowsRelease() < WINREL_VISTA ||
          !ShellFolder(CSIDL_APPDATA, &answer)) {
        return false;
      }
      GoUpOneDirectory(&answer);
      AppendPathPiece(&answer, L"LocalLow");
      break;
    case DIR_EXECUTABLE_GRANDPARENT:
      if (!PathKeyService::Get(DIR_EXECUTABLE, &answer))
        return false;
      GoUpOneDirectory(&answer);
      GoUpOneDirectory(&answer);
      break;
    default:
      return false;
  }
  *path = FilePath(answer);
  return true;
}

ModulePathFunction SetModulePathFunctionForTesting(
    ModulePathFunction function) {
  return g_module_path_function.exchange(function ? function : &ModuleFilePath);
}

}  // namespace base
