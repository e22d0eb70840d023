// Kelvo.exe as a process: each test lays out an install folder with the
// executable, a runtime folder and the sample programs, starts it, and looks
// at its exit code and at the files it left.

#include <windows.h>

#include <string>
#include <vector>

#include "base/codepage_conversions.h"
#include "base/process_util.h"
#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/minidump_reader.h"
#include "test_support/test_files.h"

namespace {

using test_support::ChildProcess;
using test_support::CopyFileTo;
using test_support::FileExists;
using test_support::FixturePath;
using test_support::ReadTextFile;
using test_support::ScopedTempDir;
using test_support::WriteTextFile;

constexpr DWORD kProcessTimeoutMs = 60000;

// Opens `path` so that nobody can delete it while the holder lives.
base::OwnedHandle HoldAgainstDeletion(const std::wstring& path) {
  return base::OwnedHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Polls for a file a child writes; false after `timeout_ms`.
bool AwaitFile(const std::wstring& path, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    if (FileExists(path))
      return true;
    Sleep(50);
  }
  return FileExists(path);
}

class KelvoProcessTest : public testing::Test {
 protected:
  explicit KelvoProcessTest(const std::wstring& folder_name = L"kelvo")
      : install_(folder_name) {
    EXPECT_TRUE(CopyFileTo(FixturePath(L"Kelvo.exe"), Kelvo()));
  }

  std::wstring Kelvo() const { return install_.path() + L"\\Kelvo.exe"; }
  std::wstring Runtime() const { return install_.path() + L"\\runtime"; }
  std::wstring InRuntime(const wchar_t* name) const {
    return Runtime() + L"\\" + name;
  }

  // The runtime folder with the sample module in it.
  void MakeRuntime() {
    ASSERT_TRUE(test_support::MakeFolder(Runtime()));
    ASSERT_TRUE(
        CopyFileTo(FixturePath(L"Orvane.dll"), InRuntime(L"Orvane.dll")));
  }
  void Place(const wchar_t* fixture, const wchar_t* name) {
    ASSERT_TRUE(CopyFileTo(FixturePath(fixture), InRuntime(name)));
  }

  // Runs Kelvo.exe to its end; the sample module closes its window at once.
  int RunKelvo(const std::wstring& arguments = L"--close-after-ms=0",
               const std::wstring& folder = std::wstring()) {
    const DWORD exit_code =
        test_support::RunToExit(Kelvo(), arguments, kProcessTimeoutMs, folder);
    EXPECT_NE(exit_code, test_support::kNoExitCode) << "Kelvo.exe did not end";
    return static_cast<int>(exit_code);
  }

