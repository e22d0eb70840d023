#include "base/codepage_conversions.h"

#include <windows.h>

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
}

TEST(CodePageConversionsTest, WideToUtf8GivesTheExpectedBytes) {
  struct Case {
    std::wstring wide;
    std::string utf8;
  };
  const Case kCases[] = {
      {L"", ""},
      {L"a", "a"},
      {L"\u00e9", "\xC3\xA9"},
      {L"\u20ac", "\xE2\x82\xAC"},
      {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
      // Unpaired surrogates become U+FFFD.
      {{0xD83D}, "\xEF\xBF\xBD"},
      {{L'a', 0xDC00, L'b'},
       "a\xEF\xBF\xBD"
       "b"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << testing::PrintToString(c.wide);
  }
}

TEST(CodePageConversionsTest, IllFormedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide(std::string("a\xFF"
                                   "b")),
            L"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide(std::string()), L"");
  // A view ends where its length says, terminator or not.
  EXPECT_EQ(Utf8ToWide(NarrowView("abc", 2)), L"ab");
}

TEST(CodePageConversionsTest, NativeCodePageIsTheSystemsAnsiCodePage) {
  // Wine's ANSI code page is 1252 unless the host locale says otherwise.
  if (GetACP() != 1252)
    GTEST_SKIP() << "the ANSI code page here is " << GetACP();
  EXPECT_EQ(WideToNativeMb(L"caf\u00e9 \u20ac"), "caf\xE9 \x80");
  EXPECT_EQ(NativeMbToWide(std::string("caf\xE9 \x80")), L"caf\u00e9 \u20ac");
  // A character the code page lacks becomes its default character.
  EXPECT_EQ(WideToNativeMb(L"\u4e2d"), "?");
}

}  // namespace
}  // namespace base
