#include "base/registry.h"

#include <cwchar>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/test_registry.h"

namespace base {
namespace {

using test_support::ScopedTestRegistryKey;

TEST(ReadRegistryTextTest, TerminatesAfterTheReturnedText) {
  ScopedTestRegistryKey key(L"Software\\KelvoTest\\RegistryText");
  const DWORD number = 7;
  ASSERT_TRUE(key.SetValue(L"terminated", REG_SZ, L"abc", 8));
  ASSERT_TRUE(key.SetValue(L"unterminated", REG_SZ, L"abc", 6));
  ASSERT_TRUE(key.SetValue(L"odd", REG_SZ, L"abcd", 7));
  ASSERT_TRUE(key.SetValue(L"exact", REG_SZ, L"abcd", 10));
  ASSERT_TRUE(key.SetValue(L"full", REG_SZ, L"abcde", 10));
  ASSERT_TRUE(key.SetValue(L"long", REG_SZ, L"abcdefgh", 18));
  ASSERT_TRUE(key.SetValue(L"empty", REG_SZ, L"", 0));
  ASSERT_TRUE(key.SetValue(L"expand", REG_EXPAND_SZ, L"%TEMP%", 14));
  ASSERT_TRUE(key.SetValue(L"number", REG_DWORD, &number, sizeof(number)));

  struct Case {
    const wchar_t* name;
    size_t buffer_length;
    bool ok;
    const wchar_t* text;
  };
  const Case kCases[] = {
      {L"terminated", 10, true, L"abc"},
      // Stored without a terminator: leftovers of the buffer must not show.
      {L"unterminated", 10, true, L"abc"},
      {L"odd", 10, true, L"abcd"},
      {L"exact", 5, true, L"abcd"},
      {L"full", 5, false, L""},  // Would need a sixth character.
      {L"long", 5, false, L""},
      {L"empty", 10, false, L""},
      {L"expand", 10, false, L""},
      {L"number", 10, false, L""},
      {L"missing", 10, false, L""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    std::vector<wchar_t> out(c.buffer_length, L'X');
    size_t length = out.size();
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, key.path().c_str(), c.name,
                               out.data(), &length),
              c.ok);
    EXPECT_EQ(std::wstring(out.data()), c.text);
    if (c.ok) {
      EXPECT_EQ(length, std::wcslen(c.text));
    }
  }
  wchar_t out[8];
  size_t length = 8;
  EXPECT_FALSE(ReadRegistryText(HKEY_CURRENT_USER, L"Software\\KelvoTest\\None",
                                L"terminated", out, &length));
}

TEST(ReadRegistryStringTest, ReadsTerminatedAndUnterminatedValues) {
  ScopedTestRegistryKey key(L"Software\\KelvoTest\\RegistryString");
  ASSERT_TRUE(key.get());
  const wchar_t terminated[] = L"C:\\Kelvo";
  ASSERT_TRUE(
      key.SetValue(L"terminated", REG_SZ, terminated, sizeof(terminated)));
  // Stored without its terminator, and with an odd byte count whose last
  // byte is not zero: the odd byte ('d', low byte first) is kept, and the
  // read still ends in a terminator of its own.
  const wchar_t bare[] = L"abcd";
  ASSERT_TRUE(key.SetValue(L"bare", REG_SZ, bare, 3 * sizeof(wchar_t) + 1));

  std::unique_ptr<wchar_t[]> value;
  ASSERT_TRUE(ReadRegistryString(key.get(), L"terminated", &value));
  EXPECT_STREQ(value.get(), L"C:\\Kelvo");
  ASSERT_TRUE(ReadRegistryString(key.get(), L"bare", &value));
  EXPECT_STREQ(value.get(), L"abcd");
  EXPECT_FALSE(ReadRegistryString(key.get(), L"missing", &value));
}

}  // namespace
}  // namespace base
