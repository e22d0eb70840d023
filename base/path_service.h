#ifndef BASE_PATH_SERVICE_H_
#define BASE_PATH_SERVICE_H_

#include <string>

#include "base/file_path.h"

// Where well-known locations are, by integer key: the current folder, the
// executable and its folder, the temporary folder, the system's folders and
// the user's data folders.
//
// Answers come from a chain of provider functions, each serving a range of
// keys, and are cached for the life of the process (except DIR_CURRENT,
// asked anew every time); a failed answer is never cached, so a provider
// that failed is asked again next time. A caller may override a key with a
// folder of its choice and register providers for key ranges of its own; a
// provider registered later is asked first. The service's state is a
// process-wide object created on first use and destroyed by the at-exit
// manager. Any thread may call any operation; providers run without the
// service's lock and may ask the service themselves.

namespace base {

// The keys of the built-in providers. Each range's last value is its
// exclusive end, never a key.
enum PathKey {
  PATH_BASE_FIRST = 0,
  DIR_CURRENT = 1,      // The process's current folder (never cached).
  DIR_EXECUTABLE = 2,   // The folder of FILE_EXECUTABLE.
  DIR_CODE_MODULE = 3,  // The folder of FILE_CODE_MODULE.
  DIR_TEMPORARY = 4,
  PATH_BASE_LAST = 5,

  PATH_PLATFORM_FIRST = 100,
  FILE_EXECUTABLE = 101,   // The process's executable file.
  FILE_CODE_MODULE = 102,  // The module that holds this code.
  DIR_OS_WINDOWS = 103,
  DIR_OS_SYSTEM = 104,
  DIR_PROGRAMS_FOLDER = 105,
  DIR_BROWSER_CACHE = 106,
  DIR_ALL_USERS_START_MENU = 107,
  DIR_USER_START_MENU = 108,
  DIR_ROAMING_APP_DATA = 109,
  // "LocalLow" beside the local application data (Vista and later).
  DIR_LOW_INTEGRITY_APP_DATA = 110,
  DIR_LOCAL_APP_DATA_FOLDER = 111,
  DIR_EXECUTABLE_GRANDPARENT = 112,  // Two levels above DIR_EXECUTABLE.
  PATH_PLATFORM_LAST = 113,
};

// Answers true and fills `path` when it knows `key`; otherwise answers
// false and leaves `path` untouched.
using ProviderFunction = bool (*)(int key, FilePath* path);

class PathKeyService {
 public:
  PathKeyService() = delete;

  // The location of `key` (at least DIR_CURRENT, else a check fails).
  // False, with `result` unchanged, when no provider knows it.
  static bool Get(int key, FilePath* result);
  static bool Get(int key, std::wstring* result);

  // Answers the folder `path` for `key` (above DIR_CURRENT, else a check
  // fails) from now on: made absolute, created with its parents, without
  // trailing separators. False, changing nothing, when the folder cannot
  // be made.
  static bool Override(int key, const std::wstring& path);
  // Whether `key` was overridden (not merely answered from the cache).
  static bool IsOverridden(int key);

  // Adds `provider` for the keys from `key_start` up to (not including)
  // `key_end`, ahead of every provider registered before. An empty range,
  // or one that overlaps a registered range, fails a check and is not
  // registered.
  static void RegisterProvider(ProviderFunction provider,
                               int key_start,
                               int key_end);

  // Changes the process's current folder.
  static bool SetWorkingDirectory(const std::wstring& path);
};

}  // namespace base

#endif  // BASE_PATH_SERVICE_H_
