#include "base/logging.h"

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

#include "base/codepage_conversions.h"
#include "base/debug_util.h"
#include "base/lock_impl.h"
#include "base/scoped_handle_win.h"

namespace base {
namespace {

const char* const kSeverityNames[] = {"INFO", "WARNING", "ERROR",
                                      "ERROR_REPORT", "FATAL"};
const wchar_t kLogFileName[] = L"debug.log";
const wchar_t kFallbackLogFile[] = L".\\debug.log";
const wchar_t kMessageProgramName[] = L"debug_message.exe";
// How much of an over-long mutex name is kept before its hash.
constexpr size_t kMutexNameKeep = 200;

// Settings: plain values, set at start-up before other threads log.
int g_min_log_level = LOG_INFO;
LogTarget g_log_target = LOG_TO_FILE;
LogLockMode g_lock_mode = LOG_LOCK_SYSTEM_MUTEX;
const std::string* g_filter_prefix = nullptr;  // Owned; null when unset.
bool g_log_process_id = false;
bool g_log_thread_id = false;
bool g_log_time_stamp = true;
bool g_log_tick_count = false;
LogHandlerFunction g_fatal_handler = nullptr;
LogHandlerFunction g_report_handler = nullptr;

const char* SeverityName(LogLevel severity) {
  if (severity < LOG_INFO || severity > LOG_FATAL)
    return "UNKNOWN";
  return kSeverityNames[severity];
}

// Only "\" separates here: a name written with "/" keeps its folders.
const char* BaseName(const char* file) {
  const char* last_slash = strrchr(file, '\\');
  return last_slash ? last_slash + 1 : file;
}

bool IncludesFile(LogTarget target) {
  return target == LOG_TO_FILE || target == LOG_TO_FILE_AND_DEBUGGER;
}

bool IncludesDebugger(LogTarget target) {
  return target == LOG_TO_DEBUGGER || target == LOG_TO_FILE_AND_DEBUGGER;
}

// `file_name` in the executable's folder, or an empty string when the path
// does not fit in MAX_PATH characters: a cut path would name another file.
std::wstring PathBesideExecutable(const wchar_t* file_name) {
  wchar_t module[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  std::wstring path(module, length);
  path.erase(path.rfind(L'\\') + 1);
  path += file_name;
  return path.size() < MAX_PATH ? path : std::wstring();
}

LogPrefixValues CurrentPrefixValues() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  LogPrefixValues values;
  values.process_id = GetCurrentProcessId();
  values.thread_id = GetCurrentThreadId();
  values.month = local.wMonth;
  values.day = local.wDay;
  values.hour = local.wHour;
  values.minute = local.wMinute;
  values.second = local.wSecond;
  values.tick_count = GetTickCount();
  return values;
}

HANDLE OpenForAppending(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteAll(HANDLE file, const std::string& bytes) {
  DWORD num_written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &num_written,
            nullptr);
}

// Straight to the handle: the C runtime's text mode would turn the line's
// CR LF into CR CR LF. A GUI process without standard error writes nothing.
void WriteToStandardError(const std::string& line) {
  const HANDLE standard_error = GetStdHandle(STD_ERROR_HANDLE);
  if (standard_error && standard_error != INVALID_HANDLE_VALUE)
    WriteAll(standard_error, line);
}

// The log file, shared by every thread of the process. One lock guards the
// file handle, the name and the mutex and is held across each write, so
// the file and the mutex are made exactly once however many threads log
// their first lines together; the named mutex then keeps other processes'
// lines apart from ours.
class LogFile {
 public:
  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Write(const std::string& line);
  void Configure(const wchar_t* file_name,
                 LogTarget target,
                 LogLockMode lock_mode,
                 ExistingLogPolicy existing_log);
  void Release();

 private:
  // Takes "debug.log" beside the executable when no name was configured.
  // It stays empty when that path does not fit.
  void ChooseNameLocked();
  bool OpenLocked();
  void CloseLocked();
  // The mutex for the current file name, made when first needed (and again
  // when the name changes); null when the platform refuses the name.
  HANDLE MutexLocked();

