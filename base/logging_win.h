#ifndef BASE_LOGGING_WIN_H_
#define BASE_LOGGING_WIN_H_

#include <string>

#include "base/logging.h"

// The Windows half of logging: where a finished line goes (the log file
// with its cross-process mutex, the debugger output) and the values a line
// prefix shows. logging.cc decides what to write and calls these; other
// components use logging.h only.

namespace base {

// The time, ids and tick count of this moment and thread.
LogPrefixValues CurrentLogPrefixValues();

// The calling thread's last-error code, and putting one back.
unsigned long SaveLastErrorCode();
void RestoreLastErrorCode(unsigned long code);

void WriteToDebuggerOutput(const std::string& line);

// Appends `line` to the log file, opening it first when needed. Any thread.
void WriteToLogFile(const std::string& line);

// Closes the log file and opens it anew: `file_name` from now on (null or
// empty: the default name), guarded by `lock_mode`. With ERASE_EXISTING_LOG
// the file starts empty.
void ConfigureLogFile(const wchar_t* file_name,
                      LogLockMode lock_mode,
                      ExistingLogPolicy existing_log);

}  // namespace base

#endif  // BASE_LOGGING_WIN_H_
