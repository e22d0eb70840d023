#include "base/file_util.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/codepage_conversions.h"
#include "base/file_util_win.h"
#include "base/win_util.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/log_capture.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ReadTextFile;
using test_support::ScopedTempDir;
using test_support::WriteTextFile;

// Blanks and characters outside ASCII and outside the system code page in
// every folder the tests work in.
constexpr wchar_t kFolderName[] = L"file util gr\u00fc\u00df \u5c71";

// Every file and folder below `root`, as paths relative to it; folders end
// in a backslash.
std::set<std::wstring> TreeOf(const std::wstring& root,
                              const std::wstring& prefix = L"") {
  std::set<std::wstring> tree;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((root + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return tree;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      tree.insert(prefix + name + L"\\");
      const std::set<std::wstring> below =
          TreeOf(root + L"\\" + name, prefix + name + L"\\");
      tree.insert(below.begin(), below.end());
    } else {
      tree.insert(prefix + name);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return tree;
}

// Makes the files (names without a trailing backslash, holding their own
// name as text) and folders (with one) of `tree` below `root`.
void MakeTree(const std::wstring& root, const std::set<std::wstring>& tree) {
  for (const std::wstring& entry : tree) {
    const std::wstring path = root + L"\\" + entry;
    if (entry.back() == L'\\') {
      ASSERT_TRUE(MakeDirectory(path.substr(0, path.size() - 1))) << entry;
    } else {
      ASSERT_TRUE(WriteTextFile(path, WideToUtf8(entry))) << entry;
    }
  }
}

// Restores the process's current folder when the test is done.
class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const std::wstring& folder) {
    GetWorkingFolder(&saved_);
    SetWorkingFolder(folder);
  }
  ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
  ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;
  ~ScopedWorkingFolder() { SetWorkingFolder(saved_); }

 private:
  std::wstring saved_;
};

// A text of `length` units: `start` followed by 'x's.
std::wstring Padded(const std::wstring& start, size_t length) {
  return start + std::wstring(length - start.size(), L'x');
}

TEST(FileUtilLexicalTest, SplitPathComponents) {
  struct Case {
    const wchar_t* path;
    std::vector<std::wstring> components;
  };
  const Case kCases[] = {
      {L"C:\\a\\b", {L"C:", L"a", L"b"}},
      {L"\\a", {L"\\", L"a"}},
      {L"/a", {L"/", L"a"}},
      {L"a\\\\b\\", {L"a", L"", L"b", L""}},
      {L"a", {L"a"}},
      {L"\\\\s\\x", {L"\\", L"", L"s", L"x"}},
  };
  for (const Case& c : kCases) {
    std::vector<std::wstring> components = {L"kept"};
    SplitPathComponents(FilePath(c.path), &components);
    std::vector<std::wstring> expected = {L"kept"};
    expected.insert(expected.end(), c.components.begin(), c.components.end());
    EXPECT_EQ(components, expected) << c.path;
  }
  test_support::ScopedCheckRecorder recorder;
  SplitPathComponents(L"a", nullptr);
  AppendPathPiece(nullptr, L"a");
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Check failed: components. ",
                                      "Check failed: false. "}));
}

