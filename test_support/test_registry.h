#ifndef TEST_SUPPORT_TEST_REGISTRY_H_
#define TEST_SUPPORT_TEST_REGISTRY_H_

#include <windows.h>

#include <cstddef>
#include <string>

namespace test_support {

// A registry key of one test under HKEY_CURRENT_USER: created when the
// holder is made, deleted with everything in it when the holder goes away.
// Used from one thread.
class ScopedTestRegistryKey {
 public:
  // `path` is relative to HKEY_CURRENT_USER.
  explicit ScopedTestRegistryKey(const std::wstring& path);
  ScopedTestRegistryKey(const ScopedTestRegistryKey&) = delete;
  ScopedTestRegistryKey& operator=(const ScopedTestRegistryKey&) = delete;
  ~ScopedTestRegistryKey();

  // The open key, or null when it could not be created.
  HKEY get() const { return key_; }
  const std::wstring& path() const { return path_; }

  // Stores the first `bytes` bytes of `data` as the value `name`, of
  // registry type `type`: callers choose whether a string carries its
  // terminator.
  bool SetValue(const wchar_t* name,
                DWORD type,
                const void* data,
                size_t bytes);

 private:
  const std::wstring path_;
  HKEY key_ = nullptr;
};

}  // namespace test_support

#endif  // TEST_SUPPORT_TEST_REGISTRY_H_
