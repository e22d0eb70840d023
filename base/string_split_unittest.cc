#include "base/string_split.h"

#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

TEST(ReplaceAfterTest, ReplacesFromTheOffsetWithoutRescanningInsertions) {
  struct Case {
    const char* input;
    size_t offset;
    const char* find;
    const char* replace;
    bool all;
    const char* expected;
  };
  const Case kCases[] = {
      {"aaa", 0, "a", "aa", true, "aaaaaa"},
      {"abcabc", 1, "abc", "x", false, "abcx"},
      {"abcabc", 0, "abc", "x", false, "xabc"},
      {"abcabc", 0, "abc", "x", true, "xx"},
      {"abcabc", 6, "abc", "x", true, "abcabc"},  // Offset at the length.
      {"abcabc", std::string::npos, "abc", "x", true, "abcabc"},
      {"abab", 1, "ab", "", true, "ab"},
  };
  for (const Case& c : kCases) {
    std::string narrow = c.input;
    std::wstring wide(narrow.begin(), narrow.end());
    const std::string find = c.find, replace = c.replace;
    const std::wstring wide_find(find.begin(), find.end());
    const std::wstring wide_replace(replace.begin(), replace.end());
    if (c.all) {
      ReplaceAllAfter(&narrow, c.offset, find, replace);
      ReplaceAllAfter(&wide, c.offset, wide_find, wide_replace);
    } else {
      ReplaceFirstAfter(&narrow, c.offset, find, replace);
      ReplaceFirstAfter(&wide, c.offset, wide_find, wide_replace);
    }
    EXPECT_EQ(narrow, c.expected) << c.input << " from " << c.offset;
    EXPECT_EQ(wide, std::wstring(narrow.begin(), narrow.end()));
  }
}

TEST(ReplaceAfterTest, AnEmptySearchIsACheckThatChangesNothing) {
  test_support::ScopedCheckRecorder recorder;
  std::string text = "abc";
  ReplaceAllAfter(&text, 0, "", "x");
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: !find_this.empty(). "});
}

