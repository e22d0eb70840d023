#include "base/logging_win.h"

#include <windows.h>

#include "base/base_paths.h"
#include "base/codepage_conversions.h"
#include "base/lock_impl.h"
#include "base/process_util.h"
#include "base/scoped_handle_win.h"

namespace base {
namespace {

// The log file's names, chosen here only: "debug.log" beside the
// executable by default, and in the current folder when that place cannot
// be written or its path does not fit.
const wchar_t kLogFileName[] = L"debug.log";
const wchar_t kFallbackLogFile[] = L".\\debug.log";
const wchar_t kMessageProgramName[] = L"debug_message.exe";

// `file_name` in the executable's folder, or an empty string when the path
// does not fit in MAX_PATH characters: a cut path would name another file.
std::wstring PathBesideExecutable(const wchar_t* file_name) {
  const std::wstring folder = ExecutableFolder();
  if (folder.empty())
    return std::wstring();
  const std::wstring path = folder + file_name;
  return path.size() < MAX_PATH ? path : std::wstring();
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

// The log file, shared by every thread of the process. One lock guards the
// file handle, the names and the mutex and is held across each write, so
// the file and the mutex are made exactly once however many threads log
// their first lines together; the named mutex then keeps other processes'
// lines apart from ours. The mutex is always keyed by the file actually
// open, so that after a fallback every process writing that file still
// shares one mutex.
class LogFile {
 public:
  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Write(const std::string& line);
  void Configure(const wchar_t* file_name,
                 LogLockMode lock_mode,
                 ExistingLogPolicy existing_log);
  void Release();

 private:
  // The configured name, else the default beside the executable; empty
  // when that path does not fit.
  std::wstring PreferredNameLocked() const;
  bool OpenLocked();
  // The mutex for the open file, made when first needed (and again when
  // the file changes); null when the platform refuses the name.
  HANDLE MutexLocked();

  Lock lock_;
  LogLockMode lock_mode_ = LOG_LOCK_SYSTEM_MUTEX;  // Guarded by lock_.
  std::wstring configured_name_;  // Guarded by lock_; empty: the default.
  std::wstring opened_name_;      // Guarded by lock_; the file now open.
  OwnedHandle file_;              // Guarded by lock_.
  OwnedHandle mutex_;             // Guarded by lock_.
  std::wstring mutex_name_;       // Guarded by lock_.
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
  HANDLE mutex = lock_mode_ == LOG_LOCK_SYSTEM_MUTEX ? MutexLocked() : nullptr;
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
                 FormatLogPrefix(CurrentLogPrefixValues(), LOG_WARNING,
                                 __FILE__, __LINE__) +
                 "Another process ended while it wrote to this log.\r\n");
  }
  WriteAll(file_.get(), line);
  if (mutex)
    ReleaseMutex(mutex);
}

void LogFile::Configure(const wchar_t* file_name,
                        LogLockMode lock_mode,
                        ExistingLogPolicy existing_log) {
  LockGuard hold(lock_);
  file_.Close();
  lock_mode_ = lock_mode;
  configured_name_ = file_name ? file_name : L"";
  if (existing_log == ERASE_EXISTING_LOG && !configured_name_.empty())
    DeleteFileW(configured_name_.c_str());
  if (OpenLocked() && lock_mode == LOG_LOCK_SYSTEM_MUTEX)
    MutexLocked();
}

void LogFile::Release() {
  LockGuard hold(lock_);
  file_.Close();
}

std::wstring LogFile::PreferredNameLocked() const {
  if (!configured_name_.empty())
    return configured_name_;
  return PathBesideExecutable(kLogFileName);
}

bool LogFile::OpenLocked() {
  if (file_.is_valid())
    return true;
  // The folder beside the executable may be read-only; then the current
  // folder takes the log.
  for (const std::wstring& name :
       {PreferredNameLocked(), std::wstring(kFallbackLogFile)}) {
    if (name.empty())
      continue;
    file_.Set(OpenForAppending(name));
    if (file_.is_valid()) {
      opened_name_ = name;
      SetFilePointer(file_.get(), 0, nullptr, FILE_END);
      return true;
    }
  }
  return false;
}

HANDLE LogFile::MutexLocked() {
  const std::wstring name = LogMutexName(opened_name_);
  // A name the platform refused is not asked for again with every line.
  if (name == mutex_name_)
    return mutex_.get();
  mutex_.Set(CreateMutexW(nullptr, FALSE, name.c_str()));
  mutex_name_ = name;
  return mutex_.get();
}

// Runs "debug_message.exe" with `text` as its whole command line and waits
// until it ends. False when there is no such program.
bool RunMessageProgram(const std::wstring& program, const std::wstring& text) {
  LaunchOptions options;
  options.program = program;
  OwnedHandle process;
  if (!LaunchProcess(text, options, &process))
    return false;
  WaitForSingleObject(process.get(), INFINITE);
  return true;
}

}  // namespace

LogPrefixValues CurrentLogPrefixValues() {
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

unsigned long SaveLastErrorCode() {
  return GetLastError();
}

void RestoreLastErrorCode(unsigned long code) {
  SetLastError(code);
}

void WriteToDebuggerOutput(const std::string& line) {
  OutputDebugStringA(line.c_str());
}

void WriteToLogFile(const std::string& line) {
  TheLogFile().Write(line);
}

void ConfigureLogFile(const wchar_t* file_name,
                      LogLockMode lock_mode,
                      ExistingLogPolicy existing_log) {
  TheLogFile().Configure(file_name, lock_mode, existing_log);
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

}  // namespace base
