#ifndef BASE_SHORTCUT_H_
#define BASE_SHORTCUT_H_

#include <string>

#include "base/file_path.h"

// Shell link files (shortcuts): made, updated and followed through the
// platform's shell link object. Call them on a thread that has initialised
// the component object library (CoInitialize); the functions keep no
// state.

namespace base {

// Makes the shortcut `destination` to `source`. The working folder,
// arguments, description and icon path may be null (then not set). False
// when any step fails, and then nothing is saved.
bool CreateShortcut(const wchar_t* source,
                    const wchar_t* destination,
                    const wchar_t* working_folder,
                    const wchar_t* arguments,
                    const wchar_t* description,
                    const wchar_t* icon,
                    int icon_index);

// Loads the existing shortcut `destination` and changes what is given
// (here the source may be null too), then saves it.
bool UpdateShortcut(const wchar_t* source,
                    const wchar_t* destination,
                    const wchar_t* working_folder,
                    const wchar_t* arguments,
                    const wchar_t* description,
                    const wchar_t* icon,
                    int icon_index);

// Replaces `path`, a shortcut file, with the path of its target. False,
// leaving `path` unchanged, when the shortcut cannot be loaded or
// resolved, or its target cannot be read.
bool FollowShortcut(FilePath* path);
bool FollowShortcut(std::wstring* path);

}  // namespace base

#endif  // BASE_SHORTCUT_H_
