#include "test_support/test_files.h"

#include <windows.h>

#include <vector>

#include "base/base_paths.h"
#include "base/scoped_handle_win.h"

namespace test_support {

ScopedTempDir::ScopedTempDir(const std::wstring& name_part) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  static LONG counter = 0;
  const LONG serial = InterlockedIncrement(&counter);
  path_ = std::wstring(temp) + name_part + L"-" +
          std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(serial) + L"-" + std::to_wstring(GetTickCount());
  DeleteTree(path_);
  MakeFolder(path_);
}

ScopedTempDir::~ScopedTempDir() {
  DeleteTree(path_);
}

std::wstring TestProgramFolder() {
  return base::ExecutableFolder();
}

std::wstring FixturePath(const std::wstring& file_name) {
  return TestProgramFolder() + file_name;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteTextFile(const std::wstring& path, const std::string& contents) {
  base::OwnedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
  if (!file.is_valid())
    return false;
  DWORD written = 0;
  return WriteFile(file.get(), contents.data(),
                   static_cast<DWORD>(contents.size()), &written, nullptr) &&
         written == contents.size();
}

std::string ReadTextFile(const std::wstring& path) {
  base::OwnedHandle file(CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid())
    return std::string();
  std::string contents;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    contents.append(buffer, read);
  }
  return contents;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool MakeFolder(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

void DeleteTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..")
        continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace test_support
