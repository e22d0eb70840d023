#ifndef BASE_STRING_UTIL_WIN_H_
#define BASE_STRING_UTIL_WIN_H_

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cwchar>

#include "base/logging.h"
#include "base/string_util.h"

// Bounded printf-style formatting into caller-owned buffers: the two
// platform calls that the string formatting of string_util is built on.
//
// Both use the C99 formatter of the mingw-w64 runtime (__mingw_vsnprintf,
// __mingw_vsnwprintf), called by name so that no compiler option or header
// default can swap in the C runtime DLL's own formatter. The C99 one is
// chosen because its texts are the same on every Windows release: "%lld"
// works even where the runtime DLL lacks "ll", doubles have two-digit
// exponents ("1e+21", not "1e+021"), and in a narrow format "%s" takes a
// narrow and "%ls" a wide string, as the compiler's format checks
// (gnu_printf) assume. In a wide format "%ls" is a wide string; "%s" would
// be a narrow one here and a wide one with the runtime DLL, which is why
// wide formats must pass IsWprintfFormatPortable. A wide argument of a
// narrow format is converted in the C runtime's current locale (the "C"
// locale passes units up to 0xFF as single bytes); the conversion ends at
// the first unit that does not convert, so give "%ls" ASCII or Latin-1
// text only. The formatter keeps padded integers on the stack: integer
// widths and precisions must stay far below a megabyte.
//
// Thread-safe; the buffers belong to the caller.

namespace base {

// Formats into `buffer`, writing at most `size` - 1 units and a terminator.
// Answers the length of the complete output, not counting the terminator:
// an answer of `size` or more means the text was cut short. With `size` 0
// nothing is written (the buffer may then be null). A negative answer is a
// formatting error.
inline int FormatIntoBuffer(char* buffer,
                            size_t size,
                            const char* format,
                            va_list arguments) {
  return __mingw_vsnprintf(size ? buffer : nullptr, size, format, arguments);
}

// The same for wide text; the format must pass IsWprintfFormatPortable.
inline int FormatIntoBuffer(wchar_t* buffer,
                            size_t size,
                            const wchar_t* format,
                            va_list arguments) {
  CHECK(IsWprintfFormatPortable(format));
  return __mingw_vsnwprintf(size ? buffer : nullptr, size, format, arguments);
}

}  // namespace base

#endif  // BASE_STRING_UTIL_WIN_H_
