#include "base/logging.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "base/codepage_conversions.h"
#include "base/debug_util.h"
#include "base/fault_safe_writer.h"
#include "base/logging_win.h"

namespace base {
namespace {

const char* const kSeverityNames[] = {"INFO", "WARNING", "ERROR",
                                      "ERROR_REPORT", "FATAL"};
// Named objects are limited to this many units, terminator included.
constexpr size_t kMaxObjectNameUnits = 260;
// How much of an over-long mutex name is kept before its hash.
constexpr size_t kMutexNameKeep = 200;

// Settings: plain values, set at start-up before other threads log.
int g_min_log_level = LOG_INFO;
LogTarget g_log_target = LOG_TO_FILE;
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
  g_log_target = target;
  if (IncludesFile(target))
    ConfigureLogFile(file_name, lock_mode, existing_log);
  else
    ReleaseLogFile();
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

std::wstring LogMutexName(const std::wstring& log_file) {
  std::wstring safe_name = log_file;
  for (wchar_t& c : safe_name) {
    if (c == L'\\')
      c = L'/';
  }
  std::wstring name = L"Global\\" + safe_name;
  if (name.size() < kMaxObjectNameUnits)
    return name;
  // Object names have a length limit. A longer name keeps
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
    : severity_(severity), last_error_(SaveLastErrorCode()) {
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
    : severity_(severity), last_error_(SaveLastErrorCode()) {
  Init(file, line);
  stream_ << "Check failed: " << result;
}

void LogRecord::Init(const char* file, int line) {
  stream_ << FormatLogPrefix(CurrentLogPrefixValues(), severity_, file, line);
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogRecord::~LogRecord() {
  Emit();
  RestoreLastErrorCode(last_error_);
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
    WriteToDebuggerOutput(line);
  // A GUI process without standard error writes nothing there.
  if (severity_ >= LOG_ERROR)
    WriteToStandardError(line.data(), line.size());
  if (IncludesFile(g_log_target))
    WriteToLogFile(line);
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
