#include "base/file_path.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

struct TextCase {
  const wchar_t* input;
  const wchar_t* expected;
};

void ExpectEach(const std::vector<TextCase>& cases,
                std::wstring (*operation)(const FilePath&),
                const char* name) {
  for (const TextCase& c : cases) {
    EXPECT_EQ(operation(FilePath(c.input)), c.expected)
        << name << " of '" << testing::PrintToString(std::wstring(c.input))
        << "'";
  }
}

TEST(FilePathTest, IsPathAbsolute) {
  struct Case {
    const wchar_t* path;
    bool absolute;
  };
  const Case kCases[] = {
      {L"C:\\", true},  {L"c:/", true},    {L"C:\\a", true},   {L"z:/a", true},
      {L"\\\\a", true}, {L"//a", true},    {L"\\\\", true},    {L"C:", false},
      {L"C:a", false},  {L"\\a", false},   {L"/a", false},     {L"a", false},
      {L"", false},     {L"1:\\a", false}, {L"a\\\\b", false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FilePath::IsPathAbsolute(c.path), c.absolute) << c.path;
    EXPECT_EQ(FilePath(c.path).IsAbsolutePath(), c.absolute) << c.path;
  }
}

TEST(FilePathTest, DriveLetterIndexWrapsWithoutADrive) {
  EXPECT_EQ(FilePath::DriveLetterIndex(L"C:"), 1u);
  EXPECT_EQ(FilePath::DriveLetterIndex(L"q:\\x"), 1u);
  for (const wchar_t* text : {L"", L"C", L"1:", L"@:", L"[:", L"\\\\"}) {
    EXPECT_EQ(FilePath::DriveLetterIndex(text), FilePath::kNoPosition) << text;
    EXPECT_EQ(FilePath::DriveLetterIndex(text) + 1, 0u);
  }
}

TEST(FilePathTest, ParentDir) {
  ExpectEach(
      {
          {L"C:\\a\\b", L"C:\\a"},
          {L"C:\\a", L"C:\\"},
          {L"C:\\", L"C:\\"},
          {L"C:", L"C:"},
          {L"C:a", L"C:"},
          {L"C:a\\b", L"C:a"},
          {L"a", L"."},
          {L"", L"."},
          {L"\\", L"\\"},
          {L"\\a", L"\\"},
          {L"\\\\a", L"\\\\"},
          {L"\\\\a\\b", L"\\\\a"},
          {L"a\\b\\\\", L"a"},
          {L"a/b", L"a"},
          {L"a\\..", L"a"},
          {L"..", L"."},
          {L"C:\\\\\\", L"C:\\"},
          {L"\\\\\\", L"\\"},
      },
      [](const FilePath& p) { return p.ParentDir().text(); }, "ParentDir");
}

TEST(FilePathTest, LastComponent) {
  ExpectEach(
      {
          {L"C:\\a\\b.txt", L"b.txt"},
          {L"C:", L""},
          {L"C:\\", L"\\"},
          {L"\\", L"\\"},
          {L"a\\b\\", L"b"},
          {L"a/b", L"b"},
          {L"b", L"b"},
          {L"C:b", L"b"},
          {L"", L""},
          {L"\\\\", L"\\\\"},
      },
      [](const FilePath& p) { return p.LastComponent().text(); },
      "LastComponent");
}

TEST(FilePathTest, FinalExtension) {
  ExpectEach(
      {
          {L"a.tar.gz", L".gz"},
          {L"a.", L"."},
          {L".profile", L".profile"},
          {L"a", L""},
          {L"a.b\\c", L""},
          {L"..", L""},
          {L"a\\..", L""},
          {L".", L""},
          {L"C:\\a.b\\c.d\\", L".d"},
          {L"", L""},
      },
      [](const FilePath& p) { return p.FinalExtension(); }, "FinalExtension");
}

TEST(FilePathTest, WithoutExtension) {
  ExpectEach(
      {
          {L"a.b", L"a"},
          {L"a.tar.gz", L"a.tar"},
          {L"a.b\\", L"a"},
          {L"a.b\\c", L"a.b\\c"},
          {L"..", L".."},
          {L"C:\\x\\.profile", L"C:\\x\\"},
          {L"", L""},
      },
      [](const FilePath& p) { return p.WithoutExtension().text(); },
      "WithoutExtension");
}

