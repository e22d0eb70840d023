#include "base/process_util.h"

#include <psapi.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "base/command_line.h"
#include "base/logging.h"

namespace base {
namespace {

// Process rights for AcquireProcessHandle: duplication, termination,
// queries and waiting.
constexpr DWORD kAcquireRights = PROCESS_DUP_HANDLE | PROCESS_TERMINATE |
                                 PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
constexpr DWORD kEndProcessWaitMs = 60000;
// The end of the address space that ComputeFreeMemory looks at.
constexpr uintptr_t kFreeMemoryEnd = 0x7F000000;
constexpr int kWorkingSetAttempts = 5;
constexpr size_t kWorkingSetFirstEntries = 4096;

// A wait of `milliseconds` as the platform takes it: a negative one is 0,
// and one beyond the longest finite wait is the longest finite wait, never
// INFINITE or a wrapped short one.
DWORD WaitMilliseconds(int64_t milliseconds) {
  if (milliseconds <= 0)
    return 0;
  return static_cast<DWORD>(std::min<int64_t>(milliseconds, INFINITE - 1));
}

using GetProcessIdFunction = DWORD(WINAPI*)(HANDLE);

// The basic information record of a process as the native query fills it:
// pointer-sized fields, so its size differs between the two builds.
struct ProcessBasicInformation {
  LONG exit_status;
  void* peb_base_address;
  ULONG_PTR affinity_mask;
  LONG base_priority;
  ULONG_PTR unique_process_id;
  ULONG_PTR inherited_from_unique_process_id;
};
using NtQueryInformationProcessFunction =
    LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

// Looks `name` up in the already loaded `module` once per process. A
// module that is not loaded is a failed check.
template <typename Function>
Function LookUpOnce(const wchar_t* module, const char* name) {
  const HMODULE handle = GetModuleHandleW(module);
  if (!handle) {
    NOTREACHED();
    return nullptr;
  }
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

bool IdFromKernel(HANDLE process, ProcessId* id) {
  static const GetProcessIdFunction get_process_id =
      LookUpOnce<GetProcessIdFunction>(L"kernel32.dll", "GetProcessId");
  if (!get_process_id)
    return false;
  *id = get_process_id(process);
  return *id != 0;
}

bool IdFromNative(HANDLE process, ProcessId* id) {
  static const NtQueryInformationProcessFunction query =
      LookUpOnce<NtQueryInformationProcessFunction>(
          L"ntdll.dll", "NtQueryInformationProcess");
  if (!query)
    return false;
  ProcessBasicInformation info = {};
  ULONG bytes_returned = 0;
  const LONG status = query(process, 0, &info, sizeof(info), &bytes_returned);
  if (status < 0 || bytes_returned != sizeof(info))
    return false;
  *id = static_cast<ProcessId>(info.unique_process_id);
  return true;
}

int64_t FileTimeValue(const FILETIME& time) {
  return static_cast<int64_t>(
      (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

}  // namespace

bool LaunchProcess(const std::wstring& command_line,
                   const LaunchOptions& options,
                   OwnedHandle* process,
                   DWORD* process_id) {
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  if (options.show_state != LaunchOptions::kDefaultShowState) {
    startup_info.dwFlags |= STARTF_USESHOWWINDOW;
    startup_info.wShowWindow = static_cast<WORD>(options.show_state);
  }
  const bool inherit_output = options.output != nullptr;
  if (inherit_output) {
    startup_info.dwFlags |= STARTF_USESTDHANDLES;
    startup_info.hStdOutput = options.output;
    startup_info.hStdError = options.output;
  }
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(
          options.program.empty() ? nullptr : options.program.c_str(),
          writable.data(), nullptr, nullptr, inherit_output, 0, nullptr,
          options.folder.empty() ? nullptr : options.folder.c_str(),
          &startup_info, &process_info)) {
    return false;
  }
  const OwnedHandle thread(process_info.hThread);
  OwnedHandle started(process_info.hProcess);
  if (process)
    *process = std::move(started);
  if (process_id)
    *process_id = process_info.dwProcessId;
  return true;
}

ProcessId CurrentProcessId() {
  return GetCurrentProcessId();
}

ProcessHandle CurrentProcessHandle() {
  return GetCurrentProcess();
}

bool AcquireProcessHandle(ProcessId id, ProcessHandle* handle) {
  const HANDLE opened = OpenProcess(kAcquireRights, FALSE, id);
  if (!opened)
    return false;
  *handle = opened;
  return true;
}

void ReleaseProcessHandle(ProcessHandle handle) {
  CloseHandle(handle);
}

ProcessId ProcessIdOf(ProcessHandle process) {
  HANDLE process_with_query_rights = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(),
                      &process_with_query_rights, PROCESS_QUERY_INFORMATION,
                      FALSE, 0)) {
    const OwnedHandle closer(process_with_query_rights);
    ProcessId id = 0;
    if (IdFromKernel(process_with_query_rights, &id) ||
        IdFromNative(process_with_query_rights, &id)) {
      return id;
    }
  }
  NOTREACHED();
  return 0;
}

bool StartProcess(const std::wstring& command_line,
                  bool wait,
                  bool hide_window,
                  ProcessHandle* process) {
  LaunchOptions options;
  options.show_state = hide_window ? SW_HIDE : SW_SHOW;
  OwnedHandle started;
  if (!LaunchProcess(command_line, options, &started))
    return false;
  if (wait)
    WaitForSingleObject(started.get(), INFINITE);
  if (process)
    *process = started.Take();
  return true;
}

bool StartProcess(const CommandLine& command_line,
                  bool wait,
                  bool hide_window,
                  ProcessHandle* process) {
  return StartProcess(command_line.text(), wait, hide_window, process);
}

bool EndProcess(ProcessHandle process, unsigned int exit_code, bool wait) {
  if (!TerminateProcess(process, exit_code)) {
    LOG(ERROR) << "Unable to terminate process: " << GetLastError();
    return false;
  }
  if (wait && WaitForSingleObject(process, kEndProcessWaitMs) != WAIT_OBJECT_0)
    LOG(ERROR) << "Error waiting for process exit: " << GetLastError();
  return true;
}

bool EndProcessById(ProcessId id, unsigned int exit_code, bool wait) {
  const OwnedHandle process(
      OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
  if (!process.is_valid())
    return false;
  return EndProcess(process.get(), exit_code, wait);
}

bool AwaitExitCode(ProcessHandle process, int* exit_code) {
  const OwnedHandle closer(process);
  if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
    NOTREACHED();
    return false;
  }
  DWORD temp_code = 0;
  if (!GetExitCodeProcess(process, &temp_code))
    return false;
  *exit_code = static_cast<int>(temp_code);
  return true;
}

bool AwaitProcessExit(ProcessHandle process, int64_t milliseconds) {
  return WaitForSingleObject(process, WaitMilliseconds(milliseconds)) ==
         WAIT_OBJECT_0;
}

bool SleepUnlessCrashed(ProcessHandle process, int64_t milliseconds) {
  return WaitForSingleObject(process, WaitMilliseconds(milliseconds)) ==
         WAIT_TIMEOUT;
}

ProcessEntryWalker::ProcessEntryWalker(const std::wstring& image_name,
                                       const ProcessEntryFilter* filter)
    : image_name_(image_name),
      snapshot_(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)),
      entry_(),
      filter_(filter) {}

const PROCESSENTRY32W* ProcessEntryWalker::NextMatchingEntry() {
  while (NextEntry()) {
    if (_wcsicmp(entry_.szExeFile, image_name_.c_str()) != 0)
      continue;
    if (filter_ &&
        !filter_->Includes(entry_.th32ProcessID, entry_.th32ParentProcessID)) {
      continue;
    }
    return &entry_;
  }
  return nullptr;
}

bool ProcessEntryWalker::NextEntry() {
  if (!snapshot_.is_valid())
    return false;
  entry_ = PROCESSENTRY32W();
  entry_.dwSize = sizeof(entry_);
  const bool found = walk_started_ ? Process32NextW(snapshot_.get(), &entry_)
                                   : Process32FirstW(snapshot_.get(), &entry_);
  walk_started_ = true;
  // The name is compared as a string: it ends inside its field whatever
  // the platform wrote there.
  entry_.szExeFile[MAX_PATH - 1] = L'\0';
  return found;
}

int CountProcessesByName(const std::wstring& image_name,
                         const ProcessEntryFilter* filter) {
  int count = 0;
  ProcessEntryWalker walker(image_name, filter);
  while (walker.NextMatchingEntry())
    ++count;
  return count;
}

bool EndProcessesNamed(const std::wstring& image_name,
                       unsigned int exit_code,
                       const ProcessEntryFilter* filter) {
  bool all_ended = true;
  ProcessEntryWalker walker(image_name, filter);
  while (const PROCESSENTRY32W* entry = walker.NextMatchingEntry()) {
    if (!EndProcessById(entry->th32ProcessID, exit_code, true))
      all_ended = false;
  }
  return all_ended;
}

bool AwaitProcessesExit(const std::wstring& image_name,
                        int64_t milliseconds,
                        const ProcessEntryFilter* filter) {
  bool all_exited = true;
  const DWORD start = GetTickCount();
  ProcessEntryWalker walker(image_name, filter);
  while (const PROCESSENTRY32W* entry = walker.NextMatchingEntry()) {
    // The unsigned difference stays right across the tick counter's wrap.
    const int64_t elapsed = static_cast<DWORD>(GetTickCount() - start);
    const OwnedHandle process(
        OpenProcess(SYNCHRONIZE, FALSE, entry->th32ProcessID));
    if (!process.is_valid()) {
      // A process that ended after the snapshot cannot be opened any more:
      // it has exited. Any other refusal leaves it unknown, so not exited.
      if (GetLastError() != ERROR_INVALID_PARAMETER)
        all_exited = false;
      continue;
    }
    if (!AwaitProcessExit(process.get(), milliseconds - elapsed))
      all_exited = false;
  }
  return all_exited;
}

bool EndProcessesByName(const std::wstring& image_name,
                        int64_t milliseconds,
                        unsigned int exit_code,
                        const ProcessEntryFilter* filter) {
  const bool exited = AwaitProcessesExit(image_name, milliseconds, filter);
  if (!exited)
    EndProcessesNamed(image_name, exit_code, filter);
  return exited;
}

// static
std::unique_ptr<ProcessStats> ProcessStats::MakeProcessStats(
    ProcessHandle process) {
  return std::unique_ptr<ProcessStats>(new ProcessStats(process));
}

ProcessStats::ProcessStats(ProcessHandle process) : process_(process) {
  SYSTEM_INFO system_info;
  GetSystemInfo(&system_info);
  cpu_count_ =
      static_cast<int>(std::max<DWORD>(system_info.dwNumberOfProcessors, 1));
}

size_t ProcessStats::PagefileBytes() const {
  PROCESS_MEMORY_COUNTERS counters;
  if (!GetProcessMemoryInfo(process_, &counters, sizeof(counters)))
    return 0;
  return counters.PagefileUsage;
}

size_t ProcessStats::PeakPagefileBytes() const {
  PROCESS_MEMORY_COUNTERS counters;
  if (!GetProcessMemoryInfo(process_, &counters, sizeof(counters)))
    return 0;
  return counters.PeakPagefileUsage;
}

size_t ProcessStats::WorkingSetBytes() const {
  PROCESS_MEMORY_COUNTERS counters;
  if (!GetProcessMemoryInfo(process_, &counters, sizeof(counters)))
    return 0;
  return counters.WorkingSetSize;
}

size_t ProcessStats::PrivateMemoryBytes() const {
  PROCESS_MEMORY_COUNTERS_EX pmcx;
  if (!GetProcessMemoryInfo(process_,
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmcx),
                            sizeof(pmcx))) {
    return 0;
  }
  return pmcx.PrivateUsage;
}