  Lock lock_;
  std::wstring name_;        // Guarded by lock_; empty until chosen.
  OwnedHandle file_;         // Guarded by lock_.
  OwnedHandle mutex_;        // Guarded by lock_.
  std::wstring mutex_name_;  // Guarded by lock_.
};

// Made on first use and never destroyed, so that messages logged while the
// process ends still reach the file.
LogFile& TheLogFile() {
  static LogFile* const log_file = new LogFile();
  return *log_file;
}

void LogFile::Write(const std::string& line) {
  LockGuard hold(lock_);
  if (!OpenLocked())
    return;
  HANDLE mutex = g_lock_mode == LOG_LOCK_SYSTEM_MUTEX ? MutexLocked() : nullptr;
  bool abandoned = false;
  if (mutex) {
    const DWORD result = WaitForSingleObject(mutex, INFINITE);
    // A process that died while it wrote leaves the mutex abandoned, and
    // owned by us now: say so and carry on rather than stop logging.
    abandoned = result == WAIT_ABANDONED;
    if (result != WAIT_OBJECT_0 && !abandoned)
      mutex = nullptr;
  }
  SetFilePointer(file_.get(), 0, nullptr, FILE_END);
  if (abandoned) {
    // Starts on a line of its own: the dead writer may have left half a
    // line behind.
    WriteAll(file_.get(),
             "\r\n" +
                 FormatLogPrefix(CurrentPrefixValues(), LOG_WARNING, __FILE__,
                                 __LINE__) +
                 "Another process ended while it wrote to this log.\r\n");
  }
  WriteAll(file_.get(), line);
  if (mutex)
    ReleaseMutex(mutex);
}

void LogFile::Configure(const wchar_t* file_name,
                        LogTarget target,
                        LogLockMode lock_mode,
                        ExistingLogPolicy existing_log) {
  LockGuard hold(lock_);
  CloseLocked();
  g_lock_mode = lock_mode;
  g_log_target = target;
  if (!IncludesFile(target))
    return;
  name_ = file_name ? file_name : L"";
  if (existing_log == ERASE_EXISTING_LOG)
    DeleteFileW(name_.c_str());
  if (lock_mode == LOG_LOCK_SYSTEM_MUTEX)
    MutexLocked();
  OpenLocked();
}

void LogFile::Release() {
  LockGuard hold(lock_);
  CloseLocked();
}

void LogFile::ChooseNameLocked() {
  if (name_.empty())
    name_ = PathBesideExecutable(kLogFileName);
}

bool LogFile::OpenLocked() {
  if (file_.is_valid())
    return true;
  ChooseNameLocked();
  // The folder beside the executable may be read-only; then the current
  // folder takes the log.
  if (!name_.empty())
    file_.Set(OpenForAppending(name_));
  if (!file_.is_valid())
    file_.Set(OpenForAppending(kFallbackLogFile));
  if (!file_.is_valid())
    return false;
  SetFilePointer(file_.get(), 0, nullptr, FILE_END);
  return true;
}

void LogFile::CloseLocked() {
  file_.Close();
}

HANDLE LogFile::MutexLocked() {
  ChooseNameLocked();
  const std::wstring name =
      LogMutexName(name_.empty() ? kFallbackLogFile : name_);
  // A name the platform refused is not asked for again with every line.
  if (name == mutex_name_)
    return mutex_.get();
  mutex_.Set(CreateMutexW(nullptr, FALSE, name.c_str()));
  mutex_name_ = name;
  return mutex_.get();
}

// Runs "debug_message.exe" with `text` as its whole command line and waits
// until it ends. False when there is no such program.
bool RunMessageProgram(const std::wstring& program, std::wstring text) {
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(program.c_str(), &text[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup_info, &process_info)) {
    return false;
  }
  const OwnedHandle process(process_info.hProcess);
  const OwnedHandle thread(process_info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  return true;
}

void RunFatalPath(const std::string& text) {
  if (IsDebuggerAttached()) {
    TrapToDebugger();
    return;
  }
  if (g_fatal_handler) {
    g_fatal_handler(text);
    return;
  }
  ShowFatalMessage(text);
  TrapToDebugger();
}

void ReportError(const std::string& text) {
  if (g_report_handler)
    g_report_handler(text);
  else
    ShowFatalMessage(text);
}

}  // namespace

void ConfigureLogging(const wchar_t* file_name,
                      LogTarget target,
                      LogLockMode lock_mode,
                      ExistingLogPolicy existing_log) {
  TheLogFile().Configure(file_name, target, lock_mode, existing_log);
}

void SetMinimumLogLevel(int level) {
  g_min_log_level = level;
}

int MinimumLogLevel() {
  return g_min_log_level;
}

void SetLogPrefixFilter(const char* prefix) {
  delete g_filter_prefix;
  g_filter_prefix = prefix ? new std::string(prefix) : nullptr;
}

void SelectLogPrefixItems(bool process_id,
                          bool thread_id,
                          bool time_stamp,
                          bool tick_count) {
  g_log_process_id = process_id;
  g_log_thread_id = thread_id;
  g_log_time_stamp = time_stamp;
  g_log_tick_count = tick_count;
}

void SetFatalHandler(LogHandlerFunction handler) {
  g_fatal_handler = handler;
}

void SetErrorReportHandler(LogHandlerFunction handler) {
  g_report_handler = handler;
}

void ReleaseLogFile() {
  TheLogFile().Release();
}

void ShowFatalMessage(const std::string& text) {
  if (text.empty())
    return;
  const std::wstring wide = Utf8ToWide(text);
  if (wide.empty())
    return;
  const std::wstring program = PathBesideExecutable(kMessageProgramName);
  if (!program.empty() && RunMessageProgram(program, wide))
    return;
  MessageBoxW(nullptr, wide.c_str(), L"Fatal error",
              MB_OK | MB_ICONHAND | MB_TOPMOST);
}

std::wstring LogMutexName(const std::wstring& log_file) {
  std::wstring safe_name = log_file;
  for (wchar_t& c : safe_name) {
    if (c == L'\\')
      c = L'/';
  }
  std::wstring name = L"Global\\" + safe_name;
  if (name.size() < MAX_PATH)
    return name;
  // Object names are limited to MAX_PATH characters. A longer name keeps
  // its start and ends in a hash of the whole path, so that every process
  // that logs to this file still finds the same mutex.
  uint64_t hash = 14695981039346656037ull;  // 64-bit FNV-1a.
  for (const wchar_t c : safe_name) {
    hash ^= static_cast<uint16_t>(c);
    hash *= 1099511628211ull;
  }
  wchar_t suffix[20];
  swprintf(suffix, 20, L"#%016llx", static_cast<unsigned long long>(hash));
  name.resize(kMutexNameKeep);
  return name + suffix;
}

std::string FormatLogPrefix(const LogPrefixValues& values,
                            LogLevel severity,
                            const char* file,
                            int line) {
  std::ostringstream prefix;
  prefix << '[';
  if (g_log_process_id)
    prefix << values.process_id << ':';
  if (g_log_thread_id)
    prefix << values.thread_id << ':';
  if (g_log_time_stamp) {
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "%02d%02d/%02d%02d%02d:", values.month,
             values.day, values.hour, values.minute, values.second);
    prefix << stamp;
  }
  if (g_log_tick_count)
    prefix << values.tick_count << ':';
  prefix << SeverityName(severity) << ':' << BaseName(file) << '(' << line
         << ")] ";
  return prefix.str();
}

LogRecord::LogRecord(const char* file, int line)
    : LogRecord(file, line, LOG_INFO) {}

LogRecord::LogRecord(const char* file, int line, LogLevel severity)
    : severity_(severity), last_error_(GetLastError()) {
  Init(file, line);
}

LogRecord::LogRecord(const char* file,
                     int line,
                     LogLevel severity,
                     int /*counter*/)
    : LogRecord(file, line, severity) {}

LogRecord::LogRecord(const char* file, int line, const std::string& result)
    : LogRecord(file, line, LOG_FATAL, result) {}

LogRecord::LogRecord(const char* file,
                     int line,
                     LogLevel severity,
                     const std::string& result)
    : severity_(severity), last_error_(GetLastError()) {
  Init(file, line);
  stream_ << "Check failed: " << result;
}

void LogRecord::Init(const char* file, int line) {
  stream_ << FormatLogPrefix(CurrentPrefixValues(), severity_, file, line);
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogRecord::~LogRecord() {
  Emit();
  SetLastError(last_error_);
}

void LogRecord::Emit() {
  if (severity_ < g_min_log_level)
    return;
  const std::string text = stream_.str();
  if (g_filter_prefix && severity_ <= LOG_WARNING &&
      text.compare(message_start_, g_filter_prefix->size(), *g_filter_prefix) !=
          0) {
    return;
  }
  const std::string line = text + "\r\n";
  if (IncludesDebugger(g_log_target))
    OutputDebugStringA(line.c_str());
  if (severity_ >= LOG_ERROR)
    WriteToStandardError(line);
  if (IncludesFile(g_log_target))
    TheLogFile().Write(line);
  if (severity_ == LOG_FATAL)
    RunFatalPath(text);
  else if (severity_ == LOG_ERROR_REPORT)
    ReportError(text);
}

LogStream& LogStream::operator<<(const wchar_t* wide) {
  return *this << (wide ? WideToUtf8(wide) : std::string());
}

LogStream& LogStream::operator<<(const std::wstring& wide) {
  return *this << WideToUtf8(wide);
}

LogStream& LogStream::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
  manipulator(*this);
  return *this;
}

LogStream& LogStream::operator<<(
    std::ios_base& (*manipulator)(std::ios_base&)) {
  manipulator(*this);
  return *this;
}

}  // namespace base
