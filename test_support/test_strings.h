#ifndef TEST_SUPPORT_TEST_STRINGS_H_
#define TEST_SUPPORT_TEST_STRINGS_H_

#include <string>

namespace test_support {

// Widens bytes one for one (0xE9 becomes U+00E9), so that a table of narrow
// cases can run through the wide overloads as well.
inline std::wstring WidenBytes(const std::string& narrow) {
  std::wstring wide;
  for (const char c : narrow)
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

}  // namespace test_support

#endif  // TEST_SUPPORT_TEST_STRINGS_H_