void ProcessStats::CommittedMemory(CommittedMemoryKB* usage) const {
  size_t committed_private = 0;
  size_t committed_mapped = 0;
  size_t committed_image = 0;
  MEMORY_BASIC_INFORMATION info;
  uintptr_t address = 0;
  while (VirtualQueryEx(process_, reinterpret_cast<void*>(address), &info,
                        sizeof(info)) == sizeof(info)) {
    if (info.State == MEM_COMMIT) {
      if (info.Type == MEM_PRIVATE)
        committed_private += info.RegionSize;
      else if (info.Type == MEM_MAPPED)
        committed_mapped += info.RegionSize;
      else if (info.Type == MEM_IMAGE)
        committed_image += info.RegionSize;
      else
        NOTREACHED();
    }
    // A region that would not move the walk on, or past the end of the
    // address space, ends it.
    const uintptr_t next =
        reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (next <= address)
      break;
    address = next;
  }
  usage->priv = committed_private >> 10;
  usage->mapped = committed_mapped >> 10;
  usage->image = committed_image >> 10;
}

bool ProcessStats::WorkingSetBreakdown(WorkingSetBreakdownKB* ws_usage) const {
  CHECK_OR_RETURN(ws_usage, false);
  *ws_usage = WorkingSetBreakdownKB();
  size_t number_of_entries = kWorkingSetFirstEntries;
  for (int attempt = 0; attempt < kWorkingSetAttempts; ++attempt) {
    // The count, then one block per page.
    const size_t bytes = sizeof(PSAPI_WORKING_SET_INFORMATION) +
                         number_of_entries * sizeof(PSAPI_WORKING_SET_BLOCK);
    std::vector<ULONG_PTR> buffer((bytes + sizeof(ULONG_PTR) - 1) /
                                  sizeof(ULONG_PTR));
    auto* info =
        reinterpret_cast<PSAPI_WORKING_SET_INFORMATION*>(buffer.data());
    if (QueryWorkingSet(
            process_, info,
            static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)))) {
      const size_t blocks =
          std::min<size_t>(number_of_entries, info->NumberOfEntries);
      size_t private_pages = 0, shareable_pages = 0, shared_pages = 0;
      for (size_t i = 0; i < blocks; ++i) {
        const PSAPI_WORKING_SET_BLOCK& block = info->WorkingSetInfo[i];
        if (!block.Shared) {
          ++private_pages;
          continue;
        }
        ++shareable_pages;
        if (block.ShareCount > 1)
          ++shared_pages;
      }
      ws_usage->priv = private_pages * 4;
      ws_usage->shareable = shareable_pages * 4;
      ws_usage->shared = shared_pages * 4;
      return true;
    }
    if (GetLastError() != ERROR_BAD_LENGTH)
      return false;
    number_of_entries = static_cast<size_t>(info->NumberOfEntries * 1.25);
  }
  return false;
}