TEST(FileUtilLexicalTest, StringOperations) {
  struct Case {
    const char* operation;
    const wchar_t* input;
    const wchar_t* argument;
    const wchar_t* expected;
  };
  const Case kCases[] = {
      {"DropTrailingSeparators", L"C:\\", L"", L"C:"},
      {"DropTrailingSeparators", L"\\", L"", L"\\"},
      {"DropTrailingSeparators", L"a\\\\/", L"", L"a"},
      {"AppendPathPiece", L"", L"a", L"\\a"},
      {"AppendPathPiece", L"C:\\", L"a", L"C:\\a"},
      {"AppendPathPiece", L"x/", L"a", L"x/a"},
      {"AppendPathPiece", L"x", L"a", L"x\\a"},
      {"ExtensionWithoutDot", L"a\\b.txt", L"", L"txt"},
      {"ExtensionWithoutDot", L"a.b\\c", L"", L""},
      {"ExtensionWithoutDot", L"a.tar.gz", L"", L"gz"},
      {"FileNameOf", L"C:\\a\\b.txt", L"", L"b.txt"},
      {"NameWithoutExtension", L"C:\\a\\b.tar.gz", L"", L"b.tar"},
      {"NameWithoutExtension", L"C:\\a.b\\c", L"", L"c"},
      {"InsertSuffixBeforeExtension", L"C:\\pics.old\\jojo", L"_x",
       L"C:\\pics.old\\jojo_x"},
      {"InsertSuffixBeforeExtension", L"a\\b.txt", L"_x", L"a\\b_x.txt"},
      {"SetExtension", L"C:\\pics.old\\jojo", L"jpg",
       L"C:\\pics.old\\jojo.jpg"},
      {"SetExtension", L"a.txt", L".png", L"a.png"},
      {"SetExtension", L"a.txt", L".", L"a"},
      {"SetExtension", L"a.txt", L"", L"a"},
      {"TrimLastComponent", L"a\\b", L"", L"a"},
      {"TrimLastComponent", L"a\\b\\\\", L"", L"a\\b"},
      {"GoUpOneDirectory", L"C:\\a", L"", L"C:\\"},
      {"GoUpOneDirectory", L"a", L"", L"a"},
      {"GoUpOneDirectoryOrClear", L"a", L"", L""},
      {"GoUpOneDirectoryOrClear", L"C:\\", L"", L""},
      {"GoUpOneDirectoryOrClear", L"C:\\a", L"", L"C:\\"},
  };
  for (const Case& c : kCases) {
    const std::string operation = c.operation;
    std::wstring text = c.input;
    FilePath path(c.input);
    if (operation == "DropTrailingSeparators") {
      DropTrailingSeparators(&text);
    } else if (operation == "AppendPathPiece") {
      AppendPathPiece(&text, c.argument);
    } else if (operation == "ExtensionWithoutDot") {
      text = ExtensionWithoutDot(text);
      EXPECT_EQ(ExtensionWithoutDot(path), text);
    } else if (operation == "FileNameOf") {
      text = FileNameOf(text);
    } else if (operation == "NameWithoutExtension") {
      text = NameWithoutExtension(text);
    } else if (operation == "InsertSuffixBeforeExtension") {
      InsertSuffixBeforeExtension(&text, c.argument);
      InsertSuffixBeforeExtension(&path, c.argument);
      EXPECT_EQ(path.text(), text);
    } else if (operation == "SetExtension") {
      SetExtension(&text, c.argument);
      SetExtension(&path, c.argument);
      EXPECT_EQ(path.text(), text);
    } else if (operation == "TrimLastComponent") {
      TrimLastComponent(&text);
    } else if (operation == "GoUpOneDirectory") {
      GoUpOneDirectory(&text);
    } else {
      GoUpOneDirectoryOrClear(&text);
    }
    EXPECT_EQ(text, c.expected) << c.operation << " of " << c.input;
  }
  EXPECT_TRUE(HasTrailingSeparator(L"a/"));
  EXPECT_FALSE(HasTrailingSeparator(FilePath(L"")));
}

