#include "base/codepage_conversions.h"

#include <windows.h>

#include <limits>

namespace base {

std::string WideToCodePage(const std::wstring& wide, unsigned code_page) {
  // The converter counts in int: longer input is refused, not cut.
  if (wide.empty() || wide.size() > std::numeric_limits<int>::max())
    return std::string();
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(code_page, 0, wide.data(), length,
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), length, &bytes[0], size,
                      nullptr, nullptr);
  return bytes;
}

std::wstring CodePageToWide(NarrowView bytes, unsigned code_page) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<int>::max())
    return std::wstring();
  const int length = static_cast<int>(bytes.size());
  const int size =
      MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), length, &wide[0], size);
  return wide;
}

std::string WideToUtf8(const std::wstring& wide) {
  return WideToCodePage(wide, kCodePageUtf8);
}

std::wstring Utf8ToWide(NarrowView utf8) {
  return CodePageToWide(utf8, kCodePageUtf8);
}

std::string WideToNativeMb(const std::wstring& wide) {
  return WideToCodePage(wide, kCodePageAnsi);
}

std::wstring NativeMbToWide(NarrowView native_mb) {
  return CodePageToWide(native_mb, kCodePageAnsi);
}

}  // namespace base
