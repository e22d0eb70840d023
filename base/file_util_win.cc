#include "base/file_util.h"

#include <windows.h>

#include <io.h>
#include <share.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/file_util_win.h"
#include "base/logging.h"
#include "base/number_conversions.h"
#include "base/scoped_handle_win.h"
#include "base/string_util.h"
#include "base/win_util.h"
#include "base/windows_version.h"

namespace base {
namespace {

// Shell operation flags for a move that takes the new folder's security.
constexpr FILEOP_FLAGS kMoveWithoutSecurityFlags =
    FOF_NOERRORUI | FOF_NOCONFIRMMKDIR | FOF_NOCOPYSECURITYATTRIBS |
    FOF_SILENT | FOF_NOCONFIRMATION;

// ReadWholeFile's block, and SameContents' read size.
constexpr size_t kReadBlockSize = 65536;
constexpr size_t kCompareBlockSize = 2056;

constexpr int kTempFolderAttempts = 50;

bool FitsInPathBuffer(const std::wstring& path) {
  return path.size() < MAX_PATH;
}

bool HasWildcard(const std::wstring& name) {
  return name.find_first_of(L"*?") != std::wstring::npos;
}

bool IsDotOrDotDot(const wchar_t* name) {
  return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// Closes a find handle when it goes out of scope.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (is_valid())
      FindClose(handle_);
  }
  bool is_valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// One file or folder found by ListMatches.
struct Entry {
  std::wstring path;
  std::wstring name;
  DWORD attributes;

