#include "app/launcher.h"

#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"

namespace app {
namespace {

using test_support::FileExists;
using test_support::FixturePath;
using test_support::ReadTextFile;
using test_support::ScopedTempDir;
using test_support::WriteTextFile;

TEST(LauncherPathsTest, PathExistsForFilesAndFolders) {
  ScopedTempDir dir;
  const std::wstring file = dir.path() + L"\\file.txt";
  ASSERT_TRUE(WriteTextFile(file, "x"));
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(dir.path()));
  EXPECT_FALSE(PathExists(dir.path() + L"\\missing.txt"));
  EXPECT_FALSE(PathExists(L""));
}

TEST(LauncherPathsTest, LocateFilePrefersAnExistingFolder) {
  ScopedTempDir dir;
  // The folder decides; the file itself is not looked for.
  EXPECT_EQ(LocateFile(L"absent.dll", dir.path()),
            dir.path() + L"\\absent.dll");
  // Otherwise the search path, which holds the test program's folder.
  EXPECT_EQ(LocateFile(L"Orvane.dll", dir.path() + L"\\missing"),
            FixturePath(L"Orvane.dll"));
  EXPECT_EQ(LocateFile(L"Orvane.dll", L""), FixturePath(L"Orvane.dll"));
  EXPECT_EQ(LocateFile(L"no-such-file-anywhere.dll", L""), L"");
}

// Tells a sample update program in `folder` that keeps running to end, and
// waits until it has.
void StopUpdateProgram(const std::wstring& folder, HANDLE process) {
  WriteTextFile(folder + L"\\stop_updater.txt", "stop");
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
}

// A runtime folder in a fresh temporary folder.
class UpdateHandshakeTest : public testing::Test {
 protected:
  UpdateHandshakeTest() : paths_(dir_.path()) {}

  void StageProgram(const wchar_t* fixture, const std::wstring& as) {
    ASSERT_TRUE(test_support::CopyFileTo(FixturePath(fixture), as));
  }

  ScopedTempDir dir_;
  const UpdatePaths paths_;
};

TEST_F(UpdateHandshakeTest, PrepareMovesTheStagedProgramIntoPlace) {
  StageProgram(L"updater_no_markers.exe", paths_.program);
  StageProgram(L"updater_complete.exe", paths_.staged_program);
  WriteTextFile(paths_.first_marker, "old");
  WriteTextFile(paths_.second_marker, "old");

  PrepareUpdate(paths_);

  EXPECT_FALSE(FileExists(paths_.staged_program));
  EXPECT_FALSE(FileExists(paths_.first_marker));
  EXPECT_FALSE(FileExists(paths_.second_marker));
  EXPECT_EQ(ReadTextFile(paths_.program),
            ReadTextFile(FixturePath(L"updater_complete.exe")));
}

TEST_F(UpdateHandshakeTest, StagedUpdateSurvivesFailedRename) {
  WriteTextFile(paths_.program, "old program");
  WriteTextFile(paths_.staged_program, "new program");
  // The old program cannot be deleted while someone holds it without
  // sharing deletion, as when it still runs: the move must fail.
  base::OwnedHandle hold(CreateFileW(paths_.program.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(hold.is_valid());

  PrepareUpdate(paths_);

  EXPECT_EQ(ReadTextFile(paths_.staged_program), "new program");
  EXPECT_EQ(ReadTextFile(paths_.program), "old program");
}

TEST_F(UpdateHandshakeTest, MarkersAlreadyThereStillSettle) {
  WriteTextFile(paths_.first_marker, "done");
  WriteTextFile(paths_.second_marker, "done");
  StageProgram(L"updater_hangs.exe", paths_.program);
  base::OwnedHandle process(StartUpdateProgram(paths_));
  ASSERT_TRUE(process.is_valid());

  const DWORD start = GetTickCount();
  EXPECT_TRUE(AwaitUpdateMarkers(paths_, process.get(), 30000));
  // The settle delay gives an update program that goes on after writing its
  // markers time to finish replacing the module.
  EXPECT_GE(GetTickCount() - start, kMarkerSettleMs - 20);

  StopUpdateProgram(dir_.path(), process.get());
}

TEST(UpdatePathsTest, FitOnlyWhenEveryPathFitsMaxPath) {
  // "\\Orvane_complete.txt" is the longest name: 20 characters.
  struct Case {
    size_t folder_length;
    bool fit;
  };
  const Case kCases[] = {
      {3, true},
      {MAX_PATH - 21, true},
      {MAX_PATH - 20, false},
      {MAX_PATH + 5, false},
  };
  for (const Case& c : kCases) {
    const UpdatePaths paths(L"C:" + std::wstring(c.folder_length - 2, L'a'));
    EXPECT_EQ(paths.Fit(), c.fit) << c.folder_length;
  }
}

TEST_F(UpdateHandshakeTest, StartFailsForAProgramThatIsNotOne) {
  WriteTextFile(paths_.program, "not a program");
  base::OwnedHandle process(StartUpdateProgram(paths_));
  EXPECT_FALSE(process.is_valid());
}

TEST_F(UpdateHandshakeTest, AwaitEndsWithTheUpdatePrograms) {
  struct Case {
    const wchar_t* fixture;
    DWORD timeout_ms;
    bool markers_seen;
  };
  // The limits are far longer than the programs take, except where the
  // limit itself is what ends the wait.
  const Case kCases[] = {
      {L"updater_complete.exe", 30000, true},
      {L"updater_runs_on.exe", 30000, true},
      {L"updater_no_markers.exe", 30000, false},
      {L"updater_crash.exe", 30000, false},
      {L"updater_hangs.exe", 300, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.fixture);
    ScopedTempDir dir;
    const UpdatePaths paths(dir.path());
    StageProgram(c.fixture, paths.program);
    base::OwnedHandle process(StartUpdateProgram(paths));
    ASSERT_TRUE(process.is_valid());

    EXPECT_EQ(AwaitUpdateMarkers(paths, process.get(), c.timeout_ms),
              c.markers_seen);

    StopUpdateProgram(dir.path(), process.get());
  }
}

}  // namespace
}  // namespace app
