#include "base/codepage_conversions.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(CodePageConversionsTest, Utf8RoundTrips) {
  const std::wstring kCases[] = {
      L"",
      L"Kelvo",
      L"Gr\u00fc\u00dfe \u4e2d\u6587",
      std::wstring(L"a\0b", 3),  // Embedded NULs convert too.
      L"\xD83D\xDE00",           // A surrogate pair: four bytes.
  };
  for (const std::wstring& wide : kCases) {
    const std::string utf8 = WideToUtf8(wide);
    EXPECT_EQ(Utf8ToWide(utf8), wide);
  }
  EXPECT_EQ(WideToUtf8(L"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(WideToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
}

TEST(CodePageConversionsTest, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide(std::string("a\377b")), L"a\uFFFDb");
  const std::wstring lone_surrogate = {L'a', wchar_t{0xD800}, L'b'};
  EXPECT_EQ(WideToUtf8(lone_surrogate), "a\357\277\275b");
  EXPECT_EQ(Utf8ToWide(NarrowView("abc", 2)), L"ab");
}

}  // namespace
}  // namespace base
