#ifndef APP_CRASH_REPORTER_WIN_H_
#define APP_CRASH_REPORTER_WIN_H_

#include <windows.h>

#include <string>
#include <vector>

#include "crash_handler/exception_handler.h"

// The crash reporter of a Kelvo process, and the two functions Kelvo.exe
// exports to the application module.
//
// `SetUpCrashReporting` runs once per process, early: it reads the process
// command line and installs one ExceptionHandler that writes dumps into the
// user's temporary folder, each carrying the report fields (version and
// product of the application module, platform, process type, and in a
// renderer process the URL it works on). The main ("browser") process sets
// the handler up on a thread-pool thread and can restart itself after a
// crash; other process types set it up on the calling thread.
//
// The report-field tables are filled once per process and never freed;
// SetActiveRendererURL rewrites the URL values in place, without a lock, so
// a dump shows whatever they hold at that moment. The installed handler
// lives until the process ends. Any thread may call the exports.

namespace app {

inline constexpr wchar_t kProcessTypeSwitch[] = L"type";
inline constexpr wchar_t kDisableCrashReporterSwitch[] =
    L"disable-crash-reporter";
inline constexpr wchar_t kFullMemoryCrashReportSwitch[] =
    L"full-memory-crash-report";
inline constexpr wchar_t kBrowserProcessType[] = L"browser";
inline constexpr wchar_t kRendererProcessType[] = L"renderer";

// Present: a crash of the browser process starts it again.
inline constexpr wchar_t kRestartVariable[] = L"ZEPHRA_RESTART";
// Set to "1" in a crashing process before it starts its successor, which
// inherits it.
inline constexpr wchar_t kCrashedVariable[] = L"ZEPHRA_CRASHED";

// The URL of a renderer process is kept in this many fields of at most
// kUrlChunkLength units each; what goes beyond is dropped.
inline constexpr size_t kUrlChunkCount = 8;
inline constexpr size_t kUrlChunkLength = 63;

// How long the launcher waits for the browser process's set-up on the
// thread pool before it hands the process to the application module.
inline constexpr DWORD kSetUpWaitMs = 5000;

// Installs the crash reporter unless the command line has
// "disable-crash-reporter". `module_path` is the application module whose
// version resource names the product and version. A second call does
// nothing.
void SetUpCrashReporting(const std::wstring& module_path);

// Waits up to `timeout_ms` for a set-up still running on the thread pool;
// true when none is (any more). Also true when none was started.
bool AwaitCrashReportingSetUp(DWORD timeout_ms);

// The handler the set-up installed, or null.
crash_handler::ExceptionHandler* InstalledCrashHandler();

// The report fields of `process_type` with the version resource of
// `module_path`: "ver", "prod", "plat", "ptype", and for a renderer eight
// empty "url-chunk-N" fields after them.
std::vector<crash_handler::ReportField> MakeReportFields(
    const std::wstring& module_path,
    const std::wstring& process_type);

// The process's table for `process_type`: the renderer table (12 fields)
// or the general one (4 fields), filled by the first call for its kind
// with MakeReportFields; later calls answer the same table unchanged. The
// renderer table's URL fields are those SetActiveRendererURL writes.
const crash_handler::ReportFieldTable* BuildReportFields(
    const std::wstring& module_path,
    const std::wstring& process_type);

// The browser process's dump callback; runs on the handler thread and
// always answers true. After a dump for a fault (exception or assertion
// information given), and when "ZEPHRA_RESTART" exists, it sets
// "ZEPHRA_CRASHED" to "1" and starts this executable again with the same
// command line. A dump on request restarts nothing: the process goes on.
bool AfterDumpCallback(const wchar_t* dump_folder,
                       const wchar_t* dump_id,
                       void* context,
                       EXCEPTION_POINTERS* exception,
                       crash_handler::AssertionInfo* assertion,
                       bool succeeded);

// An unhandled-exception filter that restarts the process as
// AfterDumpCallback does, then answers what the filter installed before it
// answers (EXCEPTION_EXECUTE_HANDLER when there was none).
LONG WINAPI RestartOnCrashFilter(EXCEPTION_POINTERS* exception);
// Installs RestartOnCrashFilter, keeping the filter it replaces.
void InstallRestartOnCrashFilter();

}  // namespace app

extern "C" {

// Writes a dump of the process now when the crash reporter is installed;
// otherwise does nothing.
__declspec(dllexport) void DumpProcess();

// Records the URL a renderer process works on in the URL fields: 63 units
// per field, the fields it does not reach emptied. Does nothing outside a
// renderer process. A null URL is a failed check and changes nothing.
__declspec(dllexport) void SetActiveRendererURL(const wchar_t* url_cstring);

}  // extern "C"

#endif  // APP_CRASH_REPORTER_WIN_H_