  ScopedTempDir install_;
};

TEST_F(KelvoProcessTest, ReturnsWhatTheModuleReturns) {
  MakeRuntime();
  for (const int code : {0, 42, -1, -12345, 0x7FFFFFFF}) {
    EXPECT_EQ(
        RunKelvo(L"--close-after-ms=0 --exit-code=" + std::to_wstring(code)),
        code);
  }
}

TEST_F(KelvoProcessTest, HandsTheModuleItsInstanceAndCommandTail) {
  MakeRuntime();
  const std::wstring report = install_.path() + L"\\report.txt";
  const std::wstring tail =
      L"--close-after-ms=0 --report=\"" + report + L"\" loose  \"two words\"";

  EXPECT_EQ(RunKelvo(tail), 0);

  EXPECT_EQ(ReadTextFile(report),
            "instance_is_executable=1\ncommand_tail=" + base::WideToUtf8(tail) +
                "\ncurrent_folder=" + base::WideToUtf8(Runtime()) + "\n");
}

TEST_F(KelvoProcessTest, MissingModuleOrEntryExitsWithSix) {
  struct Case {
    const wchar_t* module_fixture;  // Copied as Orvane.dll; null: none.
  };
  const Case kCases[] = {{nullptr}, {L"no_entry_module.dll"}};
  ASSERT_TRUE(test_support::MakeFolder(Runtime()));
  for (const Case& c : kCases) {
    if (c.module_fixture)
      Place(c.module_fixture, L"Orvane.dll");
    EXPECT_EQ(RunKelvo(), 6);
  }
}

TEST_F(KelvoProcessTest, WithoutRuntimeFolderTouchesNothing) {
  // The module sits beside the executable, where the module search finds
  // it; the files in the folder Kelvo starts in look like update files but
  // are not in a runtime folder.
  ASSERT_TRUE(CopyFileTo(FixturePath(L"Orvane.dll"),
                         install_.path() + L"\\Orvane.dll"));
  ScopedTempDir start_folder;
  const wchar_t* const kBystanders[] = {L"updatePkg.exe.tbd", L"updatePkg.exe",
                                        L"boxes_complete.txt",
                                        L"Orvane_complete.txt"};
  for (const wchar_t* name : kBystanders)
    ASSERT_TRUE(WriteTextFile(start_folder.path() + L"\\" + name, "keep"));
  const std::wstring report = install_.path() + L"\\report.txt";

  EXPECT_EQ(
      RunKelvo(L"--close-after-ms=0 --exit-code=7 --report=\"" + report + L"\"",
               start_folder.path()),
      7);

  for (const wchar_t* name : kBystanders) {
    EXPECT_EQ(ReadTextFile(start_folder.path() + L"\\" + name), "keep") << name;
  }
  EXPECT_FALSE(FileExists(Runtime()));
  // The current folder stayed where the process started.
  EXPECT_NE(ReadTextFile(report).find("current_folder=" +
                                      base::WideToUtf8(start_folder.path())),
            std::string::npos);
}

TEST_F(KelvoProcessTest, StagedUpdateReplacesTheOldProgramAndRuns) {
  MakeRuntime();
  Place(L"updater_no_markers.exe", L"updatePkg.exe");
  Place(L"updater_complete.exe", L"updatePkg.exe.tbd");

  EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=3"), 3);

  EXPECT_FALSE(FileExists(InRuntime(L"updatePkg.exe.tbd")));
  EXPECT_EQ(ReadTextFile(InRuntime(L"updatePkg.exe")),
            ReadTextFile(FixturePath(L"updater_complete.exe")));
  // Only the staged program writes markers.
  EXPECT_TRUE(FileExists(InRuntime(L"boxes_complete.txt")));
  EXPECT_TRUE(FileExists(InRuntime(L"Orvane_complete.txt")));
}

TEST_F(KelvoProcessTest, StagedUpdateSurvivesFailedRename) {
  MakeRuntime();
  Place(L"updater_complete.exe", L"updatePkg.exe");
  WriteTextFile(InRuntime(L"updatePkg.exe.tbd"), "the next update");
  {
    // As when the old program still runs: it can be neither deleted nor
    // replaced.
    const base::OwnedHandle hold =
        HoldAgainstDeletion(InRuntime(L"updatePkg.exe"));
    ASSERT_TRUE(hold.is_valid());
    EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=5"), 5);
    EXPECT_EQ(ReadTextFile(InRuntime(L"updatePkg.exe.tbd")), "the next update");
  }

  // Once the old program is free, the next start moves the update in.
  EXPECT_EQ(RunKelvo(), 0);
  EXPECT_FALSE(FileExists(InRuntime(L"updatePkg.exe.tbd")));
  EXPECT_EQ(ReadTextFile(InRuntime(L"updatePkg.exe")), "the next update");
}

TEST_F(KelvoProcessTest, StaleMarkersAndProgramAreDeleted) {
  MakeRuntime();
  // The program of an earlier update; it would write markers if it ran.
  Place(L"updater_complete.exe", L"updatePkg.exe");
  WriteTextFile(InRuntime(L"boxes_complete.txt"), "stale");
  WriteTextFile(InRuntime(L"Orvane_complete.txt"), "stale");

  EXPECT_EQ(RunKelvo(), 0);

  EXPECT_FALSE(FileExists(InRuntime(L"boxes_complete.txt")));
  EXPECT_FALSE(FileExists(InRuntime(L"Orvane_complete.txt")));
  EXPECT_FALSE(FileExists(InRuntime(L"updatePkg.exe")));
}

// The launcher goes on while the update program still runs: when both
// markers are there (written by it, or left over and undeletable) it does
// not wait for the program to end.
TEST_F(KelvoProcessTest, PresentMarkersDoNotWaitForTheUpdateProgram) {
  struct Case {
    const wchar_t* updater;
    bool leave_markers;
  };
  const Case kCases[] = {
      {L"updater_runs_on.exe", false},
      {L"updater_hangs.exe", true},
  };
  MakeRuntime();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.updater);
    DeleteFileW(InRuntime(L"stop_updater.txt").c_str());
    DeleteFileW(InRuntime(L"updater_exited.txt").c_str());
    Place(c.updater, L"updatePkg.exe.tbd");
    base::OwnedHandle first, second;
    if (c.leave_markers) {
      WriteTextFile(InRuntime(L"boxes_complete.txt"), "left over");
      WriteTextFile(InRuntime(L"Orvane_complete.txt"), "left over");
      first = HoldAgainstDeletion(InRuntime(L"boxes_complete.txt"));
      second = HoldAgainstDeletion(InRuntime(L"Orvane_complete.txt"));
    }

    EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=8"), 8);
    EXPECT_FALSE(FileExists(InRuntime(L"updater_exited.txt")));

    WriteTextFile(InRuntime(L"stop_updater.txt"), "stop");
    EXPECT_TRUE(AwaitFile(InRuntime(L"updater_exited.txt"), kProcessTimeoutMs));
    first.Close();
    second.Close();
    // The program's file is free only once the process has gone.
    for (int i = 0; i < 100 && FileExists(InRuntime(L"updatePkg.exe")); ++i) {
      DeleteFileW(InRuntime(L"updatePkg.exe").c_str());
      Sleep(50);
    }
  }
}

TEST_F(KelvoProcessTest, UpdateProgramThatFailsStillStartsTheModule) {
  const wchar_t* const kUpdaters[] = {L"updater_no_markers.exe",
                                      L"updater_crash.exe", nullptr};
  MakeRuntime();
  for (const wchar_t* updater : kUpdaters) {
    SCOPED_TRACE(updater ? updater : L"not a program");
    if (updater) {
      Place(updater, L"updatePkg.exe.tbd");
    } else {
      WriteTextFile(InRuntime(L"updatePkg.exe.tbd"), "cannot start");
    }
    EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=11"), 11);
    EXPECT_FALSE(FileExists(InRuntime(L"updatePkg.exe.tbd")));
  }
}

TEST_F(KelvoProcessTest, NonAsciiSwitchesDoNotStopTheStart) {
  MakeRuntime();
  EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=13 --\u00e9 "
                     L"/J\u00f6rg=1 -\u4e2d"),
            13);
}

class KelvoInOddFolderTest : public KelvoProcessTest {
 protected:
  KelvoInOddFolderTest()
      : KelvoProcessTest(L"Kelvo Install \u00e9\u00df\u0416\u4e2d") {}
};

TEST_F(KelvoInOddFolderTest, RunsUpdateFromFolderWithBlanksAndNonAscii) {
  MakeRuntime();
  Place(L"updater_complete.exe", L"updatePkg.exe.tbd");

  EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=12"), 12);

  EXPECT_TRUE(FileExists(InRuntime(L"boxes_complete.txt")));
  EXPECT_TRUE(FileExists(InRuntime(L"Orvane_complete.txt")));
}

TEST_F(KelvoProcessTest, SecondInstanceShowsTheFirstAndExitsZero) {
  MakeRuntime();
  const std::wstring ready = install_.path() + L"\\ready.txt";
  ChildProcess first;
  ASSERT_TRUE(first.Start(Kelvo(),
                          L"--start-hidden --close-after-ms=60000 "
                          L"--exit-code=21 --ready=\"" +
                              ready + L"\""));
  ASSERT_TRUE(AwaitFile(ready, kProcessTimeoutMs));
  const HWND window = FindWindowW(L"Zephra_WidgetWin_0", L"KELVO");
  ASSERT_TRUE(window);
  EXPECT_FALSE(IsWindowVisible(window));

  // Files the second start would touch if it ran the update sequence.
  Place(L"updater_complete.exe", L"updatePkg.exe.tbd");
  WriteTextFile(InRuntime(L"boxes_complete.txt"), "keep");

  EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=9"), 0);

  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(FileExists(InRuntime(L"updatePkg.exe.tbd")));
  EXPECT_EQ(ReadTextFile(InRuntime(L"boxes_complete.txt")), "keep");

  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD first_exit_code = 0;
  ASSERT_TRUE(first.WaitForExit(kProcessTimeoutMs, &first_exit_code));
  EXPECT_EQ(first_exit_code, 21u);
}

