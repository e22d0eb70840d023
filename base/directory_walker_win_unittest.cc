#include "base/directory_walker_win.h"

#include <set>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/time.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::MakeFolder;
using test_support::WriteTextFile;

// A tree with blanks and non-ASCII characters in its names:
//   a.txt  b.dat  sub one\ (c.txt  deep\ (d.txt))  sub.txt\ (e.dat)
class DirectoryWalkerTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path() + L"\\walk gr\u00fc\u00df";
    ASSERT_TRUE(MakeFolder(root_));
    for (const wchar_t* folder :
         {L"\\sub one", L"\\sub one\\deep", L"\\sub.txt"}) {
      ASSERT_TRUE(MakeFolder(root_ + folder));
    }
    for (const wchar_t* file :
         {L"\\a.txt", L"\\b.dat", L"\\sub one\\c.txt",
          L"\\sub one\\deep\\d.txt", L"\\sub.txt\\e.dat"}) {
      ASSERT_TRUE(WriteTextFile(root_ + file, "x"));
    }
  }

  // Every answer of the walker, relative to the root, in order.
  std::vector<std::wstring> Walk(bool recursive,
                                 WalkKinds kinds,
                                 const std::wstring& pattern = L"") {
    DirectoryWalker walker(FilePath(root_), recursive, kinds, pattern);
    std::vector<std::wstring> entries;
    for (FilePath path = walker.Next(); !path.empty(); path = walker.Next())
      entries.push_back(path.text().substr(root_.size() + 1));
    // Over is over.
    EXPECT_TRUE(walker.Next().empty());
    return entries;
  }

  static std::set<std::wstring> AsSet(const std::vector<std::wstring>& v) {
    return std::set<std::wstring>(v.begin(), v.end());
  }

  test_support::ScopedTempDir dir_;
  std::wstring root_;
};

TEST_F(DirectoryWalkerTest, KindsAndDepth) {
  struct Case {
    bool recursive;
    WalkKinds kinds;
    const wchar_t* pattern;
    std::set<std::wstring> entries;
  };
  const Case kCases[] = {
      {false, WALK_FILES, L"", {L"a.txt", L"b.dat"}},
      {false, WALK_DIRECTORIES, L"", {L"sub one", L"sub.txt"}},
      {false,
       WALK_FILES_AND_DIRECTORIES,
       L"",
       {L"a.txt", L"b.dat", L"sub one", L"sub.txt"}},
      {true,
       WALK_FILES,
       L"",
       {L"a.txt", L"b.dat", L"sub one\\c.txt", L"sub one\\deep\\d.txt",
        L"sub.txt\\e.dat"}},
      // The pattern narrows the root only; matching folders are then listed
      // whole, and folders that do not match are not entered.
      {true,
       WALK_FILES_AND_DIRECTORIES,
       L"*.txt",
       {L"a.txt", L"sub.txt", L"sub.txt\\e.dat"}},
      {false, WALK_FILES, L"?.dat", {L"b.dat"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.pattern)));
    EXPECT_EQ(AsSet(Walk(c.recursive, c.kinds, c.pattern)), c.entries);
  }
}

TEST_F(DirectoryWalkerTest, SubfoldersComeAfterTheirFolderLastFoundFirst) {
  const std::vector<std::wstring> entries =
      Walk(true, WALK_FILES_AND_DIRECTORIES);
  auto position = [&entries](const std::wstring& name) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] == name)
        return i;
    }
    return entries.size();
  };
  ASSERT_EQ(entries.size(), 8u);
  // Everything of the root comes first.
  for (const wchar_t* top : {L"a.txt", L"b.dat", L"sub one", L"sub.txt"})
    EXPECT_LT(position(top), 4u) << top;
  // The folder found last in the root is listed first.
  const bool sub_txt_last = position(L"sub.txt") > position(L"sub one");
  EXPECT_EQ(position(L"sub.txt\\e.dat") < position(L"sub one\\c.txt"),
            sub_txt_last);
  EXPECT_LT(position(L"sub one\\c.txt"), position(L"sub one\\deep\\d.txt"));
}

TEST(DirectoryWalkerEdgeTest, MissingFoldersAndEmptiness) {
  test_support::ScopedTempDir dir;
  DirectoryWalker missing(FilePath(dir.path() + L"\\missing"), true,
                          WALK_FILES_AND_DIRECTORIES);
  EXPECT_TRUE(missing.Next().empty());
  EXPECT_TRUE(IsFolderEmpty(FilePath(dir.path())));
  EXPECT_TRUE(IsFolderEmpty(FilePath(dir.path() + L"\\missing")));
  ASSERT_TRUE(MakeFolder(dir.path() + L"\\empty"));
  EXPECT_FALSE(IsFolderEmpty(FilePath(dir.path())));
}

TEST(DirectoryWalkerEdgeTest, CopyFindDataWhileListing) {
  test_support::ScopedTempDir dir;
  ASSERT_TRUE(WriteTextFile(dir.path() + L"\\only.txt", "12345"));
  DirectoryWalker walker(FilePath(dir.path()), false, WALK_FILES);
  WIN32_FIND_DATAW data = {};
  walker.CopyFindData(&data);  // Nothing open yet: untouched.
  EXPECT_EQ(data.cFileName[0], L'\0');
  ASSERT_FALSE(walker.Next().empty());
  walker.CopyFindData(&data);
  EXPECT_STREQ(data.cFileName, L"only.txt");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  test_support::ScopedCheckRecorder recorder;
  walker.CopyFindData(nullptr);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: info. "});
}

TEST(CountFilesCreatedSinceTest, CountsEntriesFromTheGivenTime) {
  AtExitManager exit_manager;  // The clock is a process-wide object.
  const TimeDelta kOneHour = TimeDelta::FromMilliseconds(3600 * 1000);
  test_support::ScopedTempDir dir;
  ASSERT_TRUE(WriteTextFile(dir.path() + L"\\one.txt", "1"));
  ASSERT_TRUE(MakeFolder(dir.path() + L"\\two"));
  const FilePath folder(dir.path());
  EXPECT_EQ(CountFilesCreatedSince(folder, Time::Now() - kOneHour), 2);
  EXPECT_EQ(CountFilesCreatedSince(folder, Time::Now() + kOneHour), 0);
  EXPECT_EQ(CountFilesCreatedSince(FilePath(dir.path() + L"\\missing"),
                                   Time::Now() - kOneHour),
            0);
}

}  // namespace
}  // namespace base
