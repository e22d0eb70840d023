#ifndef BASE_CODEPAGE_CONVERSIONS_H_
#define BASE_CODEPAGE_CONVERSIONS_H_

#include <cstddef>
#include <string>

// Conversions between wide strings (UTF-16) and byte strings in a code page,
// handed to the platform's converter. Invalid input never makes a conversion
// fail: ill-formed sequences become U+FFFD. Embedded NULs convert like any
// other unit. Free functions without state; any thread may call them.

namespace base {

// A read-only view of bytes: a pointer and a length, no terminator needed.
class NarrowView {
 public:
  NarrowView(const std::string& bytes)  // NOLINT: views convert implicitly.
      : data_(bytes.data()), size_(bytes.size()) {}
  NarrowView(const char* data, size_t size) : data_(data), size_(size) {}

  const char* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  const char* data_;
  size_t size_;
};

// The platform's code-page numbers for UTF-8 and for the system's ANSI code
// page.
inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageAnsi = 0;

std::string WideToCodePage(const std::wstring& wide, unsigned code_page);
std::wstring CodePageToWide(NarrowView bytes, unsigned code_page);

std::string WideToUtf8(const std::wstring& wide);
std::wstring Utf8ToWide(NarrowView utf8);

// The system's ANSI code page; characters it lacks become its default
// character.
std::string WideToNativeMb(const std::wstring& wide);
std::wstring NativeMbToWide(NarrowView native_mb);

}  // namespace base

#endif  // BASE_CODEPAGE_CONVERSIONS_H_
