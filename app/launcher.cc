#include "app/launcher.h"

#include "app/crash_reporter_win.h"
#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/process_util.h"
#include "base/scoped_handle_win.h"

namespace app {
namespace {

// Shows the first instance's main window, if it has one, and brings it
// back to the user: SW_SHOW leaves a minimised window minimised, so such a
// window is restored, and the window comes to the front. The user started
// this process, which lets it hand the foreground on.
void ShowFirstInstance() {
  const HWND window = FindWindowW(kMainWindowClass, kMainWindowTitle);
  if (!window || !IsWindow(window))
    return;
  ShowWindow(window, SW_SHOW);
  if (IsIconic(window))
    ShowWindow(window, SW_RESTORE);
  SetForegroundWindow(window);
}

// True when the environment has "ZEPHRA_CRASHED" = "1".
bool StartedAfterCrash() {
  wchar_t value[2] = {};
  return GetEnvironmentVariableW(kCrashedVariable, value, 2) == 1 &&
         value[0] == L'1';
}

// After a crash the new process waits for the crashed one to let go of
// the instance mutex; ownership of an abandoned mutex counts as ownership.
bool TakeOverFromCrashedInstance(HANDLE instance_mutex) {
  if (!instance_mutex || !StartedAfterCrash())
    return false;
  const DWORD result =
      WaitForSingleObject(instance_mutex, kCrashedInstanceWaitMs);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool ProcessHasExited(HANDLE process) {
  return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// Polls for `marker` until it exists. False when the update program exits
// without it, or when `timeout_ms` have passed since `start` (GetTickCount
// values; the unsigned difference stays right across the counter's wrap).
bool AwaitMarker(const std::wstring& marker,
                 HANDLE update_process,
                 DWORD start,
                 DWORD timeout_ms) {
  while (!PathExists(marker)) {
    // A program that wrote the marker just before it ended counts.
    if (ProcessHasExited(update_process))
      return PathExists(marker);
    if (GetTickCount() - start >= timeout_ms)
      return false;
    Sleep(kMarkerPollMs);
  }
  return true;
}

void DeleteIfPresent(const std::wstring& path) {
  if (PathExists(path))
    DeleteFileW(path.c_str());
}

// Clears what an earlier start left, moves a staged update program into
// place and, if there is an update program, runs it and waits for it.
void ApplyPendingUpdate(const UpdatePaths& paths) {
  if (!paths.Fit())
    return;
  PrepareUpdate(paths);
  if (!PathExists(paths.program))
    return;
  const base::OwnedHandle update_process(StartUpdateProgram(paths));
  if (update_process.is_valid())
    AwaitUpdateMarkers(paths, update_process.get(), kUpdateMarkerTimeoutMs);
}

}  // namespace

bool PathExists(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

std::wstring LocateFile(const std::wstring& file_name,
                        const std::wstring& folder) {
  if (!folder.empty() && PathExists(folder))
    return folder + L"\\" + file_name;
  wchar_t found[MAX_PATH] = {};
  const DWORD length = SearchPathW(nullptr, file_name.c_str(), nullptr,
                                   MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  return std::wstring(found, length);
}

UpdatePaths::UpdatePaths(const std::wstring& runtime_folder)
    : runtime_folder(runtime_folder),
      staged_program(runtime_folder + L"\\updatePkg.exe.tbd"),
      program(runtime_folder + L"\\updatePkg.exe"),
      first_marker(runtime_folder + L"\\boxes_complete.txt"),
      second_marker(runtime_folder + L"\\Orvane_complete.txt") {}

bool UpdatePaths::Fit() const {
  for (const std::wstring* path :
       {&staged_program, &program, &first_marker, &second_marker}) {
    if (path->size() >= MAX_PATH)
      return false;
  }
  return true;
}

void PrepareUpdate(const UpdatePaths& paths) {
  DeleteIfPresent(paths.program);
  DeleteIfPresent(paths.first_marker);
  DeleteIfPresent(paths.second_marker);
  if (PathExists(paths.staged_program))
    MoveFileW(paths.staged_program.c_str(), paths.program.c_str());
}

HANDLE StartUpdateProgram(const UpdatePaths& paths) {
  // The full path is the program, and the command line quotes it, so that
  // blanks or non-ASCII characters in the install folder never start another
  // program.
  base::LaunchOptions options;
  options.program = paths.program;
  options.folder = paths.runtime_folder;
  options.show_state = SW_HIDE;
  base::OwnedHandle process;
  if (!base::LaunchProcess(L"\"" + paths.program + L"\"", options, &process))
    return nullptr;
  return process.Take();
}

bool AwaitUpdateMarkers(const UpdatePaths& paths,
                        HANDLE update_process,
                        DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  if (!AwaitMarker(paths.first_marker, update_process, start, timeout_ms) ||
      !AwaitMarker(paths.second_marker, update_process, start, timeout_ms)) {
    return false;
  }
  Sleep(kMarkerSettleMs);
  return true;
}

int RunLaunchSequence(HINSTANCE instance, wchar_t* command_tail) {
  // Owned until the process ends: the handle is deliberately never closed.
  const HANDLE instance_mutex = CreateMutexW(nullptr, TRUE, kInstanceMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS &&
      !TakeOverFromCrashedInstance(instance_mutex)) {
    ShowFirstInstance();
    return 0;
  }

  base::TerminateOnHeapCorruption();

  base::AtExitManager exit_manager;
  base::CommandLine::Init(0, nullptr);

  // Without the executable's folder there is no runtime folder: nothing is
  // deleted, moved or run, and the module is found by the search path.
  const std::wstring executable_folder = base::ExecutableFolder();
  std::wstring runtime_folder;
  if (!executable_folder.empty()) {
    runtime_folder = executable_folder + kRuntimeFolderName;
    if (PathExists(runtime_folder)) {
      SetCurrentDirectoryW(runtime_folder.c_str());
      ApplyPendingUpdate(UpdatePaths(runtime_folder));
    }
  }

  // The module in the runtime folder, or the one the search path finds
  // when there is no runtime folder, as the load below finds it.
  SetUpCrashReporting(LocateFile(kModuleName, runtime_folder));

  // The module is never unloaded: the application lives in it until the
  // process ends.
  const HMODULE module =
      LoadLibraryExW(kModuleName, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module)
    return kModuleMissingExitCode;
  const auto entry = reinterpret_cast<ZephraMainFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, kModuleEntryName)));
  if (!entry)
    return kModuleMissingExitCode;
  // A crash of the application, however early, finds the handler in place.
  AwaitCrashReportingSetUp(kSetUpWaitMs);
  return entry(instance, command_tail);
}

}  // namespace app