int ProcessStats::CpuUsagePercent() {
  FILETIME now, creation_time, exit_time, kernel_time, user_time;
  GetSystemTimeAsFileTime(&now);
  if (!GetProcessTimes(process_, &creation_time, &exit_time, &kernel_time,
                       &user_time)) {
    return 0;
  }
  const int64_t system_time =
      static_cast<int64_t>(static_cast<uint64_t>(FileTimeValue(kernel_time) +
                                                 FileTimeValue(user_time)) /
                           static_cast<uint64_t>(cpu_count_));
  const int64_t sample_time = FileTimeValue(now);
  if (prev_system_time_ == 0 || prev_sample_time_ == 0) {
    prev_system_time_ = system_time;
    prev_sample_time_ = sample_time;
    return 0;
  }
  // Two samples within one tick of the system clock have no interval to
  // divide by; the next call measures from the first.
  const int64_t time_delta = sample_time - prev_sample_time_;
  if (time_delta <= 0)
    return 0;
  const int64_t percent =
      ((system_time - prev_system_time_) * 100 + time_delta / 2) / time_delta;
  prev_system_time_ = system_time;
  prev_sample_time_ = sample_time;
  return static_cast<int>(percent);
}

bool ProcessStats::IoCounters(IO_COUNTERS* io_counters) const {
  return GetProcessIoCounters(process_, io_counters) != FALSE;
}

