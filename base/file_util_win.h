#ifndef BASE_FILE_UTIL_WIN_H_
#define BASE_FILE_UTIL_WIN_H_

#include <windows.h>

#include <string>

// The file utilities that take platform types: a file's creation time as
// a local calendar time. Free functions; any thread may call them.

namespace base {

// The creation time of the file open as `file`, in local time. False for
// no handle (null or INVALID_HANDLE_VALUE) or when a conversion fails.
bool CreationLocalTimeFromHandle(HANDLE file, SYSTEMTIME* creation_time);
// The same for the file at `path`, opened for reading with full sharing.
bool CreationLocalTime(const std::wstring& path, SYSTEMTIME* creation_time);

}  // namespace base

#endif  // BASE_FILE_UTIL_WIN_H_
