#include "base/path_service.h"

#include <windows.h>

#include <objbase.h>

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/file_util.h"
#include "base/path_providers.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ScopedTempDir;

// Each test starts with a fresh service: its state lives until the at-exit
// manager of the test goes.
class PathServiceTest : public testing::Test {
 private:
  AtExitManager exit_manager_;
};

FilePath GetOrEmpty(int key) {
  FilePath path;
  PathKeyService::Get(key, &path);
  return path;
}

TEST_F(PathServiceTest, TheCurrentFolderIsAskedEveryTime) {
  ScopedTempDir first(L"current \u00fc");
  ScopedTempDir second(L"current \u5c71");
  std::wstring saved;
  ASSERT_TRUE(GetWorkingFolder(&saved));
  ASSERT_TRUE(PathKeyService::SetWorkingDirectory(first.path()));
  EXPECT_EQ(GetOrEmpty(DIR_CURRENT).text(), first.path());
  ASSERT_TRUE(PathKeyService::SetWorkingDirectory(second.path()));
  EXPECT_EQ(GetOrEmpty(DIR_CURRENT).text(), second.path());
  EXPECT_FALSE(PathKeyService::SetWorkingDirectory(second.path() + L"\\no"));
  ASSERT_TRUE(PathKeyService::SetWorkingDirectory(saved));
}

TEST_F(PathServiceTest, FindsTheExecutableAndItsFolders) {
  const std::wstring executable = ExecutablePath();
  ASSERT_FALSE(executable.empty());
  std::wstring folder = FolderOfPath(executable);
  folder.pop_back();  // Answered without the trailing backslash.
  EXPECT_EQ(GetOrEmpty(FILE_EXECUTABLE).text(), executable);
  EXPECT_EQ(GetOrEmpty(DIR_EXECUTABLE).text(), folder);
  // The code of the service is linked into this executable.
  EXPECT_EQ(GetOrEmpty(FILE_CODE_MODULE).text(), executable);
  EXPECT_EQ(GetOrEmpty(DIR_CODE_MODULE).text(), folder);
  std::wstring grandparent = folder;
  GoUpOneDirectory(&grandparent);
  GoUpOneDirectory(&grandparent);
  EXPECT_EQ(GetOrEmpty(DIR_EXECUTABLE_GRANDPARENT).text(), grandparent);
  FilePath temp;
  ASSERT_TRUE(GetTempFolder(&temp));
  EXPECT_EQ(GetOrEmpty(DIR_TEMPORARY), temp);
  std::wstring as_text;
  EXPECT_TRUE(PathKeyService::Get(DIR_EXECUTABLE, &as_text));
  EXPECT_EQ(as_text, folder);
}

std::wstring FailingModulePath(const void*) {
  return std::wstring();
}

// A module path that cannot be had (a failing platform call, or one that
// would not fit) fails every key built on it, and none of those failures
// is remembered.
TEST_F(PathServiceTest, AFailedExecutablePathPropagatesAndIsNotCached) {
  const ModulePathFunction real =
      SetModulePathFunctionForTesting(&FailingModulePath);
  for (const int key : {DIR_EXECUTABLE, FILE_EXECUTABLE, DIR_CODE_MODULE,
                        FILE_CODE_MODULE, DIR_EXECUTABLE_GRANDPARENT}) {
    FilePath path(L"untouched");
    EXPECT_FALSE(PathKeyService::Get(key, &path)) << key;
    EXPECT_EQ(path.text(), L"untouched");
  }
  SetModulePathFunctionForTesting(real);
  std::wstring folder = FolderOfPath(ExecutablePath());
  folder.pop_back();
  EXPECT_EQ(GetOrEmpty(DIR_EXECUTABLE).text(), folder);
  EXPECT_EQ(GetOrEmpty(FILE_EXECUTABLE).text(), ExecutablePath());
}

TEST_F(PathServiceTest, KeysNoProviderServesAnswerFalse) {
  test_support::ScopedCheckRecorder recorder;
  FilePath path(L"untouched");
  for (const int key : std::vector<int>{50, PATH_BASE_LAST, PATH_PLATFORM_FIRST,
                                        PATH_PLATFORM_LAST, 100000}) {
    EXPECT_FALSE(PathKeyService::Get(key, &path)) << key;
    EXPECT_FALSE(PathKeyService::IsOverridden(key));
  }
  EXPECT_EQ(path.text(), L"untouched");
  EXPECT_FALSE(PathKeyService::Get(PATH_BASE_FIRST, &path));
  EXPECT_FALSE(
      PathKeyService::Get(DIR_EXECUTABLE, static_cast<FilePath*>(nullptr)));
  EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                     "Check failed: key >= base::DIR_CURRENT. ",
                                     "Check failed: result. ",
                                 }));
}

bool AnswersFromRange200(int key, FilePath* path) {
  if (key < 200 || key >= 210)
    return false;
  *path = FilePath(L"C:\\range200\\" + std::to_wstring(key));
  return true;
}

// Registered later, asked first: answers key 205 too, though it was
// registered for another range.
bool AnswersEverything(int key, FilePath* path) {
  *path = FilePath(L"C:\\everything\\" + std::to_wstring(key));
  return true;
}

bool AnswersNothingButTouches(int, FilePath* path) {
  *path = FilePath(L"C:\\touched");
  return false;
}

bool AnswersEmpty(int key, FilePath*) {
  return key == 300;
}

