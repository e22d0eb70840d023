#include "base/registry.h"

#include <cwchar>
#include <limits>

namespace base {
namespace {

// Closes a registry key when it goes out of scope.
class OpenRegistryKey {
 public:
  OpenRegistryKey(HKEY root, const wchar_t* sub_key) {
    if (RegOpenKeyExW(root, sub_key, 0, KEY_READ, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  OpenRegistryKey(const OpenRegistryKey&) = delete;
  OpenRegistryKey& operator=(const OpenRegistryKey&) = delete;
  ~OpenRegistryKey() {
    if (key_)
      RegCloseKey(key_);
  }

  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

bool ReadRegistryText(HKEY root,
                      const wchar_t* sub_key,
                      const wchar_t* value_name,
                      wchar_t* out,
                      size_t* length) {
  const size_t capacity = *length;
  if (capacity == 0 ||
      capacity > std::numeric_limits<DWORD>::max() / sizeof(wchar_t)) {
    return false;
  }
  // Zeroed first, so that whatever the registry returns is followed by
  // zeros and never by what the buffer held before.
  std::wmemset(out, L'\0', capacity);
  const OpenRegistryKey key(root, sub_key);
  if (!key.get())
    return false;
  DWORD type = 0;
  DWORD buffer_size = static_cast<DWORD>(capacity * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), value_name, nullptr, &type,
                       reinterpret_cast<BYTE*>(out),
                       &buffer_size) != ERROR_SUCCESS ||
      buffer_size == 0 || type != REG_SZ) {
    out[0] = L'\0';
    return false;
  }
  // The terminator goes right after the returned data. A value stored
  // without one that fills the whole buffer does not fit.
  const size_t characters = (buffer_size + 1) / sizeof(wchar_t);
  if (characters >= capacity && out[capacity - 1] != L'\0') {
    out[0] = L'\0';
    return false;
  }
  if (characters < capacity)
    out[characters] = L'\0';
  *length = std::wcslen(out);
  return true;
}

bool ReadRegistryString(HKEY key,
                        const wchar_t* value_name,
                        std::unique_ptr<wchar_t[]>* out) {
  DWORD size = 0;
  if (RegQueryValueExW(key, value_name, nullptr, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  // Whole characters for every byte of the value, plus one zero character
  // that survives whatever the value holds: a value stored without its
  // terminator, or with an odd byte count, still reads as a terminated
  // string.
  const size_t characters = size / sizeof(wchar_t) + size % sizeof(wchar_t) + 1;
  if (characters > std::numeric_limits<DWORD>::max() / sizeof(wchar_t))
    return false;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[characters]());
  DWORD buffer_size = size;
  if (RegQueryValueExW(key, value_name, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer.get()),
                       &buffer_size) != ERROR_SUCCESS) {
    return false;
  }
  *out = std::move(buffer);
  return true;
}

}  // namespace base
