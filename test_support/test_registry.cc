#include "test_support/test_registry.h"

namespace test_support {

ScopedTestRegistryKey::ScopedTestRegistryKey(const std::wstring& path)
    : path_(path) {
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key_,
                      nullptr) != ERROR_SUCCESS) {
    key_ = nullptr;
  }
}

ScopedTestRegistryKey::~ScopedTestRegistryKey() {
  if (!key_)
    return;
  RegCloseKey(key_);
  RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

bool ScopedTestRegistryKey::SetValue(const wchar_t* name,
                                     DWORD type,
                                     const void* data,
                                     size_t bytes) {
  return key_ &&
         RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace test_support
