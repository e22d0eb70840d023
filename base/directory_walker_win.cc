#include "base/directory_walker_win.h"

#include <cwchar>

#include "base/logging.h"
#include "base/time.h"

namespace base {
namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// Closes a find handle when it goes out of scope.
class ScopedFind {
 public:
  ScopedFind(const std::wstring& pattern, WIN32_FIND_DATAW* data)
      : handle_(FindFirstFileW(pattern.c_str(), data)) {}
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  ~ScopedFind() {
    if (is_valid())
      FindClose(handle_);
  }

  bool is_valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAW* data) { return FindNextFileW(handle_, data); }

 private:
  HANDLE handle_;
};

}  // namespace

DirectoryWalker::DirectoryWalker(const FilePath& root,
                                 bool recursive,
                                 WalkKinds kinds)
    : DirectoryWalker(root, recursive, kinds, std::wstring()) {}

DirectoryWalker::DirectoryWalker(const FilePath& root,
                                 bool recursive,
                                 WalkKinds kinds,
                                 const std::wstring& pattern)
    : recursive_(recursive), kinds_(kinds), pattern_(pattern), find_data_() {
  pending_folders_.push_back(root);
}

DirectoryWalker::~DirectoryWalker() {
  CloseFind();
}

FilePath DirectoryWalker::Next() {
  // One entry per turn; skipped entries and finished folders go round again
  // rather than deeper, whatever the number of entries.
  for (;;) {
    if (!listing_) {
      if (!OpenNextFolder())
        return FilePath();
    } else if (!FindNextFileW(find_handle_, &find_data_)) {
      CloseFind();
    }
    if (find_handle_ == INVALID_HANDLE_VALUE) {
      listing_ = false;
      // Every folder after the first is listed whole.
      pattern_.clear();
      continue;
    }
    if (IsDotOrDotDot(find_data_.cFileName))
      continue;
    const FilePath path = current_folder_.Join(find_data_.cFileName);
    if (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (recursive_)
        pending_folders_.push_back(path);
      if (kinds_ & WALK_DIRECTORIES)
        return path;
    } else if (kinds_ & WALK_FILES) {
      return path;
    }
  }
}

void DirectoryWalker::CopyFindData(WIN32_FIND_DATAW* info) const {
  CHECK_OR_RETURN(info, );
  if (listing_)
    *info = find_data_;
}

bool DirectoryWalker::OpenNextFolder() {
  if (pending_folders_.empty())
    return false;
  current_folder_ = pending_folders_.back();
  pending_folders_.pop_back();
  const FilePath search =
      current_folder_.Join(pattern_.empty() ? std::wstring(L"*") : pattern_);
  find_handle_ = FindFirstFileW(search.text().c_str(), &find_data_);
  listing_ = true;
  return true;
}

void DirectoryWalker::CloseFind() {
  if (find_handle_ != INVALID_HANDLE_VALUE)
    FindClose(find_handle_);
  find_handle_ = INVALID_HANDLE_VALUE;
}

bool IsFolderEmpty(const FilePath& folder) {
  DirectoryWalker walker(folder, false, WALK_FILES_AND_DIRECTORIES);
  return walker.Next().empty();
}

int CountFilesCreatedSince(const FilePath& folder, const Time& time) {
  const FILETIME since = time.ToFileTime();
  WIN32_FIND_DATAW data;
  ScopedFind find(folder.Join(std::wstring(L"*")).text(), &data);
  if (!find.is_valid())
    return 0;
  int count = 0;
  do {
    if (!IsDotOrDotDot(data.cFileName) &&
        CompareFileTime(&data.ftCreationTime, &since) >= 0) {
      ++count;
    }
  } while (find.Next(&data));
  return count;
}

}  // namespace base
