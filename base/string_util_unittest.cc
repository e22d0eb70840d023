#include "base/string_util.h"

#include <set>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

using namespace std::string_literals;

// Widens bytes one for one, so that a narrow case can be run through the
// wide overloads as well (0xE9 becomes U+00E9).
std::wstring WidenBytes(const std::string& narrow) {
  std::wstring wide;
  for (const char c : narrow)
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

TEST(TrimSpacesTest, TrimsRequestedSidesAndReportsWhatWasTrimmed) {
  struct Case {
    std::wstring input;
    TrimSides sides;
    std::wstring output;
    TrimSides result;
  };
  const Case kCases[] = {
      {L"", TRIM_BOTH, L"", TRIM_NOTHING},
      {L"  \t ", TRIM_BOTH, L"", TRIM_BOTH},
      {L"  \t ", TRIM_BACK, L"", TRIM_BACK},
      {L"  \t ", TRIM_FRONT, L"", TRIM_FRONT},
      {L" a ", TRIM_FRONT, L"a ", TRIM_FRONT},
      {L" a ", TRIM_BACK, L" a", TRIM_BACK},
      {L" a ", TRIM_NOTHING, L" a ", TRIM_NOTHING},
      {L"a", TRIM_BOTH, L"a", TRIM_NOTHING},
      {L"\r\na b\v\f", TRIM_BOTH, L"a b", TRIM_BOTH},
      // The wide set reaches beyond ASCII.
      {L"\u3000a\u3000", TRIM_BOTH, L"a", TRIM_BOTH},
      {L"\u00A0a\u00A0", TRIM_BOTH, L"a", TRIM_BOTH},
      {L"\u200Ca\u2028", TRIM_BOTH, L"a", TRIM_BOTH},
      {L"\u200Ba\u200B", TRIM_BOTH, L"\u200Ba\u200B", TRIM_NOTHING},
      // NUL is not in the set, inside or at an end.
      {L" \0a \0"s, TRIM_BOTH, L"\0a \0"s, TRIM_FRONT},
  };
  for (const Case& c : kCases) {
    std::wstring output = L"stale";
    EXPECT_EQ(TrimSpaces(c.input, c.sides, &output), c.result)
        << "input: '" << c.input << "' sides: " << c.sides;
    EXPECT_EQ(output, c.output)
        << "input: '" << c.input << "' sides: " << c.sides;
  }
}

TEST(TrimSpacesTest, NarrowTrimsOnlyAsciiWhitespace) {
  struct Case {
    std::string input;
    std::string output;
    TrimSides result;
  };
  const Case kCases[] = {
      {"", "", TRIM_NOTHING},
      {" \t\n\v\f\ra\r ", "a", TRIM_BOTH},
      {"\240a\240", "\240a\240", TRIM_NOTHING},
      {"\205a ", "\205a", TRIM_BACK},
  };
  for (const Case& c : kCases) {
    std::string output = "stale";
    EXPECT_EQ(TrimSpaces(c.input, TRIM_BOTH, &output), c.result)
        << "input: '" << c.input << "'";
    EXPECT_EQ(output, c.output) << "input: '" << c.input << "'";
    output = "stale";
    EXPECT_EQ(TrimSpacesASCII(c.input, TRIM_BOTH, &output), c.result)
        << "input: '" << c.input << "'";
    EXPECT_EQ(output, c.output) << "input: '" << c.input << "'";
  }
}

TEST(TrimCharsTest, TrimsTheGivenSetFromBothEnds) {
  struct Case {
    std::string input;
    const char* set;
    std::string output;
    bool trimmed;
  };
  const Case kCases[] = {
      {"", "x", "", false},        {"xyaxby", "xy", "axb", true},
      {"axb", "xy", "axb", false}, {"xa", "xy", "a", true},
      {"yyy", "xy", "", true},     {"xax", "", "xax", false},
  };
  for (const Case& c : kCases) {
    std::string narrow = "stale";
    EXPECT_EQ(TrimChars(c.input, c.set, &narrow), c.trimmed)
        << "input: '" << c.input << "'";
    EXPECT_EQ(narrow, c.output) << "input: '" << c.input << "'";

    const std::wstring wide_set = WidenBytes(c.set);
    std::wstring wide = L"stale";
    EXPECT_EQ(TrimChars(WidenBytes(c.input), wide_set.c_str(), &wide),
              c.trimmed)
        << "input: '" << c.input << "'";
    EXPECT_EQ(wide, WidenBytes(c.output)) << "input: '" << c.input << "'";
  }
}

TEST(IsSpaceCharTest, MatchesTheWideWhitespaceSetExactly) {
  // Written out independently of the table in the library, so that a slip in
  // either one shows up here.
  std::set<wchar_t> spaces = {0x0000, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D,
                              0x0020, 0x0085, 0x00A0, 0x1680, 0x180E, 0x200C,
                              0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  for (wchar_t c = 0x2000; c <= 0x200A; ++c)
    spaces.insert(c);
  ASSERT_EQ(spaces.size(), 28u);  // The 27 of the set, and NUL.

  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const wchar_t c = static_cast<wchar_t>(unit);
    EXPECT_EQ(IsSpaceChar(c), spaces.count(c) == 1)
        << "unit: " << std::hex << unit;
  }
}

TEST(CollapseSpacesTest, TurnsRunsIntoOneBlankAndDropsLineBreakRunsOnRequest) {
  struct Case {
    std::wstring input;
    bool drop_line_breaks;
    std::wstring output;
  };
  const Case kCases[] = {
      {L"  a \r\n b  ", false, L"a b"},
      {L"  a \r\n b  ", true, L"ab"},
      {L" \t\r\n\x3000 ", false, L""},
      {L" \t\r\n\x3000 ", true, L""},
      {L"", true, L""},
      {L"a  b", true, L"a b"},
      {L"a\nb", false, L"a b"},
      {L"\na\n", true, L"a"},
      {L"a \n b \n c", true, L"abc"},
      {L"a \n b c", true, L"ab c"},
      {L"a\u2003\u2003b", false, L"a b"},
      {L"a\u200Bb", false, L"a\u200Bb"},
      // NUL counts as whitespace here, unlike in trimming.
      {L"a\0\0b"s, false, L"a b"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(CollapseSpaces(c.input, c.drop_line_breaks), c.output)
        << "input: '" << c.input << "' drop: " << c.drop_line_breaks;
  }
}

TEST(AsciiTest, ClassifiesUnitsBelow0x80AsAscii) {
  EXPECT_TRUE(IsStringASCII(std::string()));
  EXPECT_TRUE(IsStringASCII("a\x01\x7F"s));
  EXPECT_TRUE(IsStringASCII("a\0b"s));
  EXPECT_FALSE(IsStringASCII("a\x80"s));
  EXPECT_FALSE(IsStringASCII("\xFF"s));
  EXPECT_TRUE(IsStringASCII(std::wstring()));
  EXPECT_TRUE(IsStringASCII(L"a\x7F"s));
  EXPECT_FALSE(IsStringASCII(L"a\x80"s));
  EXPECT_FALSE(IsStringASCII(L"\xFF00"s));
}

TEST(AsciiTest, ConversionsCopyAsciiUnitForUnit) {
  const std::string narrow = "Hello, \x01\x7F world!\0end"s;
  const std::wstring wide = L"Hello, \x01\x7F world!\0end"s;
  EXPECT_EQ(WideFromAscii(narrow), wide);
  EXPECT_EQ(AsciiFromWide(wide), narrow);
  EXPECT_EQ(Utf16FromAscii(narrow), wide);
  EXPECT_EQ(AsciiFromUtf16(wide), narrow);
}

TEST(AsciiTest, ConversionsOfNonAsciiFailTheirChecks) {
  test_support::ScopedCheckRecorder recorder;
  EXPECT_EQ(AsciiFromWide(L"a\xE9"), "a?");
  EXPECT_EQ(WideFromAscii("a\xE9"), L"a?");
  EXPECT_EQ(AsciiFromUtf16(L"a\x3000"), "a?");
  EXPECT_EQ(Utf16FromAscii("a\x80"), L"a?");
  const std::vector<std::string> expected = {
      "Check failed: IsStringASCII(wide). ",
      "Check failed: IsStringASCII(ascii). ",
      "Check failed: IsStringASCII(utf16). ",
      "Check failed: IsStringASCII(ascii). ",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(LowerAsciiTest, FoldsOnlyAToZ) {
  // '@' and '[' border 'A' to 'Z'; 0xC0 and 0xC9 are upper-case Latin-1.
  std::string text = "@AZ[`az{\xC0\xC9";
  LowerAsciiInPlace(&text);
  EXPECT_EQ(text, "@az[`az{\xC0\xC9");

  EXPECT_EQ(ToLowerAsciiChar(L'Q'), L'q');
  EXPECT_EQ(ToLowerAsciiChar(L'@'), L'@');
  EXPECT_EQ(ToLowerAsciiChar(L'['), L'[');
  EXPECT_EQ(ToLowerAsciiChar(L'\xC0'), L'\xC0');
  EXPECT_EQ(ToLowerAsciiChar(static_cast<wchar_t>(0xFF21)),  // Fullwidth A.
            static_cast<wchar_t>(0xFF21));
}

TEST(EqualsLowerAsciiTest, AllOverloadsFoldOnlyTheFirstOperand) {
  struct Case {
    std::string a;
    const char* b;
    bool equal;
  };
  const Case kCases[] = {
      {"HeLLo", "hello", true},
      {"hello", "Hello", false},
      {"hell", "hello", false},
      {"hello!", "hello", false},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"@[", "`{", false},
      {"A\0"s, "a", false},
      // Bytes outside ASCII are compared as they are.
      {"caf\xC3\xA9", "caf\xC3\xA9", true},
      {"\xC9", "\xE9", false},
  };
  for (const Case& c : kCases) {
    const std::wstring wide = WidenBytes(c.a);
    EXPECT_EQ(EqualsLowerAscii(c.a, c.b), c.equal)
        << "narrow string: '" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(EqualsLowerAscii(wide, c.b), c.equal)
        << "wide string: '" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(EqualsLowerAscii(c.a.cbegin(), c.a.cend(), c.b), c.equal)
        << "narrow iterators: '" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(EqualsLowerAscii(wide.cbegin(), wide.cend(), c.b), c.equal)
        << "wide iterators: '" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(EqualsLowerAscii(c.a.data(), c.a.data() + c.a.size(), c.b),
              c.equal)
        << "narrow pointers: '" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(EqualsLowerAscii(wide.data(), wide.data() + wide.size(), c.b),
              c.equal)
        << "wide pointers: '" << c.a << "' vs '" << c.b << "'";
  }
}

TEST(HasPrefixTest, NarrowAndWideAgreeWithAndWithoutCase) {
  struct Case {
    std::string str;
    std::string search;
    bool case_sensitive;
    bool has_prefix;
  };
  const Case kCases[] = {
      {"Hello", "HE", false, true},
      {"Hello", "HE", true, false},
      {"Hello", "He", true, true},
      {"He", "Hello", false, false},
      {"He", "Hello", true, false},
      {"Hello", "", true, true},
      {"Hello", "", false, true},
      {"", "", false, true},
      {"", "a", false, false},
      {"hello", "HELLO", false, true},
      // Only 'A' to 'Z' fold: neighbours 0x20 apart stay apart.
      {"@[", "`{", false, false},
      {"\xC9", "\xE9", false, false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(HasPrefixAscii(c.str, c.search, c.case_sensitive), c.has_prefix)
        << "narrow: '" << c.str << "' '" << c.search
        << "' case sensitive: " << c.case_sensitive;
    EXPECT_EQ(
        HasPrefix(WidenBytes(c.str), WidenBytes(c.search), c.case_sensitive),
        c.has_prefix)
        << "wide: '" << c.str << "' '" << c.search
        << "' case sensitive: " << c.case_sensitive;
  }
}

TEST(IsWprintfFormatPortableTest,
     RejectsConversionsThatDifferBetweenPlatforms) {
  struct Case {
    const wchar_t* format;
    bool portable;
  };
  const Case kCases[] = {
      {L"", true},
      {L"plain text", true},
      {L"%d %ls", true},
      {L"%lc%-10ls%5.2f%%", true},
      {L"%s", false},
      {L"%c", false},
      {L"%hs", false},
      {L"%S", false},
      {L"%C", false},
      {L"%5.2F", false},
      {L"%D", false},
      {L"%O", false},
      {L"%U", false},
      // The l of one conversion does not carry over to the next.
      {L"%ld %s", false},
      {L"%ls%s", false},
      // "%%" ends its conversion, so the 's' after it is plain text.
      {L"100%%s", true},
      // A format that ends inside a conversion is broken everywhere alike.
      {L"abc %", true},
      {L"%l", true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(IsWprintfFormatPortable(c.format), c.portable)
        << "format: '" << c.format << "'";
  }
}

TEST(Utf8ValidityTest, AcceptsWellFormedTextOnly) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case kCases[] = {
      {"", true},
      {"abc", true},
      {std::string("a\0b", 3), true},
      {"\xC3\xA9", true},
      {"\xE2\x82\xAC", true},
      {"\xF4\x8F\xBF\xBD", true},   // U+10FFFD, the last usable code point.
      {"\xEF\xBF\xBD", true},       // U+FFFD itself.
      {"\xF0\x9F\xBF\xBD", true},   // U+1FFFD.
      {"\xC0\x80", false},          // Overlong NUL.
      {"\xC1\xBF", false},          // Overlong two-byte lead.
      {"\xE0\x9F\xBF", false},      // Overlong three-byte form.
      {"\xF0\x8F\xBF\xBF", false},  // Overlong four-byte form.
      {"\xED\xA0\x80", false},      // A surrogate.
      {"\xF4\x90\x80\x80", false},  // Above U+10FFFF.
      {"\xF5\x80\x80\x80", false},  // Lead byte out of range.
      {"\xEF\xBF\xBE", false},      // U+FFFE.
      {"\xEF\xBF\xBF", false},      // U+FFFF.
      {"\xF0\x9F\xBF\xBF", false},  // U+1FFFF.
      {"\xF4\x8F\xBF\xBE", false},  // U+10FFFE.
      {"\x80", false},              // A stray continuation byte.
      {"abc\xE2\x82", false},       // Cut short by the end.
      {"\xE2\x41\xAC", false},      // Interrupted.
      {"ok\xC3\xA9\xFF", false},    // Stops at the first bad byte.
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
  }
}

TEST(Utf8ValidityTest, WideUnitsCarryOneByteEach) {
  struct Case {
    std::wstring units;
    bool valid;
  };
  const Case kCases[] = {
      {L"", true},
      {L"abc", true},
      {{0xC3, 0xA9}, true},
      {{0xF4, 0x8F, 0xBF, 0xBD}, true},
      {{0xED, 0xA0, 0x80}, false},
      {{0xEF, 0xBF, 0xBF}, false},
      // Range tests see the whole unit: 0x1C3 is no lead byte.
      {{0x1C3, 0xA9}, false},
      // The continuation test sees the low eight bits only.
      {{0xC3, 0x1A9}, true},
      // ...but the bounds after 0xED compare the whole unit.
      {{0xED, 0x180, 0x80}, false},
      {{0xC3, 0x00}, false},  // A zero where a continuation belongs.
      {{0xE2, 0x82}, false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(IsValidUtf8Units(c.units), c.valid)
        << testing::PrintToString(c.units);
  }
}

TEST(Latin1Test, NarrowsOnlyLatin1Text) {
  std::string latin1 = "stale";
  EXPECT_TRUE(Latin1FromWide(L"caf\u00e9\u00ff", &latin1));
  EXPECT_EQ(latin1, "caf\xE9\xFF");
  EXPECT_TRUE(IsLatin1Only(L"caf\u00e9\u00ff"));

  latin1 = "stale";
  EXPECT_FALSE(Latin1FromWide(L"ab\u0100", &latin1));
  EXPECT_TRUE(latin1.empty());
  EXPECT_FALSE(IsLatin1Only(L"ab\u0100"));

  EXPECT_TRUE(Latin1FromWide(L"", &latin1));
  EXPECT_TRUE(latin1.empty());
}

TEST(EmptyStringTest, OneSharedEmptyStringOfEachKind) {
  AtExitManager exit_manager;
  const std::string& narrow = EmptyNarrowString();
  const std::wstring& wide = EmptyWideString();
  const string16& utf16 = EmptyString16();
  EXPECT_TRUE(narrow.empty());
  EXPECT_TRUE(wide.empty());
  EXPECT_TRUE(utf16.empty());
  EXPECT_EQ(&EmptyNarrowString(), &narrow);
  EXPECT_EQ(&EmptyWideString(), &wide);
  EXPECT_EQ(&EmptyString16(), &utf16);
}

}  // namespace
}  // namespace base