  bool is_folder() const { return attributes & FILE_ATTRIBUTE_DIRECTORY; }
  // A link to a folder: removed as a link, never entered.
  bool is_link() const { return attributes & FILE_ATTRIBUTE_REPARSE_POINT; }
};

// What ListMatches found.
enum class ListResult {
  kFound,        // At least one entry.
  kNoMatch,      // The folder exists and nothing in it matches.
  kMissingPath,  // The folder itself is missing.
  kError,        // The folder could not be read.
};

// The entries that `pattern` names (its last component may hold
// wildcards), except "." and "..". Each entry's path is the pattern's own
// folder text followed by the entry's name.
ListResult ListMatches(const std::wstring& pattern,
                       std::vector<Entry>* entries) {
  entries->clear();
  std::wstring search = pattern;
  DropTrailingSeparators(&search);
  const size_t separator = search.find_last_of(FilePath::kPathSeparators);
  std::wstring folder;
  if (separator != std::wstring::npos)
    folder = search.substr(0, separator + 1);
  else if (FilePath::DriveLetterIndex(search) != FilePath::kNoPosition)
    folder = search.substr(0, 2);

  WIN32_FIND_DATAW data;
  const FindHandle find(FindFirstFileW(search.c_str(), &data));
  if (!find.is_valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
      return ListResult::kNoMatch;
    if (error == ERROR_PATH_NOT_FOUND)
      return ListResult::kMissingPath;
    return ListResult::kError;
  }
  do {
    if (!IsDotOrDotDot(data.cFileName)) {
      entries->push_back(
          {folder + data.cFileName, data.cFileName, data.dwFileAttributes});
    }
  } while (FindNextFileW(find.get(), &data));
  if (GetLastError() != ERROR_NO_MORE_FILES)
    return ListResult::kError;
  return entries->empty() ? ListResult::kNoMatch : ListResult::kFound;
}

bool DeleteEntry(const Entry& entry, bool recursive);

// Deletes everything inside `folder`; false when anything stays.
bool DeleteFolderContents(const std::wstring& folder) {
  std::vector<Entry> entries;
  const ListResult listed = ListMatches(folder + L"\\*", &entries);
  if (listed == ListResult::kError || listed == ListResult::kMissingPath)
    return false;
  bool all_deleted = true;
  for (const Entry& entry : entries)
    all_deleted = DeleteEntry(entry, true) && all_deleted;
  return all_deleted;
}

bool DeleteEntry(const Entry& entry, bool recursive) {
  if (!entry.is_folder())
    return DeleteFileW(entry.path.c_str()) != 0;
  // Not recursive, or a link: removing the folder fails unless it is empty
  // (or a link, which goes without its target).
  if (recursive && !entry.is_link() && !DeleteFolderContents(entry.path))
    return false;
  return RemoveDirectoryW(entry.path.c_str()) != 0;
}

bool CopyEntry(const Entry& entry, const std::wstring& target, bool recursive);

// Creates `target` if needed and, when `recursive`, copies everything in
// `folder` into it.
bool CopyFolder(const std::wstring& folder,
                const std::wstring& target,
                bool recursive) {
  if (!MakeDirectory(target))
    return false;
  if (!recursive)
    return true;
  std::vector<Entry> entries;
  const ListResult listed = ListMatches(folder + L"\\*", &entries);
  if (listed == ListResult::kError || listed == ListResult::kMissingPath)
    return false;
  bool all_copied = true;
  for (const Entry& entry : entries) {
    all_copied =
        CopyEntry(entry, target + L"\\" + entry.name, true) && all_copied;
  }
  return all_copied;
}

bool CopyEntry(const Entry& entry, const std::wstring& target, bool recursive) {
  if (entry.is_folder())
    return CopyFolder(entry.path, target, recursive);
  return CopyFileW(entry.path.c_str(), target.c_str(), FALSE) != 0;
}

// Writes `size` bytes to `file`, opened by the caller for `path`, with the
// warnings of a failed or short write.
int WriteOpenFile(const OwnedHandle& file,
                  const FilePath& path,
                  const char* data,
                  int size) {
  DWORD written = 0;
  if (!WriteFile(file.get(), data, static_cast<DWORD>(size), &written,
                 nullptr)) {
    const DWORD error = GetLastError();
    LOG(WARNING) << "writing file " << path.text()
                 << " failed, error code=" << error
                 << " description=" << SystemErrorText(error);
    return -1;
  }
  if (written != static_cast<DWORD>(size)) {
    LOG(WARNING) << "wrote" << written << " bytes to " << path.text()
                 << " expected " << size;
    return -1;
  }
  return size;
}

// Opens `path` for writing as `access` and `disposition` say, then writes.
int WriteToFile(const FilePath& path,
                const char* data,
                int size,
                DWORD access,
                DWORD disposition) {
  // Checked before the file is opened: a create-always open would already
  // have emptied it.
  if (size < 0 || (size > 0 && !data))
    return -1;
  const OwnedHandle file(CreateFileW(path.text().c_str(), access, 0, nullptr,
                                     disposition, 0, nullptr));
  if (!file.is_valid()) {
    const DWORD error = GetLastError();
    LOG(WARNING) << "CreateFile failed for path " << path.text()
                 << " error code=" << error
                 << " error text=" << SystemErrorText(error);
    return -1;
  }
  return WriteOpenFile(file, path, data, size);
}

// The shell's list format: the text followed by two NULs.
std::wstring ShellList(const FilePath& path) {
  std::wstring list = path.text();
  list.push_back(L'\0');
  return list;  // c_str() adds the second.
}

}  // namespace

bool DoesPathExist(const FilePath& path) {
  return GetFileAttributesW(path.text().c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DoesPathExist(const std::wstring& path) {
  return DoesPathExist(FilePath::FromWideString(path));
}

bool IsWritablePath(const FilePath& path) {
  const OwnedHandle file(
      CreateFileW(path.text().c_str(), FILE_ADD_FILE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.is_valid();
}

bool IsWritablePath(const std::wstring& path) {
  return IsWritablePath(FilePath::FromWideString(path));
}

bool IsExistingDirectory(const FilePath& path) {
  const DWORD attributes = GetFileAttributesW(path.text().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingDirectory(const std::wstring& path) {
  return IsExistingDirectory(FilePath::FromWideString(path));
}

bool EnsureTrailingSeparator(FilePath* dir) {
  if (!IsExistingDirectory(*dir))
    return false;
  if (!HasTrailingSeparator(*dir))
    *dir = FilePath(dir->text() + FilePath::kPathSeparators[0]);
  return true;
}

std::wstring DirectoryOfPath(const std::wstring& path) {
  wchar_t full_path[MAX_PATH];
  wchar_t* file_part = nullptr;
  const DWORD length =
      GetFullPathNameW(path.c_str(), MAX_PATH, full_path, &file_part);
  // An answer of MAX_PATH or more is the size the path would need.
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  std::wstring directory;
  if (!file_part) {
    directory = path;
  } else {
    // The file name is cut from the caller's own text, measured from its
    // end, so that the folder keeps the caller's form (relative, "..").
    const std::wstring file_name(file_part);
    const size_t name_start =
        path.size() - std::min(path.size(), file_name.size());
    if (path.compare(name_start, std::wstring::npos, file_name) == 0) {
      directory = path.substr(0, name_start);
    } else {
      // The platform resolved the text to a name it does not end in ("a\..",
      // trailing dots): only the qualified form names the folder.
      directory.assign(full_path, file_part - full_path);
    }
  }
  DropTrailingSeparators(&directory);
  return directory;
}

bool MakeAbsolute(FilePath* path) {
  wchar_t full_path[MAX_PATH];
  if (!_wfullpath(full_path, path->text().c_str(), MAX_PATH))
    return false;
  *path = FilePath(full_path);
  return true;
}

bool MakeAbsolute(std::wstring* path) {
  FilePath file_path = FilePath::FromWideString(*path);
  if (!MakeAbsolute(&file_path))
    return false;
  *path = file_path.ToWideString();
  return true;
}

bool IsInside(const FilePath& parent, const FilePath& child) {
  FilePath absolute_parent = parent;
  FilePath absolute_child = child;
  if (!MakeAbsolute(&absolute_parent) || !MakeAbsolute(&absolute_child))
    return false;
  const std::wstring& parent_text = absolute_parent.text();
  const std::wstring& child_text = absolute_child.text();
  return HasPrefix(child_text, parent_text, false) &&
         child_text.size() > parent_text.size() &&
         child_text[parent_text.size()] == L'\\';
}

bool QueryFileInfo(const FilePath& path, FileAttributesInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.text().c_str(), GetFileExInfoStandard,
                            &data)) {
    return false;
  }
  info->byte_size = static_cast<int64_t>(
      (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  info->is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

bool QueryFileInfo(const std::wstring& path, FileAttributesInfo* info) {
  return QueryFileInfo(FilePath::FromWideString(path), info);
}

bool QueryFileSize(const FilePath& path, int64_t* size) {
  FileAttributesInfo info;
  if (!QueryFileInfo(path, &info))
    return false;
  *size = info.byte_size;
  return true;
}

bool QueryFileSize(const std::wstring& path, int64_t* size) {
  return QueryFileSize(FilePath::FromWideString(path), size);
}

bool CreationLocalTimeFromHandle(HANDLE file, SYSTEMTIME* creation_time) {
  if (!file || file == INVALID_HANDLE_VALUE)
    return false;
  FILETIME utc_time;
  FILETIME local_time;
  return GetFileTime(file, &utc_time, nullptr, nullptr) &&
         FileTimeToLocalFileTime(&utc_time, &local_time) &&
         FileTimeToSystemTime(&local_time, creation_time);
}

bool CreationLocalTime(const std::wstring& path, SYSTEMTIME* creation_time) {
  const OwnedHandle file(
      CreateFileW(path.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return CreationLocalTimeFromHandle(file.get(), creation_time);
}

bool GetWorkingFolder(FilePath* folder) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
  // An answer of MAX_PATH or more is the size the text would need.
  if (length == 0 || length >= MAX_PATH)
    return false;
  std::wstring text(buffer, length);
  DropTrailingSeparators(&text);
  *folder = FilePath(text);
  return true;
}

bool GetWorkingFolder(std::wstring* folder) {
  FilePath path;
  if (!GetWorkingFolder(&path))
    return false;
  *folder = path.ToWideString();
  return true;
}

bool SetWorkingFolder(const FilePath& folder) {
  return SetCurrentDirectoryW(folder.text().c_str()) != 0;
}

bool SetWorkingFolder(const std::wstring& folder) {
  return SetWorkingFolder(FilePath::FromWideString(folder));
}

bool DeletePath(const FilePath& path, bool recursive) {
  if (!FitsInPathBuffer(path.text()))
    return false;
  if (!recursive && DeleteFileW(path.text().c_str()))
    return true;
  std::vector<Entry> entries;
  switch (ListMatches(path.text(), &entries)) {
    case ListResult::kError:
      return false;
    case ListResult::kNoMatch:
    case ListResult::kMissingPath:
      return true;
    case ListResult::kFound:
      break;
  }
  // Wildcards without recursion delete files only.
  const bool files_only =
      !recursive && HasWildcard(path.LastComponent().text());
  bool all_deleted = true;
  for (const Entry& entry : entries) {
    if (files_only && entry.is_folder())
      continue;
    all_deleted = DeleteEntry(entry, recursive) && all_deleted;
  }
  return all_deleted;
}

bool DeletePath(const std::wstring& path, bool recursive) {
  return DeletePath(FilePath::FromWideString(path), recursive);
}

bool MovePath(const FilePath& from, const FilePath& to) {
  if (!FitsInPathBuffer(from.text()) || !FitsInPathBuffer(to.text()))
    return false;
  if (MoveFileExW(from.text().c_str(), to.text().c_str(),
                  MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  // The platform moves files between volumes by itself, but not folders.
  if (IsExistingDirectory(from))
    return CopyThenDelete(from, to);
  return false;
}

bool MovePath(const std::wstring& from, const std::wstring& to) {
  return MovePath(FilePath::FromWideString(from), FilePath::FromWideString(to));
}

bool CopyOneFile(const FilePath& from, const FilePath& to) {
  if (!FitsInPathBuffer(from.text()) || !FitsInPathBuffer(to.text()))
    return false;
  return CopyFileW(from.text().c_str(), to.text().c_str(), FALSE) != 0;
}

bool CopyOneFile(const std::wstring& from, const std::wstring& to) {
  return CopyOneFile(FilePath::FromWideString(from),
                     FilePath::FromWideString(to));
}

bool ShellCopyItems(const FilePath& from, const FilePath& to, bool recursive) {
  if (!FitsInPathBuffer(from.text()) || !FitsInPathBuffer(to.text()))
    return false;
  const bool wildcard = HasWildcard(from.LastComponent().text());
  std::vector<Entry> entries;
  switch (ListMatches(from.text(), &entries)) {
    case ListResult::kError:
    case ListResult::kMissingPath:
      return false;
    case ListResult::kNoMatch:
      // Nothing to copy is fine for a pattern, not for a named item.
      return wildcard && MakeDirectory(to);
    case ListResult::kFound:
      break;
  }
  const bool into_folder = wildcard || IsExistingDirectory(to);
  if (wildcard && !MakeDirectory(to))
    return false;
  bool all_copied = true;
  for (const Entry& entry : entries) {
    if (wildcard && !recursive && entry.is_folder())
      continue;
    const std::wstring target =
        into_folder ? to.Join(entry.name).text() : to.text();
    all_copied = CopyEntry(entry, target, recursive) && all_copied;
  }
  return all_copied;
}

bool CopyTree(const FilePath& from, const FilePath& to, bool recursive) {
  if (recursive)
    return ShellCopyItems(from, to, true);
  if (!DoesPathExist(to)) {
    // Before Vista the folder is made as a copy of the source folder
    // itself (without its contents).
    const bool created = WindowsRelease() < WINREL_VISTA
                             ? ShellCopyItems(from, to, false)
                             : MakeDirectory(to);
    if (!created)
      return false;
  }
  return ShellCopyItems(from.Join(L"*.*"), to, false);
}

bool CopyTree(const std::wstring& from,
              const std::wstring& to,
              bool recursive) {
  return CopyTree(FilePath::FromWideString(from), FilePath::FromWideString(to),
                  recursive);
}

bool CopyThenDelete(const FilePath& from, const FilePath& to) {
  return CopyTree(from, to, true) && DeletePath(from, true);
}

bool MoveResettingSecurity(const FilePath& source, const FilePath& target) {
  // Not every shell reports a source that names nothing (Wine's answers
  // success): a move of nothing is refused here.
  std::vector<Entry> entries;
  if (ListMatches(source.text(), &entries) != ListResult::kFound)
    return false;
  const std::wstring from = ShellList(source);
  const std::wstring to = ShellList(target);
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_MOVE;
  operation.pFrom = from.c_str();
  operation.pTo = to.c_str();
  operation.fFlags = kMoveWithoutSecurityFlags;
  return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

bool MakeDirectory(const FilePath& path) {
  if (IsExistingDirectory(path))
    return true;
  // The shell creates parents only along an absolute path.
  FilePath absolute = path;
  if (!MakeAbsolute(&absolute))
    return false;
  return SHCreateDirectoryExW(nullptr, absolute.text().c_str(), nullptr) ==
         ERROR_SUCCESS;
}

bool MakeDirectory(const std::wstring& path) {
  return MakeDirectory(FilePath::FromWideString(path));
}

bool GetTempFolder(FilePath* path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH)
    return false;
  std::wstring text(buffer, length);
  DropTrailingSeparators(&text);
  *path = FilePath(text);
  return true;
}

bool GetTempFolder(std::wstring* path) {
  FilePath folder;
  if (!GetTempFolder(&folder))
    return false;
  *path = folder.ToWideString();
  return true;
}

bool GetSharedMemoryTempFolder(FilePath* path) {
  return GetTempFolder(path);
}

bool MakeTempFileNameIn(const std::wstring& folder, std::wstring* temp_file) {
  wchar_t temp_name[MAX_PATH];
  if (!GetTempFileNameW(folder.c_str(), L"", 0, temp_name))
    return false;
  wchar_t long_name[MAX_PATH];
  const DWORD length = GetLongPathNameW(temp_name, long_name, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return false;
  temp_file->assign(long_name, length);
  return true;
}

bool MakeTempFileName(FilePath* path) {
  FilePath folder;
  std::wstring name;
  if (!GetTempFolder(&folder) || !MakeTempFileNameIn(folder.text(), &name))
    return false;
  *path = FilePath(name);
  return true;
}

bool MakeTempFileName(std::wstring* path) {
  FilePath file;
  if (!MakeTempFileName(&file))
    return false;
  *path = file.ToWideString();
  return true;
}

FILE* CreateAndOpenTempFile(FilePath* path) {
  FilePath name;
  if (!MakeTempFileName(&name))
    return nullptr;
  FILE* const file = OpenStdioFile(name, "w+");
  if (file)
    *path = name;
  return file;
}

FILE* CreateAndOpenSharedMemoryTempFile(FilePath* path) {
  return CreateAndOpenTempFile(path);
}

bool MakeNewTempFolder(const std::wstring& prefix, FilePath* new_folder) {
  FilePath temp_folder;
  if (!GetTempFolder(&temp_folder))
    return false;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  for (int attempt = 0; attempt < kTempFolderAttempts; ++attempt) {
    const FilePath path =
        temp_folder.Join(prefix + FormatIntWide(std::rand() % 32767));
    if (!path.empty() && CreateDirectoryW(path.text().c_str(), nullptr)) {
      *new_folder = path;
      return true;
    }
  }
  return false;
}

bool MakeNewTempFolder(const std::wstring& prefix, std::wstring* new_folder) {
  FilePath folder;
  if (!MakeNewTempFolder(prefix, &folder))
    return false;
  *new_folder = folder.ToWideString();
  return true;
}

bool ReadWholeFile(const FilePath& path, std::string* contents) {
  FILE* const file = OpenStdioFile(path, "rb");
  if (!file)
    return false;
  std::vector<char> block(kReadBlockSize);
  size_t read;
  while ((read = std::fread(block.data(), 1, block.size(), file)) > 0)
    contents->append(block.data(), read);
  // A read error ends the loop like the end of the file does.
  const bool complete = !std::ferror(file);
  CloseStdioFile(file);
  return complete;
}

bool ReadWholeFile(const std::wstring& path, std::string* contents) {
  return ReadWholeFile(FilePath::FromWideString(path), contents);
}

int ReadExactly(const FilePath& path, char* data, int size) {
  if (size < 0 || (size > 0 && !data))
    return -1;
  const OwnedHandle file(CreateFileW(
      path.text().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.is_valid())
    return -1;
  DWORD read = 0;
  if (!ReadFile(file.get(), data, static_cast<DWORD>(size), &read, nullptr) ||
      read != static_cast<DWORD>(size)) {
    return -1;
  }
  return size;
}

int ReadExactly(const std::wstring& path, char* data, int size) {
  return ReadExactly(FilePath::FromWideString(path), data, size);
}

int WriteWholeFile(const FilePath& path, const char* data, int size) {
  return WriteToFile(path, data, size, GENERIC_WRITE, CREATE_ALWAYS);
}

int WriteWholeFile(const std::wstring& path, const char* data, int size) {
  return WriteWholeFile(FilePath::FromWideString(path), data, size);
}

int AppendBytesToFile(const FilePath& path, const char* data, int size) {
  return WriteToFile(path, data, size, FILE_APPEND_DATA, OPEN_ALWAYS);
}

bool SameContents(const FilePath& a, const FilePath& b) {
  // Opened with sharing, so that a file compares with itself.
  FILE* const file_a = _wfsopen(a.text().c_str(), L"rb", _SH_DENYNO);
  FILE* const file_b = _wfsopen(b.text().c_str(), L"rb", _SH_DENYNO);
  bool same = file_a && file_b;
  char block_a[kCompareBlockSize];
  char block_b[kCompareBlockSize];
  while (same) {
    const size_t read_a = std::fread(block_a, 1, sizeof(block_a), file_a);
    const size_t read_b = std::fread(block_b, 1, sizeof(block_b), file_b);
    const bool end_a = std::feof(file_a) != 0;
    if (read_a != read_b || end_a != (std::feof(file_b) != 0) ||
        std::ferror(file_a) || std::ferror(file_b) ||
        std::memcmp(block_a, block_b, read_a) != 0) {
      same = false;
    } else if (end_a) {
      break;
    }
  }
  CloseStdioFile(file_a);
  CloseStdioFile(file_b);
  return same;
}

bool SameContents(const std::wstring& a, const std::wstring& b) {
  return SameContents(FilePath::FromWideString(a), FilePath::FromWideString(b));
}

FILE* OpenStdioFile(const FilePath& path, const char* mode) {
  FILE* file = nullptr;
  if (_wfopen_s(&file, path.text().c_str(), WideFromAscii(mode).c_str()) != 0)
    return nullptr;
  return file;
}

FILE* OpenStdioFile(const std::wstring& path, const char* mode) {
  return OpenStdioFile(FilePath::FromWideString(path), mode);
}

FILE* OpenStdioFile(const std::string& path, const char* mode) {
  FILE* file = nullptr;
  if (fopen_s(&file, path.c_str(), mode) != 0)
    return nullptr;
  return file;
}

bool CloseStdioFile(FILE* file) {
  return !file || std::fclose(file) == 0;
}

bool TruncateAtPosition(FILE* file) {
  if (!file)
    return false;
  // Buffered bytes are written first, so that none lands past the cut.
  if (std::fflush(file) != 0)
    return false;
  const int64_t position = _ftelli64(file);
  if (position < 0)
    return false;
  return _chsize_s(_fileno(file), position) == 0;
}

}  // namespace base
