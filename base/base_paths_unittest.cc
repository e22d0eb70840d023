#include "base/base_paths.h"

#include <string>

#include "base/codepage_conversions.h"
#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ChildProcess;
using test_support::FixturePath;
using test_support::ScopedTempDir;

TEST(FolderOfPathTest, CutsAfterLastBackslash) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
  };
  const Case kCases[] = {
      {L"C:\\Program Files\\Kelvo\\Kelvo.exe", L"C:\\Program Files\\Kelvo\\"},
      {L"C:\\Kelvo.exe", L"C:\\"},
      {L"\\\\server\\share\\Kelvo.exe", L"\\\\server\\share\\"},
      // No backslash after the first character: the path stays whole.
      {L"Kelvo.exe", L"Kelvo.exe"},
      {L"\\Kelvo.exe", L"\\Kelvo.exe"},
      // Only the backslash separates.
      {L"C:/Kelvo/Kelvo.exe", L"C:/Kelvo/Kelvo.exe"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(FolderOfPath(c.path), c.folder) << c.path;
}

// The program is copied to a folder the test chose, with blanks and
// non-ASCII characters in its name, and asked where it is.
TEST(ExecutablePathTest, AProgramFindsTheFolderItWasCopiedTo) {
  ScopedTempDir dir(L"paths gr\u00fc\u00df \u5c71");
  const std::wstring program = dir.path() + L"\\copied child.exe";
  ASSERT_TRUE(
      test_support::CopyFileTo(FixturePath(L"paths_child.exe"), program));
  const std::wstring output = dir.path() + L"\\output.txt";
  ChildProcess child;
  child.set_output_file(output);
  ASSERT_TRUE(child.Start(program, L"", dir.path()));
  DWORD exit_code = test_support::kNoExitCode;
  ASSERT_TRUE(child.WaitForExit(30000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(test_support::ReadTextFile(output),
            WideToUtf8(program) + "\n" + WideToUtf8(dir.path()) + "\\\n");
}

}  // namespace
}  // namespace base
