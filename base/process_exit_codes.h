#ifndef BASE_PROCESS_EXIT_CODES_H_
#define BASE_PROCESS_EXIT_CODES_H_

#include "base/process_util.h"

// How a child process ended, told from its exit code, with every crash
// counted into three exit-code histograms: "ExitCodes.LSNibbles" (the low
// 12 bits), "ExitCodes.MSNibbles" (the high 12 bits) and
// "ExitCodes.MidNibbles" (the 8 bits between). It sits with the histograms
// rather than with the rest of the process utilities, which the layers
// below use. Any thread may call it.

namespace base {

// True when `process`, which has ended, ended with an exit code that counts
// as a crash; each such code adds one sample to each histogram. Codes that
// are not crashes: 0, 1, 2, a console control exit (0xC000013A), 0xC0000354
// and an end by a debugger (0x40010004). False, with an error line, for a
// process whose exit code reads STILL_ACTIVE (259): a process that is still
// running, or that chose 259 as its exit code, has not crashed. A code that
// cannot be read at all is a failed check.
bool ProcessEndedAbnormally(ProcessHandle process);

}  // namespace base

#endif  // BASE_PROCESS_EXIT_CODES_H_
