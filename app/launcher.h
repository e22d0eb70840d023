#ifndef APP_LAUNCHER_H_
#define APP_LAUNCHER_H_

#include <windows.h>

#include <string>

// The launch sequence of Kelvo.exe and the helpers it is made of.
//
// `RunLaunchSequence` is the whole body of the executable's entry: it keeps
// one instance per logon session, applies an update staged in the `runtime`
// folder beside the executable, loads "Orvane.dll" and returns what its entry
// "ZephraMain" returns (6 when the module or its entry cannot be found). It
// runs once, on the process's main thread; the helpers keep no state.

namespace app {

// Named objects and files shared with the application module and the
// update program.
inline constexpr wchar_t kInstanceMutexName[] = L"KelvoNetwork_KELVO";
inline constexpr wchar_t kMainWindowClass[] = L"Zephra_WidgetWin_0";
inline constexpr wchar_t kMainWindowTitle[] = L"KELVO";
inline constexpr wchar_t kModuleName[] = L"Orvane.dll";
inline constexpr char kModuleEntryName[] = "ZephraMain";
inline constexpr wchar_t kRuntimeFolderName[] = L"runtime";
inline constexpr int kModuleMissingExitCode = 6;

// How long the launcher waits for the update program's markers while the
// program still runs. An update that takes longer is left to finish on its
// own: the application starts rather than hanging the launcher, which holds
// the instance mutex, forever.
inline constexpr DWORD kUpdateMarkerTimeoutMs = 10 * 60 * 1000;
inline constexpr DWORD kMarkerPollMs = 100;
inline constexpr DWORD kMarkerSettleMs = 200;

// A process started again after a crash (its environment has
// "ZEPHRA_CRASHED" = "1") finds the crashed process still holding the
// instance mutex while it ends. It waits this long for the mutex to be
// released or abandoned before it takes itself for a second instance.
inline constexpr DWORD kCrashedInstanceWaitMs = 10000;

// The entry of the application module.
using ZephraMainFunction = int (*)(HINSTANCE instance, wchar_t* command_tail);

// True when the file system has an entry (file or folder) at `path`.
bool PathExists(const std::wstring& path);

// `folder` + "\" + `file_name` when `folder` is not empty and exists (the
// file itself is not checked); otherwise the file found on the platform's
// search path, or an empty string when none is found or its path needs more
// than MAX_PATH characters.
std::wstring LocateFile(const std::wstring& file_name,
                        const std::wstring& folder);

// The files of the update hand-shake inside one runtime folder.
struct UpdatePaths {
  explicit UpdatePaths(const std::wstring& runtime_folder);

  std::wstring runtime_folder;
  std::wstring staged_program;  // "updatePkg.exe.tbd"
  std::wstring program;         // "updatePkg.exe"
  std::wstring first_marker;    // "boxes_complete.txt"
  std::wstring second_marker;   // "Orvane_complete.txt"

  // True when every path fits in MAX_PATH characters with its terminator.
  // Update work on paths that do not fit is refused as a whole, so that the
  // launcher never runs a program whose markers it could not look for.
  bool Fit() const;
};

// Deletes the update program and both markers of an earlier start, then
// moves a staged program into place. The staged file is deleted only by the
// move itself, so that an update whose move fails (say, because the old
// program still runs) is kept for the next start.
void PrepareUpdate(const UpdatePaths& paths);

// Starts the update program hidden, with the runtime folder as its current
// directory. Returns the process handle, or null when it could not start.
HANDLE StartUpdateProgram(const UpdatePaths& paths);

// Waits in `kMarkerPollMs` steps for the first and then the second marker,
// then `kMarkerSettleMs` more. Gives up, returning false, when the update
// program has exited without writing a marker or `timeout_ms` has passed.
bool AwaitUpdateMarkers(const UpdatePaths& paths,
                        HANDLE update_process,
                        DWORD timeout_ms);

// The whole launch sequence; returns the process exit code. The crash
// reporter is set up once the update work is done, so that it reads the
// version of the module that is about to run, and the module's entry is
// called once the reporter is in place (or kSetUpWaitMs have passed).
int RunLaunchSequence(HINSTANCE instance, wchar_t* command_tail);

}  // namespace app

#endif  // APP_LAUNCHER_H_