TEST(FilePathTest, WithSuffixBeforeExtension) {
  struct Case {
    const wchar_t* path;
    const wchar_t* suffix;
    const wchar_t* expected;
  };
  const Case kCases[] = {
      {L"a\\b.txt", L"_1", L"a\\b_1.txt"},
      {L"a\\b", L"_1", L"a\\b_1"},
      {L"a.tar.gz", L"_x", L"a.tar_x.gz"},
      {L"a\\b.txt", L"", L"a\\b.txt"},
      {L"", L"_1", L""},
      {L"C:", L"_1", L""},
      {L".", L"_1", L""},
      {L"a\\..", L"_1", L""},
      {L"a.", L"_1", L"a_1."},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FilePath(c.path).WithSuffixBeforeExtension(c.suffix).text(),
              c.expected)
        << c.path << " + " << c.suffix;
  }
}

TEST(FilePathTest, WithExtension) {
  struct Case {
    const wchar_t* path;
    const wchar_t* extension;
    const wchar_t* expected;
  };
  const Case kCases[] = {
      {L"a.txt", L"png", L"a.png"},
      {L"a.txt", L".png", L"a.png"},
      {L"a", L"", L"a"},
      {L"a.txt", L"", L"a"},
      {L"a.txt", L".", L"a"},
      {L"a\\b", L"c", L"a\\b.c"},
      {L".", L"x", L""},
      {L"..", L"x", L""},
      {L"", L"x", L""},
      {L"C:", L"x", L""},
      {L"a.b\\", L"c", L"a.c"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FilePath(c.path).WithExtension(c.extension).text(), c.expected)
        << c.path << " with " << c.extension;
  }
}

TEST(FilePathTest, Join) {
  struct Case {
    const wchar_t* path;
    const wchar_t* component;
    const wchar_t* expected;
  };
  const Case kCases[] = {
      {L".", L"x", L"x"},
      {L"C:", L"x", L"C:x"},
      {L"C:\\", L"x", L"C:\\x"},
      {L"a\\", L"x", L"a\\x"},
      {L"a/", L"x", L"a\\x"},
      {L"a\\\\", L"x", L"a\\x"},
      {L"a", L"", L"a"},
      {L"", L"x", L"x"},
      {L"a", L"b\\c", L"a\\b\\c"},
      // Not normalised: ".." and leading separators stay as given.
      {L"a", L"..\\b", L"a\\..\\b"},
      {L"a", L"\\b", L"a\\\\b"},
      {L"\\\\", L"x", L"\\\\x"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FilePath(c.path).Join(c.component).text(), c.expected)
        << c.path << " + " << c.component;
    EXPECT_EQ(FilePath(c.path).Join(FilePath(c.component)).text(), c.expected);
  }
  EXPECT_EQ(FilePath(L"a").JoinASCII("b.txt").text(), L"a\\b.txt");
}

TEST(FilePathTest, JoinRefusesAbsoluteAndNonAsciiComponents) {
  test_support::ScopedCheckRecorder recorder;
  EXPECT_TRUE(FilePath(L"a").Join(L"C:\\x").empty());
  EXPECT_TRUE(FilePath(L"a").Join(L"\\\\server").empty());
  EXPECT_TRUE(FilePath(L"a").JoinASCII("gr\xc3\xbc\xc3\x9f").empty());
  const std::vector<std::string> expected = {
      "Check failed: !IsPathAbsolute(component). ",
      "Check failed: !IsPathAbsolute(component). ",
      "Check failed: IsStringASCII(component). ",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(FilePathTest, WithoutTrailingSeparators) {
  ExpectEach(
      {
          {L"a\\\\\\", L"a"},
          {L"\\\\\\", L"\\"},
          {L"\\\\", L"\\\\"},
          {L"\\", L"\\"},
          {L"C:\\", L"C:\\"},
          // Two separators after the drive stay, as two leading ones do.
          {L"C:\\\\", L"C:\\\\"},
          {L"C:\\\\\\", L"C:\\"},
          {L"C:a\\", L"C:a"},
          {L"a/b/", L"a/b"},
          {L"", L""},
      },
      [](const FilePath& p) { return p.WithoutTrailingSeparators().text(); },
      "WithoutTrailingSeparators");
}

TEST(FilePathTest, ValuesCompareByTextAndCopyIndependently) {
  FilePath a(L"C:\\a");
  FilePath copy = a;
  a = a.Join(L"b");
  EXPECT_EQ(copy, FilePath(L"C:\\a"));
  EXPECT_NE(copy, FilePath(L"c:\\a"));
  EXPECT_NE(copy, FilePath(L"C:/a"));
  EXPECT_EQ(FilePath::FromWideString(L"x").ToWideString(), L"x");
  EXPECT_TRUE(FilePath().empty());
}

}  // namespace
}  // namespace base