TEST_F(KelvoProcessTest, SecondInstanceRestoresMinimisedWindow) {
  MakeRuntime();
  const std::wstring ready = install_.path() + L"\\ready.txt";
  ChildProcess first;
  ASSERT_TRUE(first.Start(Kelvo(),
                          L"--close-after-ms=60000 --exit-code=22 "
                          L"--ready=\"" +
                              ready + L"\""));
  ASSERT_TRUE(AwaitFile(ready, kProcessTimeoutMs));
  const HWND window = FindWindowW(L"Zephra_WidgetWin_0", L"KELVO");
  ASSERT_TRUE(window);
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window));
  // Another program's window is in front.
  const HWND other =
      CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                      100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(other);
  ShowWindow(other, SW_SHOW);
  SetForegroundWindow(other);
  ASSERT_EQ(GetForegroundWindow(), other);

  EXPECT_EQ(RunKelvo(), 0);

  EXPECT_FALSE(IsIconic(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetForegroundWindow(), window);
  DestroyWindow(other);

  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD first_exit_code = 0;
  ASSERT_TRUE(first.WaitForExit(kProcessTimeoutMs, &first_exit_code));
  EXPECT_EQ(first_exit_code, 22u);
}

// Sets an environment variable of this process, which the programs it
// starts inherit, and puts the old value back when it goes. A null value
// removes the variable.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old_value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, old_value, MAX_PATH);
    had_value_ = length > 0 && length < MAX_PATH;
    if (had_value_)
      old_value_.assign(old_value, length);
    SetEnvironmentVariableW(name, value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    SetEnvironmentVariableW(name_.c_str(),
                            had_value_ ? old_value_.c_str() : nullptr);
  }

 private:
  std::wstring name_;
  std::wstring old_value_;
  bool had_value_ = false;
};

// The processes a given process started.
class StartedBy : public base::ProcessEntryFilter {
 public:
  explicit StartedBy(DWORD parent_id) : parent_id_(parent_id) {}
  bool Includes(DWORD /*id*/, DWORD parent_id) const override {
    return parent_id == parent_id_;
  }

 private:
  DWORD parent_id_;
};

struct Field {
  std::string name;
  std::string value;
  bool operator==(const Field& other) const {
    return name == other.name && value == other.value;
  }
};

void PrintTo(const Field& field, std::ostream* out) {
  *out << field.name << "=" << field.value;
}

// The report fields of the sample module in a browser process.
const std::vector<Field> kBrowserFields = {{"ver", "0.9.2.7-devel"},
                                           {"prod", "Orvane"},
                                           {"plat", "Win32"},
                                           {"ptype", "browser"}};

