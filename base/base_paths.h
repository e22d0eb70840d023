#ifndef BASE_BASE_PATHS_H_
#define BASE_BASE_PATHS_H_

#include <string>

// Where the running program and its modules are: the one place that asks
// the platform for a module's file name. Every component that needs the
// executable's folder (the log file beside the executable, the launcher's
// runtime folder, the programs that tests start) asks here. Free functions
// without state; any thread may call them.

namespace base {

// Full path of the module loaded at `module` (its image base), or of the
// process's executable when `module` is null. Empty when the platform
// fails, or when the path needs MAX_PATH units or more: a cut path would
// name another file.
std::wstring ModuleFilePath(const void* module);

// Full path of the running executable; empty on failure, as above.
std::wstring ExecutablePath();

// Cuts `path` just after its last backslash, keeping it. A path with no
// backslash after its first character is returned whole.
std::wstring FolderOfPath(const std::wstring& path);

// The folder of the running executable, ending in a backslash; empty when
// the executable's path cannot be had whole.
std::wstring ExecutableFolder();

}  // namespace base

#endif  // BASE_BASE_PATHS_H_
