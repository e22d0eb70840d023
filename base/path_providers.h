#ifndef BASE_PATH_PROVIDERS_H_
#define BASE_PATH_PROVIDERS_H_

#include <string>

#include "base/file_path.h"

// The path service's two built-in providers (keys in base/path_service.h).
// The module paths come from ModuleFilePath (base/base_paths.h), the one
// place that asks the platform for them. Any thread may call them.

namespace base {

// DIR_EXECUTABLE, DIR_CODE_MODULE (the folders of the platform provider's
// files) and DIR_TEMPORARY.
bool BasePathProvider(int key, FilePath* path);

// FILE_EXECUTABLE to DIR_EXECUTABLE_GRANDPARENT. A platform answer that
// fails or does not fit in MAX_PATH units answers false.
bool PlatformPathProvider(int key, FilePath* path);

// Tests only: replaces the function that the providers ask for a module's
// file path (given a module's image base, or null for the executable) and
// answers the one it replaced; null restores ModuleFilePath. Lets a test
// show how a failing answer travels through the path service.
using ModulePathFunction = std::wstring (*)(const void* module);
ModulePathFunction SetModulePathFunctionForTesting(ModulePathFunction function);

}  // namespace base

#endif  // BASE_PATH_PROVIDERS_H_