// static
bool ProcessStats::ComputeFreeMemory(FreeMemoryMB* free) {
  size_t total = 0;
  size_t largest = 0;
  void* largest_ptr = nullptr;
  MEMORY_BASIC_INFORMATION info;
  for (uintptr_t address = 0; address < kFreeMemoryEnd;) {
    if (VirtualQueryEx(GetCurrentProcess(), reinterpret_cast<void*>(address),
                       &info, sizeof(info)) != sizeof(info)) {
      return false;
    }
    if (info.State == MEM_FREE) {
      total += info.RegionSize;
      if (info.RegionSize > largest) {
        largest = info.RegionSize;
        largest_ptr = info.BaseAddress;
      }
    }
    const uintptr_t next =
        reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (next <= address)
      return false;
    address = next;
  }
  free->total = total / 1048576;
  free->largest = largest / 1048576;
  free->largest_ptr = largest_ptr;
  return true;
}

bool UseLowFragmentationHeaps() {
  using HeapSetFunction =
      BOOL(WINAPI*)(HANDLE, HEAP_INFORMATION_CLASS, void*, SIZE_T);
  static const HeapSetFunction heap_set =
      LookUpOnce<HeapSetFunction>(L"kernel32.dll", "HeapSetInformation");
  if (!heap_set)
    return true;
  const DWORD count = GetProcessHeaps(0, nullptr);
  if (count == 0)
    return false;
  // Room for heaps made meanwhile. More than that leaves the list unfilled,
  // which is a failure rather than a walk over handles never written.
  std::vector<HANDLE> heaps(count + 8);
  const DWORD listed =
      GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (listed == 0 || listed > heaps.size())
    return false;
  for (DWORD i = 0; i < listed; ++i) {
    ULONG lfh_flag = 2;
    heap_set(heaps[i], HeapCompatibilityInformation, &lfh_flag,
             sizeof(lfh_flag));
  }
  return true;
}

bool TerminateOnHeapCorruption() {
  return HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr,
                            0) != FALSE;
}

bool RaiseToHighPriority() {
  return SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS) != FALSE;
}

}  // namespace base