// Kelvo.exe with its crash reporter. Its dumps go into a temporary folder
// of the test's own, deleted with everything in it, and the restart
// variables are not set unless a test sets them.
class KelvoCrashReportTest : public KelvoProcessTest {
 protected:
  // The ".dmp" files in the temporary folder.
  std::vector<std::wstring> Dumps() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileW((temp_.path() + L"\\*.dmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
      return names;
    do {
      names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  // The report fields of the dump `name`, as UTF-8; empty when it has
  // none.
  std::vector<Field> ReportFields(const std::wstring& name,
                                  test_support::MinidumpFile* dump) const {
    std::vector<Field> fields;
    std::vector<test_support::MinidumpFile::ReportField> written;
    if (!dump->Read(temp_.path() + L"\\" + name) ||
        !dump->GetReportFields(&written)) {
      return fields;
    }
    for (const auto& field : written)
      fields.push_back(
          {base::WideToUtf8(field.name), base::WideToUtf8(field.value)});
    return fields;
  }

  // Runs Kelvo.exe to its end, then waits for the programs it started to
  // end too. Answers its exit code.
  DWORD RunKelvoAndWhatItStarts(const std::wstring& arguments) {
    ChildProcess kelvo;
    if (!kelvo.Start(Kelvo(), arguments))
      return test_support::kNoExitCode;
    DWORD exit_code = test_support::kNoExitCode;
    EXPECT_TRUE(kelvo.WaitForExit(kProcessTimeoutMs, &exit_code));
    const StartedBy started(kelvo.id());
    EXPECT_TRUE(
        base::AwaitProcessesExit(L"Kelvo.exe", kProcessTimeoutMs, &started));
    return exit_code;
  }

  std::wstring RecordSwitch() const {
    return L" --record-start=\"" + record_ + L"\"";
  }

  ScopedTempDir temp_{L"temp"};
  ScopedEnvironment tmp_{L"TMP", temp_.path().c_str()};
  ScopedEnvironment temp_variable_{L"TEMP", temp_.path().c_str()};
  ScopedEnvironment restart_{L"ZEPHRA_RESTART", nullptr};
  ScopedEnvironment crashed_{L"ZEPHRA_CRASHED", nullptr};
  // Where the sample module records each start.
  const std::wstring record_ = install_.path() + L"\\starts.txt";
};

// A dump the module asks for carries the fields (a browser process has no
// URL fields, whatever URL the module sets), and the process goes on: even
// with the restart variable set, no second copy starts.
TEST_F(KelvoCrashReportTest, DumpOnRequestCarriesTheFieldsAndRestartsNothing) {
  MakeRuntime();
  ScopedEnvironment restart(L"ZEPHRA_RESTART", L"1");

  EXPECT_EQ(5u, RunKelvoAndWhatItStarts(L"--close-after-ms=0 --exit-code=5 "
                                        L"--url-length=600 --dump-process" +
                                        RecordSwitch()));

  EXPECT_EQ("started crashed=\n", ReadTextFile(record_));
  const std::vector<std::wstring> dumps = Dumps();
  ASSERT_EQ(1u, dumps.size());
  EXPECT_EQ(40u, dumps[0].size()) << "<GUID>.dmp";
  test_support::MinidumpFile dump;
  EXPECT_EQ(kBrowserFields, ReportFields(dumps[0], &dump));
  test_support::MinidumpFile::Exception exception;
  EXPECT_FALSE(dump.GetException(&exception));
}

TEST_F(KelvoCrashReportTest, DisabledReporterWritesNoDump) {
  MakeRuntime();
  EXPECT_EQ(RunKelvo(L"--close-after-ms=0 --exit-code=3 "
                     L"--disable-crash-reporter --dump-process"),
            3);
  EXPECT_TRUE(Dumps().empty());
}

// A module that faults: the dump names the fault and carries the fields,
// and with the restart variable set exactly one new Kelvo.exe starts. It
// gets the instance once the crashed one has gone, and runs the module,
// which sees ZEPHRA_CRASHED and does not fault again.
TEST_F(KelvoCrashReportTest, FaultDumpsAndStartsTheApplicationOnceMore) {
  MakeRuntime();
  ScopedEnvironment restart(L"ZEPHRA_RESTART", L"1");

  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION),
            RunKelvoAndWhatItStarts(
                L"--close-after-ms=0 --exit-code=4 --fault" + RecordSwitch()));

  EXPECT_EQ("started crashed=\nstarted crashed=1\n", ReadTextFile(record_));
  const std::vector<std::wstring> dumps = Dumps();
  ASSERT_EQ(1u, dumps.size());
  EXPECT_EQ(L"c0000005.dmp", dumps[0].substr(36));
  test_support::MinidumpFile dump;
  EXPECT_EQ(kBrowserFields, ReportFields(dumps[0], &dump));
  test_support::MinidumpFile::Exception exception;
  ASSERT_TRUE(dump.GetException(&exception));
  EXPECT_EQ(static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION), exception.code);
}

// While another process holds the instance, a start with ZEPHRA_CRASHED
// "1" waits for it to be let go and then runs the application; any other
// start is a second instance and ends with 0 at once.
TEST_F(KelvoProcessTest, StartAfterCrashWaitsForTheCrashedInstance) {
  struct Case {
    const wchar_t* crashed;  // ZEPHRA_CRASHED; null: not set.
    DWORD exit_code;
  };
  const Case kCases[] = {{nullptr, 0}, {L"0", 0}, {L"1", 42}};
  MakeRuntime();
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.crashed ? c.crashed : L"(unset)"));
    const base::OwnedHandle instance(
        CreateMutexW(nullptr, TRUE, L"KelvoNetwork_KELVO"));
    ASSERT_TRUE(instance.is_valid());
    ScopedEnvironment crashed(L"ZEPHRA_CRASHED", c.crashed);
    ChildProcess kelvo;
    ASSERT_TRUE(kelvo.Start(Kelvo(), L"--close-after-ms=0 --exit-code=42"));
    DWORD exit_code = test_support::kNoExitCode;
    if (c.exit_code != 0) {
      EXPECT_FALSE(kelvo.WaitForExit(1000, &exit_code));
      ReleaseMutex(instance.get());
    }
    EXPECT_TRUE(kelvo.WaitForExit(kProcessTimeoutMs, &exit_code));
    EXPECT_EQ(c.exit_code, exit_code);
  }
}

}  // namespace