TEST(FileUtilTest, DirectoryOfPathKeepsTheCallersForm) {
  ScopedTempDir temp(kFolderName);
  const ScopedWorkingFolder working(temp.path());
  const std::wstring parent = FilePath(temp.path()).ParentDir().text();
  struct Case {
    std::wstring path;
    std::wstring directory;
  };
  const Case kCases[] = {
      {L"a\\b.txt", L"a"},
      {L"a/b.txt", L"a"},
      {L"..\\x.txt", L".."},
      {L"..\\..\\x", L"..\\.."},
      {L"b.txt", L""},
      {L"a\\", L"a"},
      {L"C:\\x\\y.txt", L"C:\\x"},
      {L"C:\\", L"C:"},
      {L"\u5c71 \u00fc\\b c.txt", L"\u5c71 \u00fc"},
      // The text does not end in the name it resolves to: the folder is
      // the qualified one.
      {L"a\\..", parent},
      {L"", L""},
      // Too long to qualify: refused, not cut.
      {Padded(L"C:\\", 259), L"C:"},
      {Padded(L"C:\\", 260), L""},
      {Padded(L"C:\\", 300) + L"\\b.txt", L""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(DirectoryOfPath(c.path), c.directory)
        << testing::PrintToString(c.path);
  }
}

TEST(FileUtilTest, DeletesWhatIsAskedAndKeepsANonEmptyFolder) {
  const std::set<std::wstring> kTree = {
      L"file.txt",
      L"other.dat",
      L"empty\\",
      L"full\\",
      L"full\\inner.txt",
      L"full\\sub\\",
      L"full\\sub\\deep.txt",
  };
  struct Case {
    const wchar_t* path;
    bool recursive;
    bool answer;
    std::set<std::wstring> removed;
  };
  const Case kCases[] = {
      {L"file.txt", false, true, {L"file.txt"}},
      {L"file.txt", true, true, {L"file.txt"}},
      {L"missing.txt", false, true, {}},
      {L"missing\\x", true, true, {}},
      {L"empty", false, true, {L"empty\\"}},
      {L"empty\\", false, true, {L"empty\\"}},
      // Not recursive: a folder with files in it stays whole.
      {L"full", false, false, {}},
      {L"full",
       true,
       true,
       {L"full\\", L"full\\inner.txt", L"full\\sub\\", L"full\\sub\\deep.txt"}},
      {L"*.txt", false, true, {L"file.txt"}},
      {L"*", false, true, {L"file.txt", L"other.dat"}},
      {L"*", true, true, kTree},
      {L"f*",
       true,
       true,
       {L"file.txt", L"full\\", L"full\\inner.txt", L"full\\sub\\",
        L"full\\sub\\deep.txt"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)) +
                 (c.recursive ? " recursive" : ""));
    ScopedTempDir temp(kFolderName);
    MakeTree(temp.path(), kTree);
    EXPECT_EQ(DeletePath(temp.path() + L"\\" + c.path, c.recursive), c.answer);
    std::set<std::wstring> expected;
    std::set_difference(kTree.begin(), kTree.end(), c.removed.begin(),
                        c.removed.end(),
                        std::inserter(expected, expected.begin()));
    EXPECT_EQ(TreeOf(temp.path()), expected);
  }
}

// A path of 260 units or more is refused by every operation that would
// copy it into a MAX_PATH buffer, and never cut: the file that its first
// 259 units name stays as it is.
TEST(FileUtilTest, PathsOverTheLimitAreRefusedNotCut) {
  ScopedTempDir temp(kFolderName);
  // Folders of long names lead to a file whose path is exactly 259 units.
  std::wstring folder = temp.path();
  while (folder.size() + 1 + 200 < MAX_PATH - 1) {
    folder += L"\\" + std::wstring(100, L'd');
    ASSERT_TRUE(MakeDirectory(folder));
  }
  const std::wstring victim = Padded(folder + L"\\v", MAX_PATH - 1);
  ASSERT_EQ(victim.size(), 259u);
  ASSERT_TRUE(WriteTextFile(victim, "kept"));
  const std::wstring long_path = victim + L"\\more";
  const std::wstring copy = temp.path() + L"\\copy";

  EXPECT_FALSE(DeletePath(long_path, false));
  EXPECT_FALSE(DeletePath(long_path, true));
  EXPECT_FALSE(MovePath(long_path, copy));
  EXPECT_FALSE(MovePath(victim, Padded(copy, 260)));
  EXPECT_FALSE(CopyOneFile(long_path, copy));
  EXPECT_FALSE(CopyTree(long_path, copy, true));
  EXPECT_FALSE(CopyTree(victim, Padded(copy, 260), true));
  std::wstring absolute = long_path;
  EXPECT_FALSE(MakeAbsolute(&absolute));
  EXPECT_EQ(absolute, long_path);
  EXPECT_EQ(DirectoryOfPath(long_path), L"");

  EXPECT_EQ(ReadTextFile(victim), "kept");
  EXPECT_FALSE(DoesPathExist(copy));
  EXPECT_TRUE(DeletePath(victim, false));
  EXPECT_FALSE(DoesPathExist(victim));
}

