#include "app/crash_reporter_win.h"

#include <crtdbg.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/file_version_info.h"
#include "base/lock_impl.h"
#include "base/logging.h"
#include "base/process_util.h"

namespace app {
namespace {

using crash_handler::ExceptionHandler;
using crash_handler::ReportField;
using crash_handler::ReportFieldTable;

constexpr size_t kGeneralFieldCount = 4;
constexpr size_t kRendererFieldCount = kGeneralFieldCount + kUrlChunkCount;
constexpr wchar_t kPlatform[] = L"Win32";
// A module without version information is reported as this product and
// version.
constexpr wchar_t kFallbackProduct[] = L"Zephra";
constexpr wchar_t kFallbackVersion[] = L"0.0.0.0";
// Appended to the version of a module that is not an official build.
constexpr wchar_t kDevelopmentSuffix[] = L"-devel";

// What the set-up hands to its worker, which owns it. Everything it needs
// of the command line is read before the set-up returns.
struct SetUpParameters {
  std::wstring module_path;
  std::wstring process_type;
  MINIDUMP_TYPE dump_kind = MiniDumpNormal;
};

// The two tables, each filled once and never freed. A handler reads them
// when it writes a dump.
base::StaticLock g_tables_lock;
ReportField g_renderer_fields[kRendererFieldCount];
const ReportFieldTable g_renderer_table = {g_renderer_fields,
                                           kRendererFieldCount};
bool g_renderer_table_filled = false;  // Guarded by g_tables_lock.
ReportField g_general_fields[kGeneralFieldCount];
const ReportFieldTable g_general_table = {g_general_fields, kGeneralFieldCount};
bool g_general_table_filled = false;  // Guarded by g_tables_lock.

// The value texts of the renderer table's URL fields, in chunk order,
// published through g_url_field_values once the table is filled.
wchar_t* g_url_chunk_values[kUrlChunkCount];
std::atomic<wchar_t* const*> g_url_field_values{nullptr};

std::atomic<bool> g_set_up_started{false};
// A manual-reset event signalled when a set-up queued on the thread pool
// has finished; null when none was queued. Never closed.
std::atomic<HANDLE> g_set_up_done{nullptr};
std::atomic<ExceptionHandler*> g_crash_handler{nullptr};
std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_previous_filter{nullptr};

void AppendField(std::vector<ReportField>* fields,
                 const wchar_t* name,
                 const wchar_t* value) {
  ReportField field = {};
  field.set_name(name);
  field.set_value(value);
  fields->push_back(field);
}

// The user's temporary folder, ending in a backslash; empty when the
// platform fails or the folder does not fit in MAX_PATH units (the platform
// then answers the size it would need).
std::wstring TemporaryFolder() {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  return std::wstring(folder, length);
}

// How this process starts itself again: this executable by its full path,
// so that neither a relative program name (the current folder has changed
// since the start) nor blanks in an unquoted path can start another
// program. Made before any fault, so that the handler thread then only
// reads it.
const base::LaunchOptions& RestartOptions() {
  static const base::LaunchOptions options = [] {
    base::LaunchOptions made;
    made.program = base::ExecutablePath();
    return made;
  }();
  return options;
}

void RestartAfterCrash() {
  if (GetEnvironmentVariableW(kRestartVariable, nullptr, 0) == 0)
    return;
  SetEnvironmentVariableW(kCrashedVariable, L"1");
  // Its failure is not reported: the process is ending either way.
  base::LaunchProcess(GetCommandLineW(), RestartOptions(), nullptr);
}

void RunSetUp(std::unique_ptr<SetUpParameters> parameters) {
  const ReportFieldTable* const report_fields =
      BuildReportFields(parameters->module_path, parameters->process_type);
  const std::wstring dump_folder = TemporaryFolder();
  if (dump_folder.empty()) {
    LOG(ERROR) << "No temporary folder for crash dumps; crash reporting is off";
    return;
  }
  const bool browser = parameters->process_type == kBrowserProcessType;
  if (browser)
    RestartOptions();
  // Lives until the process ends.
  ExceptionHandler* const handler = new ExceptionHandler(
      dump_folder, nullptr, browser ? &AfterDumpCallback : nullptr, nullptr,
      ExceptionHandler::HANDLER_ALL, parameters->dump_kind, nullptr,
      report_fields);
  // A fatal check breaks into the debugger, or without one raises a
  // breakpoint exception: that is a crash to report too.
  handler->set_dump_debug_exceptions(true);
  g_crash_handler.store(handler);
}

DWORD WINAPI CrashReportingSetUpWorker(void* parameter) {
  RunSetUp(std::unique_ptr<SetUpParameters>(
      static_cast<SetUpParameters*>(parameter)));
  SetEvent(g_set_up_done.load());
  return 0;
}

}  // namespace

void SetUpCrashReporting(const std::wstring& module_path) {
  const base::CommandLine& line = *base::CommandLine::ProcessInstance();
  if (line.HasSwitchNamed(kDisableCrashReporterSwitch))
    return;
  if (g_set_up_started.exchange(true))
    return;
  // No report of the runtime's assertions may wait for a user; this
  // runtime has no such reports, and the call compiles to nothing.
  static_cast<void>(_CrtSetReportMode(_CRT_ASSERT, 0));

  auto parameters = std::make_unique<SetUpParameters>();
  parameters->module_path = module_path;
  parameters->process_type = line.SwitchValue(kProcessTypeSwitch);
  if (parameters->process_type.empty())
    parameters->process_type = kBrowserProcessType;
  if (line.HasSwitchNamed(kFullMemoryCrashReportSwitch))
    parameters->dump_kind = MiniDumpWithFullMemory;

  if (parameters->process_type == kBrowserProcessType) {
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (done) {
      g_set_up_done.store(done);
      if (QueueUserWorkItem(&CrashReportingSetUpWorker, parameters.get(),
                            WT_EXECUTELONGFUNCTION)) {
        parameters.release();  // The worker's now.
        return;
      }
    }
  }
  RunSetUp(std::move(parameters));
  if (const HANDLE done = g_set_up_done.load())
    SetEvent(done);
}

bool AwaitCrashReportingSetUp(DWORD timeout_ms) {
  const HANDLE done = g_set_up_done.load();
  return !done || WaitForSingleObject(done, timeout_ms) == WAIT_OBJECT_0;
}

ExceptionHandler* InstalledCrashHandler() {
  return g_crash_handler.load();
}

std::vector<ReportField> MakeReportFields(const std::wstring& module_path,
                                          const std::wstring& process_type) {
  std::wstring version = kFallbackVersion;
  std::wstring product = kFallbackProduct;
  bool official = false;
  if (const std::unique_ptr<base::FileVersionInfo> info =
          base::FileVersionInfo::OpenVersionInfo(module_path)) {
    version = info->product_version();
    product = info->product_short_name();
    official = info->is_official_build();
  }
  if (!official)
    version += kDevelopmentSuffix;

  std::vector<ReportField> fields;
  AppendField(&fields, L"ver", version.c_str());
  AppendField(&fields, L"prod", product.c_str());
  AppendField(&fields, L"plat", kPlatform);
  AppendField(&fields, L"ptype", process_type.c_str());
  if (process_type == kRendererProcessType) {
    for (size_t chunk = 1; chunk <= kUrlChunkCount; ++chunk) {
      AppendField(&fields, (L"url-chunk-" + std::to_wstring(chunk)).c_str(),
                  L"");
    }
  }
  return fields;
}

const ReportFieldTable* BuildReportFields(const std::wstring& module_path,
                                          const std::wstring& process_type) {
  const bool renderer = process_type == kRendererProcessType;
  base::StaticLockGuard guard(g_tables_lock);
  bool& filled = renderer ? g_renderer_table_filled : g_general_table_filled;
  const ReportFieldTable& table = renderer ? g_renderer_table : g_general_table;
  if (filled)
    return &table;

  const std::vector<ReportField> fields =
      MakeReportFields(module_path, process_type);
  std::copy(fields.begin(), fields.end(),
            renderer ? g_renderer_fields : g_general_fields);
  filled = true;
  if (renderer) {
    for (size_t chunk = 0; chunk < kUrlChunkCount; ++chunk)
      g_url_chunk_values[chunk] =
          g_renderer_fields[kGeneralFieldCount + chunk].value;
    g_url_field_values.store(g_url_chunk_values);
  }
  return &table;
}

bool AfterDumpCallback(const wchar_t* /*dump_folder*/,
                       const wchar_t* /*dump_id*/,
                       void* /*context*/,
                       EXCEPTION_POINTERS* exception,
                       crash_handler::AssertionInfo* assertion,
                       bool /*succeeded*/) {
  // A dump on request leaves a healthy process running: a second copy
  // would find it holding the instance and the user's work.
  if (exception || assertion)
    RestartAfterCrash();
  return true;
}

LONG WINAPI RestartOnCrashFilter(EXCEPTION_POINTERS* exception) {
  AfterDumpCallback(nullptr, nullptr, nullptr, exception, nullptr, false);
  if (const LPTOP_LEVEL_EXCEPTION_FILTER previous = g_previous_filter.load())
    return previous(exception);
  return EXCEPTION_EXECUTE_HANDLER;
}

void InstallRestartOnCrashFilter() {
  RestartOptions();
  g_previous_filter.store(SetUnhandledExceptionFilter(&RestartOnCrashFilter));
}

}  // namespace app

void DumpProcess() {
  if (crash_handler::ExceptionHandler* const handler =
          app::g_crash_handler.load()) {
    handler->WriteDumpNow();
  }
}

void SetActiveRendererURL(const wchar_t* url_cstring) {
  CHECK_OR_RETURN(url_cstring, );
  wchar_t* const* const chunks = app::g_url_field_values.load();
  if (!chunks)
    return;
  // Each field takes the next 63 units; the fields the URL does not reach
  // are emptied, and what goes beyond the last field is dropped. The rest
  // of each field is zeroed: a dump carries whole fields, and nothing of an
  // earlier, longer URL may stay in them.
  const wchar_t* rest = url_cstring;
  for (size_t chunk = 0; chunk < app::kUrlChunkCount; ++chunk) {
    const size_t length = wcsnlen(rest, app::kUrlChunkLength);
    wmemcpy(chunks[chunk], rest, length);
    wmemset(chunks[chunk] + length, L'\0',
            crash_handler::ReportField::kTextUnits - length);
    rest += length;
  }
}
