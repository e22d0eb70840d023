#ifndef BASE_REGISTRY_H_
#define BASE_REGISTRY_H_

#include <windows.h>

#include <cstddef>
#include <memory>

// Reading the registry. The one place that reads a registry string: the
// just-in-time debugger's registration, and any other text value. Values
// come from outside the program, so every read stays inside its buffer
// whatever the stored value holds (odd byte counts, no terminator). Free
// functions without state; any thread may call them.

namespace base {

// Reads the string value `value_name` of `root`\`sub_key` into `out`, a
// buffer of `*length` wide characters. The text is always terminated inside
// the buffer; on success `*length` becomes the text's length. False when the
// key or value is missing, empty, not a plain string, or does not fit.
bool ReadRegistryText(HKEY root,
                      const wchar_t* sub_key,
                      const wchar_t* value_name,
                      wchar_t* out,
                      size_t* length);

// Reads the registry value `value_name` of the open `key` into `out`, a new
// buffer of the value's size in whole wide characters plus one zero
// character, so the text is terminated even when the stored value is not.
// False, leaving `out` as it was, when the value cannot be read.
bool ReadRegistryString(HKEY key,
                        const wchar_t* value_name,
                        std::unique_ptr<wchar_t[]>* out);

}  // namespace base

#endif  // BASE_REGISTRY_H_