TEST(FileUtilTest, ReadsAndWritesExactSizes) {
  ScopedTempDir temp(kFolderName);
  const std::wstring ten = temp.path() + L"\\ten \u5c71.bin";
  ASSERT_EQ(WriteWholeFile(ten, "0123456789", 10), 10);
  struct Case {
    int size;
    int answer;
  };
  const Case kCases[] = {{20, -1}, {10, 10}, {5, 5}, {0, 0}, {-1, -1}};
  for (const Case& c : kCases) {
    char buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(ReadExactly(ten, buffer, c.size), c.answer) << c.size;
    if (c.answer > 0) {
      EXPECT_EQ(std::string(buffer, c.answer),
                std::string("0123456789", c.answer));
    }
    if (c.size < 0) {
      EXPECT_EQ(buffer[0], '#');
    }
  }
  char buffer[4];
  EXPECT_EQ(ReadExactly(temp.path() + L"\\missing", buffer, 4), -1);

  // A negative size touches nothing: the file keeps its bytes.
  EXPECT_EQ(WriteWholeFile(ten, "abc", -1), -1);
  EXPECT_EQ(AppendBytesToFile(FilePath(ten), "abc", -5), -1);
  EXPECT_EQ(ReadTextFile(ten), "0123456789");
  EXPECT_FALSE(DoesPathExist(temp.path() + L"\\never"));
  EXPECT_EQ(WriteWholeFile(temp.path() + L"\\never", "abc", -1), -1);
  EXPECT_FALSE(DoesPathExist(temp.path() + L"\\never"));

  // Writing replaces; appending adds and creates.
  EXPECT_EQ(WriteWholeFile(ten, "xy", 2), 2);
  EXPECT_EQ(ReadTextFile(ten), "xy");
  EXPECT_EQ(AppendBytesToFile(FilePath(ten), "z", 1), 1);
  EXPECT_EQ(ReadTextFile(ten), "xyz");
  const FilePath appended(temp.path() + L"\\appended");
  EXPECT_EQ(AppendBytesToFile(appended, "new", 3), 3);
  EXPECT_EQ(ReadTextFile(appended.text()), "new");
  EXPECT_EQ(WriteWholeFile(appended, "", 0), 0);
  int64_t size = -1;
  EXPECT_TRUE(QueryFileSize(appended, &size));
  EXPECT_EQ(size, 0);

  std::string contents = "ab";
  ASSERT_TRUE(ReadWholeFile(ten, &contents));
  EXPECT_EQ(contents, "abxyz");
  EXPECT_FALSE(ReadWholeFile(temp.path() + L"\\missing", &contents));
  EXPECT_EQ(contents, "abxyz");
}

TEST(FileUtilTest, AFailedWriteIsLoggedWithThePlatformsError) {
  ScopedTempDir temp(kFolderName);
  const std::wstring path = temp.path() + L"\\no folder\\file.txt";
  std::vector<std::string> messages;
  {
    test_support::ScopedLogCapture log;
    EXPECT_EQ(WriteWholeFile(path, "abc", 3), -1);
    EXPECT_EQ(AppendBytesToFile(FilePath(path), "abc", 3), -1);
    messages = log.Messages();
  }
  const std::string expected =
      "CreateFile failed for path " + WideToUtf8(path) +
      " error code=3 error text=" + WideToUtf8(SystemErrorText(3));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], expected);
  EXPECT_EQ(messages[1], expected);
}

