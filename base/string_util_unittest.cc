#include "base/string_util.h"

#include <climits>
#include <cstdarg>
#include <set>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/logging.h"
#include "base/string_util_win.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_files.h"
#include "test_support/test_strings.h"

namespace base {
namespace {

using namespace std::string_literals;

using test_support::WidenBytes;

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

// FormatIntoBuffer with variable arguments.
int FormatIntoArray(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = FormatIntoBuffer(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

int FormatIntoArray(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = FormatIntoBuffer(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

TEST(FormatIntoBufferTest, AnswersTheFullLengthAndWritesOnlyWithinTheSize) {
  struct Case {
    size_t size;
    const char* written;  // Null: nothing may be written at all.
  };
  const Case kCases[] = {
      {0, nullptr}, {1, ""}, {2, "h"}, {5, "hel1"}, {6, "hel10"}, {16, "hel10"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size);
    char narrow[16];
    std::fill(std::begin(narrow), std::end(narrow), '#');
    EXPECT_EQ(FormatIntoArray(narrow, c.size, "%s%d", "hel", 10), 5);
    wchar_t wide[16];
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(FormatIntoArray(wide, c.size, L"%ls%d", L"hel", 10), 5);

    const size_t used = c.written ? strlen(c.written) + 1 : 0;
    if (c.written) {
      EXPECT_STREQ(narrow, c.written);
      EXPECT_EQ(std::wstring(wide), WidenBytes(c.written));
    }
    // Nothing past the terminator, and with size 0 nothing at all.
    EXPECT_EQ(std::string(narrow + used, 16 - used),
              std::string(16 - used, '#'));
    EXPECT_EQ(std::wstring(wide + used, 16 - used),
              std::wstring(16 - used, L'#'));
  }
  // With size 0 the buffer is not even looked at.
  EXPECT_EQ(FormatIntoArray(static_cast<char*>(nullptr), 0, "%d", 12345), 5);
  EXPECT_EQ(FormatIntoArray(static_cast<wchar_t*>(nullptr), 0, L"%d", 12345),
            5);
}

TEST(FormatStringTest, GivesTheTextsOfTheC99Formatter) {
  struct Case {
    std::string formatted;
    const char* expected;
  };
  const Case kCases[] = {
      {FormatString("%s|%ls|%c", "narrow", L"wide", 'c'), "narrow|wide|c"},
      {FormatString("%lld %lld", LLONG_MIN, LLONG_MAX),
       "-9223372036854775808 9223372036854775807"},
      {FormatString("%llu", ULLONG_MAX), "18446744073709551615"},
      {FormatString("%.1lf %.1lf %.1lf", 1.96, 1.5, 0.04), "2.0 1.5 0.0"},
      {FormatString("%e|%g|%g", 1e21, 1e-5, 0.1), "1.000000e+21|1e-05|0.1"},
      {FormatString("%5.2f|%-4d|%04x", 3.14159, 7, 255), " 3.14|7   |00ff"},
      {FormatString("100%%"), "100%"},
      // Latin-1 units of a wide argument pass as single bytes.
      {FormatString("%ls", L"caf\u00e9"), "caf\xE9"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(c.formatted, c.expected);

  struct WideCase {
    std::wstring formatted;
    const wchar_t* expected;
  };
  const WideCase kWideCases[] = {
      {FormatString(L"%ls|%lc", L"wide \u00e9\u3000", L'\u20ac'),
       L"wide \u00e9\u3000|\u20ac"},
      {FormatString(L"%lld", LLONG_MIN), L"-9223372036854775808"},
      {FormatString(L"%.1lf|%e", 1.96, 1e21), L"2.0|1.000000e+21"},
  };
  for (const WideCase& c : kWideCases)
    EXPECT_EQ(c.formatted, c.expected);
}

TEST(FormatStringTest, WideFormatsMustBePortable) {
  test_support::ScopedCheckRecorder recorder;
  FormatString(L"%hs", "narrow");
  const std::vector<std::string> expected = {
      "Check failed: IsWprintfFormatPortable(format). "};
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(FormatStringTest, OutputOfAnyLengthAcrossTheStackBuffer) {
  // The stack buffer holds 1023 units and a terminator; from 1024 units on
  // the text is formatted a second time, into the heap, and the arguments
  // after the long one must come out right in that pass too.
  const size_t kLengths[] = {0, 1, 1022, 1023, 1024, 1025, 4096, 1000000};
  for (const size_t length : kLengths) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    // "%s%d" with a single digit: the filler is one unit shorter.
    const std::string filler(length ? length - 1 : 0, 'a');
    const std::string tail = length ? "7" : "";
    const char* format = length ? "%s%d" : "%s";

    std::string narrow = "keep:";
    AppendFormat(&narrow, format, filler.c_str(), 7);
    EXPECT_EQ(narrow, "keep:" + filler + tail);
    EXPECT_EQ(FormatString(format, filler.c_str(), 7), filler + tail);
    std::string replaced = "old";
    EXPECT_EQ(FormatStringInto(&replaced, format, filler.c_str(), 7),
              filler + tail);
    EXPECT_EQ(replaced, filler + tail);

    const std::wstring wide_filler(filler.size(), L'\u00e9');
    const std::wstring wide_tail = WidenBytes(tail);
    const wchar_t* wide_format = length ? L"%ls%d" : L"%ls";
    std::wstring wide = L"keep:";
    AppendFormat(&wide, wide_format, wide_filler.c_str(), 7);
    EXPECT_EQ(wide, L"keep:" + wide_filler + wide_tail);
    std::wstring wide_replaced = L"old";
    EXPECT_EQ(
        FormatStringInto(&wide_replaced, wide_format, wide_filler.c_str(), 7),
        wide_filler + wide_tail);
  }
}

// Sends the log to a file of its own, so that a test can read its warnings.
class FormatWarningTest : public testing::Test {
 protected:
  FormatWarningTest() : log_path_(temp_.path() + L"\\format.log") {}

  void SetUp() override {
    ConfigureLogging(log_path_.c_str(), LOG_TO_FILE, LOG_LOCK_IN_PROCESS,
                     ERASE_EXISTING_LOG);
  }

  void TearDown() override {
    const std::wstring default_log =
        test_support::TestProgramFolder() + L"debug.log";
    ConfigureLogging(default_log.c_str(), LOG_TO_FILE, LOG_LOCK_SYSTEM_MUTEX,
                     KEEP_EXISTING_LOG);
  }

  // The messages of the log, without their line prefixes.
  std::vector<std::string> Messages() {
    ReleaseLogFile();
    const std::string text = test_support::ReadTextFile(log_path_);
    std::vector<std::string> messages;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      const std::string line = text.substr(start, end - start);
      messages.push_back(line.substr(line.find("] ") + 2));
    }
    return messages;
  }

  test_support::ScopedTempDir temp_;
  const std::wstring log_path_;
};

TEST_F(FormatWarningTest, OutputAbove32MiBUnitsIsRefusedAndLogged) {
  // 33554432 units and a terminator need one unit more than allowed.
  const int kTooLong = 32 * 1024 * 1024;
  std::string narrow = "keep";
  AppendFormat(&narrow, "%*s", kTooLong, "");
  EXPECT_EQ(narrow, "keep");
  EXPECT_EQ(FormatStringInto(&narrow, "%*s", kTooLong, ""), "");
  std::wstring wide = L"keep";
  AppendFormat(&wide, L"%*ls", kTooLong, L"");
  EXPECT_EQ(wide, L"keep");

  const std::vector<std::string> expected(
      3, "Unable to printf the requested string due to size.");
  EXPECT_EQ(Messages(), expected);

  // One unit shorter fits exactly.
  EXPECT_EQ(FormatString("%*s", kTooLong - 1, "x").size(),
            static_cast<size_t>(kTooLong - 1));
}

TEST(SubstitutePlaceholdersTest, ReplacesPlaceholdersAndReportsOffsets) {
  struct Case {
    const wchar_t* format;
    std::vector<std::wstring> substitutions;  // For $1 to $4.
    const wchar_t* expected;
    std::vector<size_t> offsets;
  };
  const Case kCases[] = {
      {L"$1 costs $$5", {L"It", L"", L"", L""}, L"It costs $5", {0}},
      {L"a$", {L"x", L"", L"", L""}, L"a", {}},
      {L"$2$1", {L"x", L"y", L"", L""}, L"yx", {1, 0}},
      {L"$1-$1", {L"x", L"", L"", L""}, L"x-x", {2, 0}},
      {L"$4$3$2$1",
       {L"a", L"bb", L"ccc", L"dddd"},
       L"ddddcccbba",
       {9, 7, 4, 0}},
      {L"[$1|$3|$1]", {L"ab", L"", L"c", L""}, L"[ab|c|ab]", {6, 1, 4}},
      {L"$$1$$", {L"x", L"", L"", L""}, L"$1$", {}},
      {L"", {L"x", L"", L"", L""}, L"", {}},
      {L"no placeholders", {L"x", L"", L"", L""}, L"no placeholders", {}},
      {L"\u00e9$1\u3000",
       {L"\u20ac", L"", L"", L""},
       L"\u00e9\u20ac\u3000",
       {1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "format: '" << c.format << "'");
    // Offsets are appended to what the vector holds.
    std::vector<size_t> offsets = {99};
    EXPECT_EQ(SubstitutePlaceholders(c.format, c.substitutions[0],
                                     c.substitutions[1], c.substitutions[2],
                                     c.substitutions[3], &offsets),
              c.expected);
    std::vector<size_t> expected_offsets = {99};
    expected_offsets.insert(expected_offsets.end(), c.offsets.begin(),
                            c.offsets.end());
    EXPECT_EQ(offsets, expected_offsets);
    EXPECT_EQ(
        SubstitutePlaceholders(c.format, c.substitutions[0], c.substitutions[1],
                               c.substitutions[2], c.substitutions[3]),
        c.expected);
  }
}

TEST(SubstitutePlaceholdersTest, ShorterOverloadsLeaveTheRestEmpty) {
  std::vector<size_t> offsets;
  EXPECT_EQ(SubstitutePlaceholders(L"$1$2$3$4.", L"a", L"b", L"c", &offsets),
            L"abc.");
  EXPECT_EQ(offsets, (std::vector<size_t>{0, 1, 2, 3}));
  offsets.clear();
  EXPECT_EQ(SubstitutePlaceholders(L"$1$2$3$4.", L"a", L"b", &offsets), L"ab.");
  EXPECT_EQ(offsets, (std::vector<size_t>{0, 1, 2, 2}));

  size_t offset = 99;
  EXPECT_EQ(SubstitutePlaceholders(L"Hello $1!", L"world", &offset),
            L"Hello world!");
  EXPECT_EQ(offset, 6u);
  EXPECT_EQ(SubstitutePlaceholders(L"Hello $1!", L"world"), L"Hello world!");
}

TEST(SubstitutePlaceholdersTest, OneSubstitutionNeedsExactlyOnePlaceholder) {
  test_support::ScopedCheckRecorder recorder;
  // Without a placeholder there is no offset to store: the caller's value
  // stays as it was.
  size_t offset = 77;
  EXPECT_EQ(SubstitutePlaceholders(L"Hello", L"x", &offset), L"Hello");
  EXPECT_EQ(offset, 77u);
  // With two, the first of the ordered offsets: the later occurrence.
  EXPECT_EQ(SubstitutePlaceholders(L"$1$1", L"x", &offset), L"xx");
  EXPECT_EQ(offset, 1u);
  const std::vector<std::string> expected(
      2, "Check failed: offsets.size() == 1. ");
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(SubstitutePlaceholdersTest, InvalidPlaceholdersFailAndStayAsWritten) {
  struct Case {
    const wchar_t* format;
    const wchar_t* expected;
    std::vector<size_t> offsets;
    const char* unit;  // As the message shows it, in UTF-8.
  };
  const Case kCases[] = {
      {L"$5x", L"$5x", {}, "5"},
      {L"a$0", L"a$0", {}, "0"},
      {L"$9$1", L"$9S", {2}, "9"},
      {L"$a$$", L"$a$", {}, "a"},
      {L"$\u00e9", L"$\u00e9", {}, "\xC3\xA9"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "format: '" << c.format << "'");
    test_support::ScopedCheckRecorder recorder;
    std::vector<size_t> offsets;
    EXPECT_EQ(SubstitutePlaceholders(c.format, L"S", L"", L"", L"", &offsets),
              c.expected);
    EXPECT_EQ(offsets, c.offsets);
    const std::vector<std::string> expected = {
        std::string("Check failed: '$' == *i || ('1' <= *i && *i <= '4'). "
                    "Invalid placeholder: ") +
        c.unit};
    EXPECT_EQ(recorder.messages(), expected);
  }
}

TEST(CopyBoundedTest, CopiesWithinTheSizeAndAnswersTheSourceLength) {
  struct Case {
    const char* source;
    size_t size;
    const char* copied;  // Null: nothing may be written.
  };
  const Case kCases[] = {
      {"hello", 0, nullptr}, {"hello", 1, ""},      {"hello", 3, "he"},
      {"hello", 5, "hell"},  {"hello", 6, "hello"}, {"hello", 12, "hello"},
      {"", 0, nullptr},      {"", 1, ""},           {"", 12, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "source: '" << c.source << "' size: " << c.size);
    char narrow[12];
    std::fill(std::begin(narrow), std::end(narrow), '#');
    EXPECT_EQ(CopyBounded(narrow, c.source, c.size), strlen(c.source));
    wchar_t wide[12];
    std::fill(std::begin(wide), std::end(wide), L'#');
    const std::wstring wide_source = WidenBytes(c.source);
    EXPECT_EQ(CopyBounded(wide, wide_source.c_str(), c.size),
              wide_source.size());

    const size_t used = c.copied ? strlen(c.copied) + 1 : 0;
    if (c.copied) {
      EXPECT_STREQ(narrow, c.copied);
      EXPECT_EQ(std::wstring(wide), WidenBytes(c.copied));
    }
    EXPECT_EQ(std::string(narrow + used, 12 - used),
              std::string(12 - used, '#'));
    EXPECT_EQ(std::wstring(wide + used, 12 - used),
              std::wstring(12 - used, L'#'));
  }
}

}  // namespace
}  // namespace base