TEST_F(PathServiceTest, ProvidersAreAskedNewestFirstAndMayNotOverlap) {
  PathKeyService::RegisterProvider(&AnswersFromRange200, 200, 210);
  EXPECT_EQ(GetOrEmpty(205).text(), L"C:\\range200\\205");
  FilePath path;
  EXPECT_FALSE(PathKeyService::Get(210, &path));

  {
    test_support::ScopedCheckRecorder recorder;
    PathKeyService::RegisterProvider(&AnswersEverything, 205, 215);
    PathKeyService::RegisterProvider(&AnswersEverything, 199, 201);
    PathKeyService::RegisterProvider(&AnswersEverything, 100, 101);
    PathKeyService::RegisterProvider(&AnswersEverything, 220, 220);
    const std::string collision =
        "Check failed: key_start >= p->key_end || key_end <= p->key_start. "
        "path provider collision";
    EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                       collision, collision, collision,
                                       "Check failed: key_end > key_start. "}));
  }
  // None of those was registered.
  EXPECT_FALSE(PathKeyService::Get(212, &path));

  // Adjacent ranges do not overlap. The newer provider is asked first, so
  // it answers the keys not cached yet; 205 stays as cached.
  PathKeyService::RegisterProvider(&AnswersEverything, 210, 220);
  EXPECT_EQ(GetOrEmpty(206).text(), L"C:\\everything\\206");
  EXPECT_EQ(GetOrEmpty(205).text(), L"C:\\range200\\205");
  EXPECT_EQ(GetOrEmpty(212).text(), L"C:\\everything\\212");
}

TEST_F(PathServiceTest, MisbehavingProvidersAreReportedAndNothingIsCached) {
  PathKeyService::RegisterProvider(&AnswersEmpty, 300, 301);
  PathKeyService::RegisterProvider(&AnswersNothingButTouches, 400, 401);
  test_support::ScopedCheckRecorder recorder;
  // The touched path is reported and not handed on to the next provider.
  EXPECT_EQ(GetOrEmpty(DIR_TEMPORARY), [] {
    FilePath temp;
    GetTempFolder(&temp);
    return temp;
  }());
  // An empty answer is no answer.
  FilePath path(L"untouched");
  EXPECT_FALSE(PathKeyService::Get(300, &path));
  EXPECT_EQ(path.text(), L"untouched");
  const std::string touched =
      "Check failed: path.empty(). provider should not have modified path";
  EXPECT_EQ(recorder.messages(), (std::vector<std::string>{touched, touched}));
}

TEST_F(PathServiceTest, OverridesMakeAbsoluteCreatedFolders) {
  ScopedTempDir temp(L"override \u00fc");
  std::wstring saved;
  ASSERT_TRUE(GetWorkingFolder(&saved));
  ASSERT_TRUE(PathKeyService::SetWorkingDirectory(temp.path()));
  const FilePath original = GetOrEmpty(DIR_TEMPORARY);
  EXPECT_FALSE(PathKeyService::IsOverridden(DIR_TEMPORARY));

  ASSERT_TRUE(
      PathKeyService::Override(DIR_TEMPORARY, L"made \u5c71\\deeper\\"));
  const std::wstring made = temp.path() + L"\\made \u5c71\\deeper";
  EXPECT_TRUE(IsExistingDirectory(made));
  EXPECT_EQ(GetOrEmpty(DIR_TEMPORARY).text(), made);
  EXPECT_TRUE(PathKeyService::IsOverridden(DIR_TEMPORARY));
  EXPECT_FALSE(PathKeyService::IsOverridden(DIR_EXECUTABLE));
  EXPECT_NE(GetOrEmpty(DIR_TEMPORARY), original);

  // A folder that cannot be made changes nothing.
  ASSERT_TRUE(test_support::WriteTextFile(temp.path() + L"\\file", "x"));
  EXPECT_FALSE(PathKeyService::Override(DIR_OS_WINDOWS, L"file\\below"));
  EXPECT_FALSE(PathKeyService::IsOverridden(DIR_OS_WINDOWS));
  EXPECT_NE(GetOrEmpty(DIR_OS_WINDOWS).text(), temp.path() + L"\\file\\below");

  {
    test_support::ScopedCheckRecorder recorder;
    EXPECT_FALSE(PathKeyService::Override(DIR_CURRENT, temp.path()));
    EXPECT_EQ(recorder.messages(),
              std::vector<std::string>{
                  "Check failed: key > base::DIR_CURRENT. invalid path key"});
  }
  ASSERT_TRUE(PathKeyService::SetWorkingDirectory(saved));
}

TEST_F(PathServiceTest, PlatformFoldersAreAbsolute) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  for (int key = FILE_EXECUTABLE; key < PATH_PLATFORM_LAST; ++key) {
    const FilePath path = GetOrEmpty(key);
    EXPECT_TRUE(path.IsAbsolutePath()) << key << ": " << path.text();
  }
  FilePath roaming = GetOrEmpty(DIR_ROAMING_APP_DATA);
  EXPECT_EQ(GetOrEmpty(DIR_LOW_INTEGRITY_APP_DATA),
            roaming.ParentDir().Join(L"LocalLow"));
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  EXPECT_EQ(GetOrEmpty(DIR_OS_WINDOWS).text(), windows);
  CoUninitialize();
}

}  // namespace
}  // namespace base