TEST(FileUtilTest, SameContents) {
  ScopedTempDir temp(kFolderName);
  const std::wstring a = temp.path() + L"\\a";
  const std::string long_text(5000, 'q');
  struct Case {
    std::string first;
    std::string second;
    bool same;
  };
  const Case kCases[] = {
      {"", "", true},
      {"abc", "abc", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {long_text, long_text, true},
      {long_text, long_text + "q", false},
      {std::string(2056, 'q'), std::string(2056, 'q'), true},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(WriteTextFile(a, c.first));
    ASSERT_TRUE(WriteTextFile(temp.path() + L"\\b", c.second));
    EXPECT_EQ(SameContents(a, temp.path() + L"\\b"), c.same)
        << c.first.size() << " and " << c.second.size();
  }
  EXPECT_TRUE(SameContents(a, a));
  const std::wstring missing = temp.path() + L"\\missing";
  EXPECT_FALSE(SameContents(missing, missing));
  EXPECT_FALSE(SameContents(a, missing));
}

TEST(FileUtilTest, QueriesAndTheWorkingFolder) {
  ScopedTempDir temp(kFolderName);
  const std::wstring file = temp.path() + L"\\f \u00fc.txt";
  ASSERT_TRUE(WriteTextFile(file, "12345"));
  FileAttributesInfo info;
  ASSERT_TRUE(QueryFileInfo(file, &info));
  EXPECT_EQ(info.byte_size, 5);
  EXPECT_FALSE(info.is_folder);
  ASSERT_TRUE(QueryFileInfo(temp.path(), &info));
  EXPECT_TRUE(info.is_folder);
  EXPECT_FALSE(QueryFileInfo(temp.path() + L"\\missing", &info));

  EXPECT_TRUE(DoesPathExist(file));
  EXPECT_FALSE(IsExistingDirectory(file));
  EXPECT_TRUE(IsExistingDirectory(temp.path()));
  EXPECT_TRUE(IsWritablePath(file));
  EXPECT_TRUE(IsWritablePath(temp.path()));
  EXPECT_FALSE(IsWritablePath(temp.path() + L"\\missing"));

  FilePath folder(temp.path());
  EXPECT_TRUE(EnsureTrailingSeparator(&folder));
  EXPECT_EQ(folder.text(), temp.path() + L"\\");
  EXPECT_TRUE(EnsureTrailingSeparator(&folder));
  EXPECT_EQ(folder.text(), temp.path() + L"\\");
  FilePath not_folder(file);
  EXPECT_FALSE(EnsureTrailingSeparator(&not_folder));
  EXPECT_EQ(not_folder.text(), file);

  SYSTEMTIME created = {};
  EXPECT_TRUE(CreationLocalTime(file, &created));
  EXPECT_GE(created.wYear, 2020);
  EXPECT_FALSE(CreationLocalTime(temp.path() + L"\\missing", &created));
  EXPECT_FALSE(CreationLocalTimeFromHandle(nullptr, &created));

  {
    const ScopedWorkingFolder working(temp.path());
    std::wstring current;
    ASSERT_TRUE(GetWorkingFolder(&current));
    EXPECT_EQ(current, temp.path());
    EXPECT_TRUE(IsInside(FilePath(L".."), FilePath(L"x")));
    std::wstring absolute = L"x\\..\\y";
    ASSERT_TRUE(MakeAbsolute(&absolute));
    EXPECT_EQ(absolute, temp.path() + L"\\y");
  }
  EXPECT_FALSE(SetWorkingFolder(temp.path() + L"\\missing"));

  struct Case {
    const wchar_t* parent;
    const wchar_t* child;
    bool inside;
  };
  const Case kCases[] = {
      {L"C:\\a", L"c:\\A\\b", true},  {L"C:\\a", L"C:\\ab", false},
      {L"C:\\a", L"C:\\a", false},    {L"C:\\a", L"C:\\a\\", true},
      {L"C:\\a\\b", L"C:\\a", false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(IsInside(FilePath(c.parent), FilePath(c.child)), c.inside)
        << c.parent << " " << c.child;
  }
}

TEST(FileUtilTest, CopiesTreesAndSingleItems) {
  const std::set<std::wstring> kTree = {
      L"top.txt",           L"second.txt",    L"folder\\",
      L"folder\\inner.txt", L"folder\\sub\\", L"folder\\sub\\deep.txt"};
  ScopedTempDir temp(kFolderName);
  const std::wstring source = temp.path() + L"\\source \u5c71";
  MakeTree(source, kTree);

  const std::wstring recursive = temp.path() + L"\\recursive";
  EXPECT_TRUE(CopyTree(source, recursive, true));
  EXPECT_EQ(TreeOf(recursive), kTree);
  EXPECT_TRUE(SameContents(source + L"\\folder\\sub\\deep.txt",
                           recursive + L"\\folder\\sub\\deep.txt"));

  // Not recursive: the files directly inside, in a folder made for them.
  const std::wstring flat = temp.path() + L"\\flat";
  EXPECT_TRUE(CopyTree(source, flat, false));
  EXPECT_EQ(TreeOf(flat), (std::set<std::wstring>{L"top.txt", L"second.txt"}));

  // One file into an existing folder, and one under a new name.
  EXPECT_TRUE(
      ShellCopyItems(FilePath(source + L"\\top.txt"), FilePath(flat), false));
  EXPECT_TRUE(ShellCopyItems(FilePath(source + L"\\top.txt"),
                             FilePath(flat + L"\\renamed.txt"), false));
  EXPECT_EQ(TreeOf(flat), (std::set<std::wstring>{L"top.txt", L"second.txt",
                                                  L"renamed.txt"}));
  // A folder named alone without recursion comes without its contents.
  EXPECT_TRUE(ShellCopyItems(FilePath(source + L"\\folder"),
                             FilePath(flat + L"\\folder"), false));
  EXPECT_EQ(TreeOf(flat + L"\\folder"), std::set<std::wstring>());

  EXPECT_FALSE(CopyTree(temp.path() + L"\\missing", flat, true));
  EXPECT_FALSE(ShellCopyItems(FilePath(temp.path() + L"\\missing\\*"),
                              FilePath(flat), false));
  EXPECT_TRUE(CopyOneFile(source + L"\\top.txt", temp.path() + L"\\one"));
  EXPECT_EQ(ReadTextFile(temp.path() + L"\\one"), "top.txt");
  EXPECT_FALSE(CopyOneFile(source + L"\\nothing", temp.path() + L"\\one"));
  EXPECT_EQ(TreeOf(source), kTree);
}

TEST(FileUtilTest, MovesFilesAndFolders) {
  ScopedTempDir temp(kFolderName);
  const std::wstring file = temp.path() + L"\\a \u00fc.txt";
  ASSERT_TRUE(WriteTextFile(file, "moved"));
  const std::wstring replaced = temp.path() + L"\\b.txt";
  ASSERT_TRUE(WriteTextFile(replaced, "old"));
  EXPECT_TRUE(MovePath(file, replaced));
  EXPECT_FALSE(DoesPathExist(file));
  EXPECT_EQ(ReadTextFile(replaced), "moved");
  EXPECT_FALSE(MovePath(file, replaced));

  const std::wstring folder = temp.path() + L"\\folder";
  MakeTree(folder, {L"x.txt", L"sub\\", L"sub\\y.txt"});
  const std::wstring renamed = temp.path() + L"\\renamed \u5c71";
  EXPECT_TRUE(MovePath(folder, renamed));
  EXPECT_FALSE(DoesPathExist(folder));
  EXPECT_EQ(TreeOf(renamed),
            (std::set<std::wstring>{L"x.txt", L"sub\\", L"sub\\y.txt"}));

  // Copy and delete, as a move to another volume does it.
  const std::wstring copied = temp.path() + L"\\copied";
  EXPECT_TRUE(CopyThenDelete(FilePath(renamed), FilePath(copied)));
  EXPECT_FALSE(DoesPathExist(renamed));
  EXPECT_EQ(TreeOf(copied),
            (std::set<std::wstring>{L"x.txt", L"sub\\", L"sub\\y.txt"}));
  // A copy that fails keeps the source.
  EXPECT_FALSE(CopyThenDelete(FilePath(copied),
                              FilePath(temp.path() + L"\\no\\*\\place")));
  EXPECT_TRUE(DoesPathExist(copied + L"\\sub\\y.txt"));
}

// The folder of a ram disk, another volume than the temporary folder's.
// Under Wine, drive Z: shows the host's root.
constexpr wchar_t kOtherVolume[] = L"Z:\\dev\\shm";

TEST(FileUtilTest, MovingAFolderToAnotherVolumeCopiesAndDeletes) {
  if (!IsExistingDirectory(kOtherVolume))
    GTEST_SKIP() << "no second volume";
  ScopedTempDir temp(kFolderName);
  const std::wstring folder = temp.path() + L"\\folder";
  MakeTree(folder, {L"x.txt", L"sub\\", L"sub\\y \u5c71.txt"});
  const std::wstring target = std::wstring(kOtherVolume) + L"\\kelvo move " +
                              std::to_wstring(GetCurrentProcessId());
  // The platform itself does not move folders across volumes.
  ASSERT_FALSE(MoveFileExW(folder.c_str(), target.c_str(),
                           MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(MovePath(folder, target));
  EXPECT_FALSE(DoesPathExist(folder));
  EXPECT_EQ(TreeOf(target),
            (std::set<std::wstring>{L"x.txt", L"sub\\", L"sub\\y \u5c71.txt"}));
  EXPECT_EQ(ReadTextFile(target + L"\\x.txt"), "x.txt");
  EXPECT_TRUE(DeletePath(target, true));
}

TEST(FileUtilTest, MoveResettingSecurityMovesWithTheShell) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    ScopedTempDir temp(kFolderName);
    const std::wstring source = temp.path() + L"\\s \u00fc.txt";
    ASSERT_TRUE(WriteTextFile(source, "shell"));
    const std::wstring target = temp.path() + L"\\t.txt";
    EXPECT_TRUE(MoveResettingSecurity(FilePath(source), FilePath(target)));
    EXPECT_FALSE(DoesPathExist(source));
    EXPECT_EQ(ReadTextFile(target), "shell");
    // A source that names nothing is no success (Wine's shell would
    // answer 0).
    EXPECT_FALSE(MoveResettingSecurity(FilePath(source), FilePath(target)));
    EXPECT_EQ(ReadTextFile(target), "shell");
  }
  CoUninitialize();
}

TEST(FileUtilTest, TemporaryFilesAndFolders) {
  FilePath temp_folder;
  ASSERT_TRUE(GetTempFolder(&temp_folder));
  EXPECT_FALSE(HasTrailingSeparator(temp_folder));
  EXPECT_TRUE(IsExistingDirectory(temp_folder));
  FilePath shared;
  ASSERT_TRUE(GetSharedMemoryTempFolder(&shared));
  EXPECT_EQ(shared, temp_folder);

  FilePath name;
  ASSERT_TRUE(MakeTempFileName(&name));
  EXPECT_EQ(name.ParentDir(), temp_folder);
  int64_t size = -1;
  EXPECT_TRUE(QueryFileSize(name, &size));
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(DeletePath(name, false));

  ScopedTempDir folder(kFolderName);
  std::wstring in_folder;
  ASSERT_TRUE(MakeTempFileNameIn(folder.path(), &in_folder));
  EXPECT_EQ(FilePath(in_folder).ParentDir().text(), folder.path());
  EXPECT_TRUE(DoesPathExist(in_folder));
  EXPECT_FALSE(MakeTempFileNameIn(folder.path() + L"\\missing", &in_folder));

  FilePath opened;
  FILE* const file = CreateAndOpenTempFile(&opened);
  ASSERT_NE(file, nullptr);
  ASSERT_GE(std::fputs("0123456789", file), 0);
  ASSERT_EQ(std::fseek(file, 4, SEEK_SET), 0);
  EXPECT_TRUE(TruncateAtPosition(file));
  EXPECT_TRUE(CloseStdioFile(file));
  EXPECT_EQ(ReadTextFile(opened.text()), "0123");
  EXPECT_TRUE(DeletePath(opened, false));
  EXPECT_TRUE(CloseStdioFile(nullptr));
  EXPECT_FALSE(TruncateAtPosition(nullptr));

  FilePath made;
  ASSERT_TRUE(MakeNewTempFolder(L"kelvo \u00fc", &made));
  EXPECT_TRUE(IsExistingDirectory(made));
  EXPECT_EQ(made.ParentDir(), temp_folder);
  EXPECT_EQ(made.LastComponent().text().rfind(L"kelvo \u00fc", 0), 0u);
  FilePath second;
  ASSERT_TRUE(MakeNewTempFolder(L"kelvo \u00fc", &second));
  EXPECT_NE(second, made);
  EXPECT_TRUE(DeletePath(made, true));
  EXPECT_TRUE(DeletePath(second, true));
}

TEST(FileUtilTest, StdioFilesOpenByWideAndNarrowPaths) {
  ScopedTempDir temp(L"stdio");
  const std::wstring wide = temp.path() + L"\\w \u5c71.txt";
  FILE* file = OpenStdioFile(FilePath(wide), "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fwrite("abc", 1, 3, file), 3u);
  EXPECT_TRUE(CloseStdioFile(file));
  EXPECT_EQ(ReadTextFile(wide), "abc");

  const std::string narrow = WideToNativeMb(temp.path()) + "\\n.txt";
  file = OpenStdioFile(narrow, "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(CloseStdioFile(file));
  EXPECT_TRUE(DoesPathExist(temp.path() + L"\\n.txt"));
  EXPECT_EQ(OpenStdioFile(temp.path() + L"\\missing", "rb"), nullptr);
}

TEST(FileUtilTest, MakeDirectoryCreatesParentsAlsoFromRelativePaths) {
  ScopedTempDir temp(kFolderName);
  EXPECT_TRUE(MakeDirectory(temp.path() + L"\\a\\b \u00fc\\c"));
  EXPECT_TRUE(IsExistingDirectory(temp.path() + L"\\a\\b \u00fc\\c"));
  EXPECT_TRUE(MakeDirectory(temp.path()));
  {
    const ScopedWorkingFolder working(temp.path());
    EXPECT_TRUE(MakeDirectory(L"r\\s"));
  }
  EXPECT_TRUE(IsExistingDirectory(temp.path() + L"\\r\\s"));
  ASSERT_TRUE(WriteTextFile(temp.path() + L"\\file", "x"));
  EXPECT_FALSE(MakeDirectory(temp.path() + L"\\file"));
}

}  // namespace
}  // namespace base
