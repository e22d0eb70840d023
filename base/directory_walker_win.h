#ifndef BASE_DIRECTORY_WALKER_WIN_H_
#define BASE_DIRECTORY_WALKER_WIN_H_

#include <windows.h>

#include <vector>

#include "base/file_path.h"

// Listing folders: a walker over the entries of a folder and, when asked,
// of every folder below it; and two questions about a folder's entries.

namespace base {

class Time;

enum WalkKinds {
  WALK_FILES = 1,
  WALK_DIRECTORIES = 2,
  WALK_FILES_AND_DIRECTORIES = 3,
};

// Lists the entries of `root` of the requested kinds, one per Next. With
// `recursive`, folders found are listed after the folder that holds them
// is finished, the last found first. A pattern ("*" and "?") narrows the
// root's listing only: every folder below is listed whole. Folders that
// cannot be listed contribute nothing. Not copyable; one thread at a time.
class DirectoryWalker {
 public:
  DirectoryWalker(const FilePath& root, bool recursive, WalkKinds kinds);
  DirectoryWalker(const FilePath& root,
                  bool recursive,
                  WalkKinds kinds,
                  const std::wstring& pattern);
  DirectoryWalker(const DirectoryWalker&) = delete;
  DirectoryWalker& operator=(const DirectoryWalker&) = delete;
  ~DirectoryWalker();

  // The next entry's path (its folder joined with its name, so absolute
  // exactly when the root was), or an empty path once the walk is over.
  FilePath Next();

  // Copies the current entry's platform record while a listing is open.
  void CopyFindData(WIN32_FIND_DATAW* info) const;

 private:
  // Opens the listing of the next pending folder; false when none is left.
  bool OpenNextFolder();
  void CloseFind();

  FilePath current_folder_;
  const bool recursive_;
  const WalkKinds kinds_;
  std::wstring pattern_;  // Empty: every entry.
  bool listing_ = false;  // A find operation was opened for the folder.
  std::vector<FilePath> pending_folders_;  // Listed last in, first out.
  WIN32_FIND_DATAW find_data_;
  HANDLE find_handle_ = INVALID_HANDLE_VALUE;
};

// True when `folder` has no entry, or cannot be listed.
bool IsFolderEmpty(const FilePath& folder);

// The number of entries of `folder` (files and folders, not below) created
// at or after `time`; 0 when the folder cannot be listed.
int CountFilesCreatedSince(const FilePath& folder, const Time& time);

}  // namespace base

#endif  // BASE_DIRECTORY_WALKER_WIN_H_
