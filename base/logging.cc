#include "base/logging.h"

#include <stdio.h>
#include <windows.h>

#include "base/codepage_conversions.h"

namespace base {
namespace {

const char* const kSeverityNames[] = {"INFO", "WARNING", "ERROR",
                                      "ERROR_REPORT", "FATAL"};

LogHandlerFunction g_fatal_handler = nullptr;

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

// Shows a fatal message to whoever sits in front of the machine; the process
// waits until it is dismissed (the text is on standard error already). On a
// desktop nobody watches, such as a headless test machine, the box waits
// for ever: programs run there install a fatal handler instead.
void ShowFatalMessage(const std::string& text) {
  if (text.empty())
    return;
  const std::wstring wide = Utf8ToWide(text);
  if (wide.empty())
    return;
  MessageBoxW(nullptr, wide.c_str(), L"Fatal error",
              MB_OK | MB_ICONHAND | MB_TOPMOST);
}

}  // namespace

void SetFatalHandler(LogHandlerFunction handler) {
  g_fatal_handler = handler;
}

LogRecord::LogRecord(const char* file, int line)
    : LogRecord(file, line, LOG_INFO) {}

LogRecord::LogRecord(const char* file, int line, LogLevel severity)
    : severity_(severity), last_error_(GetLastError()) {
  Init(file, line);
}

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
  SYSTEMTIME local;
  GetLocalTime(&local);
  char stamp[16];
  snprintf(
      stamp, sizeof(stamp), "%02u%02u/%02u%02u%02u",
      static_cast<unsigned>(local.wMonth), static_cast<unsigned>(local.wDay),
      static_cast<unsigned>(local.wHour), static_cast<unsigned>(local.wMinute),
      static_cast<unsigned>(local.wSecond));
  stream_ << '[' << stamp << ':' << SeverityName(severity_) << ':'
          << BaseName(file) << '(' << line << ")] ";
}

LogRecord::~LogRecord() {
  const std::string text = stream_.str();
  if (severity_ >= LOG_ERROR) {
    fprintf(stderr, "%s\r\n", text.c_str());
    fflush(stderr);
  }
  if (severity_ == LOG_FATAL) {
    if (IsDebuggerPresent()) {
      DebugBreak();
    } else if (g_fatal_handler) {
      g_fatal_handler(text);
    } else {
      ShowFatalMessage(text);
      DebugBreak();
    }
  }
  SetLastError(last_error_);
}

}  // namespace base

std::ostream& operator<<(std::ostream& out, const wchar_t* wide) {
  return out << (wide ? base::WideToUtf8(wide) : std::string());
}

std::ostream& operator<<(std::ostream& out, const std::wstring& wide) {
  return out << base::WideToUtf8(wide);
}