TEST(SplitTest, KeepsEmptyPiecesAndTrimsWhenAsked) {
  struct Case {
    const char* input;
    bool trim;
    std::vector<std::string> pieces;
  };
  const Case kCases[] = {
      {"", true, {""}},
      {"", false, {""}},
      {" a , b ,", true, {"a", "b", ""}},
      {" a , b ,", false, {" a ", " b ", ""}},
      {",,", false, {"", "", ""}},
      {"\t\r\n x \v\f", true, {"x"}},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> narrow = {"kept"};
    std::vector<std::wstring> wide;
    const std::string input = c.input;
    const std::wstring wide_input(input.begin(), input.end());
    if (c.trim) {
      SplitAt(input, ',', &narrow);
      SplitAt(wide_input, L',', &wide);
    } else {
      SplitAtUntrimmed(input, ',', &narrow);
      SplitAtUntrimmed(wide_input, L',', &wide);
    }
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
    EXPECT_EQ(narrow, expected) << "input: '" << c.input << "'";
    ASSERT_EQ(wide.size(), c.pieces.size());
    for (size_t i = 0; i < wide.size(); ++i)
      EXPECT_EQ(wide[i], std::wstring(c.pieces[i].begin(), c.pieces[i].end()));
  }
  // Wide pieces are trimmed of the wide whitespace too.
  std::vector<std::wstring> wide;
  SplitAt(std::wstring(L"\u3000a\u00a0,b"), L',', &wide);
  EXPECT_EQ(wide, (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(SplitOnSpacesTest, GivesWordsWithoutEmptyOnes) {
  struct Case {
    const wchar_t* input;
    std::vector<std::wstring> words;
  };
  const Case kCases[] = {
      {L"  one two\tthree  ", {L"one", L"two", L"three"}},
      {L"   ", {}},
      {L"", {}},
      {L"one", {L"one"}},
      {L"a\r\n\v\fb", {L"a", L"b"}},
      // Only the six ASCII separators count.
      {L"a\u00a0b", {L"a\u00a0b"}},
  };
  for (const Case& c : kCases) {
    std::vector<std::wstring> words;
    SplitOnSpaces(c.input, &words);
    EXPECT_EQ(words, c.words) << testing::PrintToString(std::wstring(c.input));
  }
}

TEST(JoinWithTest, PutsTheSeparatorBetweenParts) {
  EXPECT_EQ(JoinWith(std::vector<std::string>{"a", "", "b"}, ','), "a,,b");
  EXPECT_EQ(JoinWith(std::vector<std::string>{"a"}, ','), "a");
  EXPECT_EQ(JoinWith(std::vector<std::string>{}, ','), "");
  EXPECT_EQ(JoinWith(std::vector<std::wstring>{L"x", L"y"}, L'/'), L"x/y");
}

TEST(MatchWildcardTest, MatchesAsDocumented) {
  struct Case {
    const char* text;
    const char* pattern;
    bool matches;
  };
  const Case kCases[] = {
      {"hello", "h*o", true},
      {"hello", "*", true},
      {"hello", "hel?o", true},
      {"hello", "hell?o", true},  // "?" may match nothing.
      {"hello", "hello?", true},
      {"hello", "h?o", false},
      {"", "*?*", true},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"a*b", "a\\*b", true},
      {"axb", "a\\*b", false},
      {"a?b", "a\\?b", true},
      {"a\\b", "a\\\\b", true},
      // A lone backslash at the end matches no text that reaches it.
      {"a", "a\\", false},
      {"ab", "a\\", false},
      {"abc", "*c\\", false},
      {"abcbd", "*b?d", true},
      {"abcd", "a*b*c*d*", true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(MatchWildcard(std::string(c.text), std::string(c.pattern)),
              c.matches)
        << "'" << c.text << "' ~ '" << c.pattern << "'";
    const std::string text = c.text, pattern = c.pattern;
    EXPECT_EQ(MatchWildcard(std::wstring(text.begin(), text.end()),
                            std::wstring(pattern.begin(), pattern.end())),
              c.matches);
  }
  // An embedded NUL ends either string.
  EXPECT_TRUE(MatchWildcard(std::string("ab\0zz", 5), std::string("a?")));
  EXPECT_TRUE(MatchWildcard(std::string("ab"), std::string("ab\0x", 4)));
}

// The matching rule as plainly as it can be written: consume the common
// literal prefix, then decide on the wildcard the pattern stops at,
// recursively. Exponential in the worst case; fine for short strings.
bool ReferenceMatch(const char* text, const char* pattern) {
  for (; *text && *pattern; ++text, ++pattern) {
    if (*pattern == '*' || *pattern == '?')
      break;
    if (*pattern == '\\') {
      if (pattern[1] != *text)
        return false;  // Also a lone backslash at the end.
      ++pattern;
      continue;
    }
    if (*pattern != *text)
      return false;
  }
  if (!*text) {
    while (*pattern == '*' || *pattern == '?')
      ++pattern;
    return !*pattern;
  }
  if (!*pattern)
    return false;
  if (*pattern == '?')
    return ReferenceMatch(text, pattern + 1) ||
           ReferenceMatch(text + 1, pattern + 1);
  if (*pattern == '*') {
    for (const char* from = text; *from; ++from) {
      if (ReferenceMatch(from, pattern + 1))
        return true;
    }
    while (*pattern == '*' || *pattern == '?')
      ++pattern;
    return !*pattern;
  }
  return false;
}

TEST(MatchWildcardTest, AgreesWithThePlainRuleOnRandomPairs) {
  std::mt19937 random(20261211);
  const char kTextUnits[] = "ab*?\\";
  const char kPatternUnits[] = "ab*?\\*?";
  auto make = [&random](const char* units, size_t count, size_t max_length) {
    std::string result(random() % (max_length + 1), ' ');
    for (char& c : result)
      c = units[random() % count];
    return result;
  };
  int matched = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string text = make(kTextUnits, 5, 10);
    const std::string pattern = make(kPatternUnits, 7, 8);
    const bool expected = ReferenceMatch(text.c_str(), pattern.c_str());
    matched += expected;
    ASSERT_EQ(MatchWildcard(text, pattern), expected)
        << "'" << text << "' ~ '" << pattern << "'";
  }
  // Both answers occur often enough to mean something.
  EXPECT_GT(matched, 1000);
  EXPECT_LT(matched, 19000);
}

TEST(MatchWildcardTest, NestedStarsOverALongTextAnswerWithoutRecursing) {
  // Exponential for a backtracking matcher, deep for a recursive one.
  std::string pattern;
  for (int i = 0; i < 30; ++i)
    pattern += "*a";
  const std::string text(20000, 'a');
  EXPECT_FALSE(MatchWildcard(text, pattern + "*b"));
  EXPECT_TRUE(MatchWildcard(text, pattern + "*"));
}

TEST(ElideMiddleTest, KeepsBothEndsAndTheOddUnitOnTheLeft) {
  struct Case {
    int max_len;
    const wchar_t* output;
    bool elided;
  };
  const Case kCases[] = {
      {8, L"Hel...ld", true},
      {7, L"He...ld", true},
      {11, L"Hello World", false},
      {20, L"Hello World", false},
      {5, L"H...d", true},
      {4, L"H..d", true},
      {3, L"H.d", true},
      {2, L"He", true},
      {1, L"H", true},
      {0, L"", true},
  };
  for (const Case& c : kCases) {
    std::wstring output = L"old";
    EXPECT_EQ(ElideMiddle(L"Hello World", c.max_len, &output), c.elided)
        << c.max_len;
    EXPECT_EQ(output, c.output) << c.max_len;
  }
  test_support::ScopedCheckRecorder recorder;
  std::wstring output = L"old";
  EXPECT_FALSE(ElideMiddle(L"Hello", -1, &output));
  EXPECT_EQ(output, L"old");
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: max_len >= 0. "});
}

}  // namespace
}  // namespace base
