#ifndef BASE_STRING16_H_
#define BASE_STRING16_H_

#include <cwchar>
#include <string>

namespace base {

// A string of 16-bit code units (UTF-16). Where the wide character is 16
// bits, as on Windows, it is the wide string itself.
#if WCHAR_MAX == 0xFFFF
using string16 = std::wstring;
#else
using string16 = std::u16string;
#endif

}  // namespace base

#endif  // BASE_STRING16_H_
