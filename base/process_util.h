#ifndef BASE_PROCESS_UTIL_H_
#define BASE_PROCESS_UTIL_H_

#include <windows.h>

#include <tlhelp32.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/scoped_handle_win.h"

// Other processes: starting, waiting for, ending and enumerating them, and
// measuring a process's memory and processor use; also the process-wide
// heap and priority settings. The one place that starts a process: the
// fatal-message program, the just-in-time debugger, the update program and
// the programs that tests start all go through LaunchProcess. Functions
// keep no state (but for two function look-ups made once); any thread may
// call them. Process handles given to a function stay the caller's unless
// it says otherwise.

namespace base {

class CommandLine;

using ProcessHandle = HANDLE;
using ProcessId = DWORD;

// How LaunchProcess starts a program.
struct LaunchOptions {
  // The program file. Empty: the first token of the command line names it,
  // and the platform looks for it on its search path.
  std::wstring program;
  // The child's current folder; empty: this process's current folder.
  std::wstring folder;
  // The show state that the child's first window takes (SW_HIDE, SW_SHOW);
  // kDefaultShowState leaves it to the child.
  static constexpr int kDefaultShowState = -1;
  int show_state = kDefaultShowState;
  // When given, inherited as the child's standard output and standard
  // error. The caller keeps it.
  HANDLE output = nullptr;
};

// Starts a process with the command line `command_line` (the platform may
// change its private copy, never this string). On success the process
// handle goes to `process` when it is given (and is closed otherwise), the
// process id to `process_id` when given, and the answer is true.
bool LaunchProcess(const std::wstring& command_line,
                   const LaunchOptions& options,
                   OwnedHandle* process,
                   DWORD* process_id = nullptr);

ProcessId CurrentProcessId();
// The pseudo-handle of this process; never closed.
ProcessHandle CurrentProcessHandle();

// Opens process `id` for duplication, termination, queries and waiting.
// The caller owns the handle (ReleaseProcessHandle).
bool AcquireProcessHandle(ProcessId id, ProcessHandle* handle);
void ReleaseProcessHandle(ProcessHandle handle);

// The id of the process behind `process`; 0 (after a failed check) when it
// cannot be found out.
ProcessId ProcessIdOf(ProcessHandle process);

// Starts `command_line`, its window shown or (with `hide_window`) hidden,
// and waits for it to end when `wait` is set. The process handle goes to
// `process` when it is given, else it is closed.
bool StartProcess(const std::wstring& command_line,
                  bool wait,
                  bool hide_window,
                  ProcessHandle* process);
// The same with the whole text of `command_line`.
bool StartProcess(const CommandLine& command_line,
                  bool wait,
                  bool hide_window,
                  ProcessHandle* process);

// Ends `process` with `exit_code`; with `wait`, waits up to a minute for
// it to be gone. False (and an error line) when it cannot be ended.
bool EndProcess(ProcessHandle process, unsigned int exit_code, bool wait);
bool EndProcessById(ProcessId id, unsigned int exit_code, bool wait);

// Waits for `process` and reads its exit code into `exit_code`. Takes the
// handle and closes it, whatever the outcome.
bool AwaitExitCode(ProcessHandle process, int* exit_code);

// True when `process` ended within `milliseconds`.
bool AwaitProcessExit(ProcessHandle process, int64_t milliseconds);

// True when `process` is still alive after `milliseconds`.
bool SleepUnlessCrashed(ProcessHandle process, int64_t milliseconds);

// Narrows a process enumeration: Includes answers whether the process
// `id`, started by `parent_id`, takes part.
class ProcessEntryFilter {
 public:
  virtual ~ProcessEntryFilter() = default;
  virtual bool Includes(ProcessId id, ProcessId parent_id) const = 0;
};

// Walks the processes that run an executable of a given file name
// (compared without case), in a snapshot taken at construction. The filter
// may be null (every such process); it must outlive the walker. Used on
// one thread.
class ProcessEntryWalker {
 public:
  ProcessEntryWalker(const std::wstring& image_name,
                     const ProcessEntryFilter* filter);
  ProcessEntryWalker(const ProcessEntryWalker&) = delete;
  ProcessEntryWalker& operator=(const ProcessEntryWalker&) = delete;

  // The next matching process, valid until the next call; null at the end.
  const PROCESSENTRY32W* NextMatchingEntry();

 private:
  bool NextEntry();

  std::wstring image_name_;
  OwnedHandle snapshot_;
  bool walk_started_ = false;
  PROCESSENTRY32W entry_;
  const ProcessEntryFilter* filter_;
};

int CountProcessesByName(const std::wstring& image_name,
                         const ProcessEntryFilter* filter);
// Ends every such process, waiting for each; true when all were ended.
bool EndProcessesNamed(const std::wstring& image_name,
                       unsigned int exit_code,
                       const ProcessEntryFilter* filter);
// Waits, all together at most `milliseconds`, for every such process to
// end; true when all did. A process that is already gone has ended.
bool AwaitProcessesExit(const std::wstring& image_name,
                        int64_t milliseconds,
                        const ProcessEntryFilter* filter);
// Waits like AwaitProcessesExit and ends those still running; answers
// whether the wait alone sufficed.
bool EndProcessesByName(const std::wstring& image_name,
                        int64_t milliseconds,
                        unsigned int exit_code,
                        const ProcessEntryFilter* filter);

// Memory of a process in kilobytes, by kind of committed page.
struct CommittedMemoryKB {
  size_t priv = 0;
  size_t mapped = 0;
  size_t image = 0;
};

// Working-set pages in kilobytes: private, shareable, and shared by more
// than one process.
struct WorkingSetBreakdownKB {
  size_t priv = 0;
  size_t shareable = 0;
  size_t shared = 0;
};

// Free address space below 0x7F000000, in megabytes, and where its largest
// free region starts.
struct FreeMemoryMB {
  size_t total = 0;
  size_t largest = 0;
  void* largest_ptr = nullptr;
};

// Memory and processor figures of one process. Holds the handle without
// owning it. CpuUsagePercent remembers its last sample, so one thread at a
// time uses an object.
class ProcessStats {
 public:
  static std::unique_ptr<ProcessStats> MakeProcessStats(ProcessHandle process);

  // Byte counts; 0 when the platform cannot say.
  size_t PagefileBytes() const;
  size_t PeakPagefileBytes() const;
  size_t WorkingSetBytes() const;
  size_t PrivateMemoryBytes() const;

  void CommittedMemory(CommittedMemoryKB* usage) const;
  bool WorkingSetBreakdown(WorkingSetBreakdownKB* ws_usage) const;

  // The share of the machine's processors used since the last call, in
  // percent rounded to the nearest; 0 on the first call, when the platform
  // cannot say, and when no clock tick has passed since the last call.
  int CpuUsagePercent();

  bool IoCounters(IO_COUNTERS* io_counters) const;

  // Free address space of this process.
  static bool ComputeFreeMemory(FreeMemoryMB* free);

 private:
  explicit ProcessStats(ProcessHandle process);

  ProcessHandle process_;
  int cpu_count_;
  int64_t prev_sample_time_ = 0;  // 100 ns units.
  int64_t prev_system_time_ = 0;  // 100 ns units, per processor.
};

// Turns on the low-fragmentation heap for every heap of the process; true
// also where the platform lacks it.
bool UseLowFragmentationHeaps();
// Ends the process at once when a heap is found corrupted.
bool TerminateOnHeapCorruption();
bool RaiseToHighPriority();

}  // namespace base

#endif  // BASE_PROCESS_UTIL_H_
