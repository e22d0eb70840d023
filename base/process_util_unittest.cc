#include "base/process_util.h"

#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_files.h"

namespace base {
namespace {

const wchar_t kChildName[] = L"exit_code_child.exe";

std::wstring ChildCommand(const std::wstring& arguments) {
  return L"\"" + test_support::FixturePath(kChildName) + L"\" " + arguments;
}

// Starts the exit-code child with `arguments`, hidden; the caller owns the
// handle.
ProcessHandle StartChild(const std::wstring& arguments) {
  ProcessHandle process = nullptr;
  EXPECT_TRUE(StartProcess(ChildCommand(arguments), false, true, &process));
  return process;
}

TEST(ProcessUtilTest, AHiddenChildIsStartedAwaitedAndItsCodeRead) {
  struct Case {
    const wchar_t* arguments;
    bool hide_window;
    int exit_code;
  };
  const Case kCases[] = {
      {L"7", true, 7},
      {L"0xC0000005", true, static_cast<int>(0xC0000005)},
      {L"show", true, SW_HIDE},
      {L"show", false, SW_SHOW},
  };
  for (const Case& c : kCases) {
    ProcessHandle process = nullptr;
    ASSERT_TRUE(StartProcess(ChildCommand(c.arguments), false, c.hide_window,
                             &process));
    EXPECT_NE(ProcessIdOf(process), 0u);
    int exit_code = -1;
    EXPECT_TRUE(AwaitExitCode(process, &exit_code));  // Closes the handle.
    EXPECT_EQ(exit_code, c.exit_code) << c.arguments;
  }
  // Waiting in StartProcess itself, with the handle closed there.
  EXPECT_TRUE(StartProcess(ChildCommand(L"3"), true, true, nullptr));
  EXPECT_FALSE(
      StartProcess(L"\"Z:\\no\\such\\program.exe\"", false, true, nullptr));
}

TEST(ProcessUtilTest, IdsAndHandlesOfTheCurrentProcess) {
  EXPECT_EQ(ProcessIdOf(CurrentProcessHandle()), CurrentProcessId());
  ProcessHandle handle = nullptr;
  ASSERT_TRUE(AcquireProcessHandle(CurrentProcessId(), &handle));
  EXPECT_EQ(ProcessIdOf(handle), CurrentProcessId());
  ReleaseProcessHandle(handle);
}

TEST(ProcessUtilTest, EndingAndWaitingForAChild) {
  const OwnedHandle process(StartChild(L"0 30000"));
  EXPECT_TRUE(SleepUnlessCrashed(process.get(), 50));
  EXPECT_FALSE(AwaitProcessExit(process.get(), 0));
  EXPECT_TRUE(EndProcess(process.get(), 12, true));
  EXPECT_TRUE(AwaitProcessExit(process.get(), 0));
  EXPECT_FALSE(SleepUnlessCrashed(process.get(), 0));
  DWORD exit_code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process.get(), &exit_code));
  EXPECT_EQ(exit_code, 12u);
}

// Accepts the children of this process except one.
class ChildrenExcept : public ProcessEntryFilter {
 public:
  explicit ChildrenExcept(ProcessId excluded) : excluded_(excluded) {}
  bool Includes(ProcessId id, ProcessId parent_id) const override {
    return parent_id == CurrentProcessId() && id != excluded_;
  }

 private:
  const ProcessId excluded_;
};

TEST(ProcessUtilTest, TheWalkerFindsChildrenByNameThroughTheFilter) {
  std::vector<OwnedHandle> children;
  std::set<ProcessId> ids;
  for (int i = 0; i < 3; ++i) {
    children.emplace_back(StartChild(L"0 30000"));
    ids.insert(ProcessIdOf(children.back().get()));
  }
  const ProcessId excluded = ProcessIdOf(children[0].get());
  const ChildrenExcept filter(excluded);
  std::set<ProcessId> walked;
  // Names compare without case.
  ProcessEntryWalker walker(L"EXIT_CODE_CHILD.exe", &filter);
  while (const PROCESSENTRY32W* entry = walker.NextMatchingEntry())
    walked.insert(entry->th32ProcessID);
  ids.erase(excluded);
  EXPECT_EQ(walked, ids);
  EXPECT_EQ(CountProcessesByName(kChildName, &filter), 2);

  // They do not end by themselves within the budget, so they are ended.
  EXPECT_FALSE(EndProcessesByName(kChildName, 0, 9, &filter));
  EXPECT_EQ(CountProcessesByName(kChildName, &filter), 0);
  EXPECT_TRUE(AwaitProcessesExit(kChildName, 0, &filter));
  for (size_t i = 1; i < children.size(); ++i) {
    DWORD exit_code = 0;
    ASSERT_TRUE(GetExitCodeProcess(children[i].get(), &exit_code));
    EXPECT_EQ(exit_code, 9u);
  }
  EXPECT_TRUE(EndProcessesNamed(kChildName, 1, nullptr));
}

// Ends each child it is asked about before saying yes, so that the walk
// finds a process that is gone by the time it opens it.
class EndsChildrenFirst : public ProcessEntryFilter {
 public:
  explicit EndsChildrenFirst(std::vector<OwnedHandle>* children)
      : children_(children) {}
  bool Includes(ProcessId id, ProcessId parent_id) const override {
    if (parent_id != CurrentProcessId())
      return false;
    for (OwnedHandle& child : *children_) {
      if (child.is_valid() && ProcessIdOf(child.get()) == id) {
        TerminateProcess(child.get(), 0);
        WaitForSingleObject(child.get(), 10000);
        child.Close();  // The last handle: the process object goes.
      }
    }
    return true;
  }

 private:
  std::vector<OwnedHandle>* children_;
};

TEST(ProcessUtilTest, AProcessGoneBeforeItIsOpenedHasExited) {
  std::vector<OwnedHandle> children;
  children.emplace_back(StartChild(L"0 30000"));
  const EndsChildrenFirst filter(&children);
  EXPECT_TRUE(AwaitProcessesExit(kChildName, 1000, &filter));
}

TEST(ProcessStatsTest, FiguresOfThisProcess) {
  test_support::ScopedCheckRecorder recorder;
  std::unique_ptr<ProcessStats> stats =
      ProcessStats::MakeProcessStats(CurrentProcessHandle());
  EXPECT_GT(stats->WorkingSetBytes(), 0u);
  EXPECT_GT(stats->PagefileBytes(), 0u);
  EXPECT_GE(stats->PeakPagefileBytes(), stats->PagefileBytes());
  // Wine reads private usage as 0; Windows reports it.
  stats->PrivateMemoryBytes();
  CommittedMemoryKB committed;
  stats->CommittedMemory(&committed);
  EXPECT_GT(committed.image, 0u);  // This program's own image.
  EXPECT_GT(committed.priv, 0u);
  // Wine's working-set query fails; Windows answers.
  WorkingSetBreakdownKB working_set;
  if (stats->WorkingSetBreakdown(&working_set)) {
    EXPECT_GT(working_set.priv + working_set.shareable, 0u);
  }
  IO_COUNTERS io;
  EXPECT_TRUE(stats->IoCounters(&io));
  FreeMemoryMB free;
  ASSERT_TRUE(ProcessStats::ComputeFreeMemory(&free));
  EXPECT_GT(free.total, 0u);
  EXPECT_LE(free.largest, free.total);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST(ProcessStatsTest, CpuUsageAskedTwiceAtOnceIsZeroNotACheck) {
  test_support::ScopedCheckRecorder recorder;
  std::unique_ptr<ProcessStats> stats =
      ProcessStats::MakeProcessStats(CurrentProcessHandle());
  EXPECT_EQ(stats->CpuUsagePercent(), 0);  // The first call only samples.
  // Within one tick of the system clock: no interval to measure.
  const int at_once = stats->CpuUsagePercent();
  EXPECT_GE(at_once, 0);
  // Busy for a while: a share between none and every processor.
  const DWORD start = GetTickCount();
  volatile unsigned spin = 0;
  while (GetTickCount() - start < 100)
    spin = spin + 1;
  const int busy = stats->CpuUsagePercent();
  EXPECT_GE(busy, 0);
  EXPECT_LE(busy, 100);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST(ProcessUtilTest, ProcessWideSettings) {
  EXPECT_TRUE(UseLowFragmentationHeaps());
  // Wine accepts the setting as Windows does.
  EXPECT_TRUE(TerminateOnHeapCorruption());
  const DWORD priority = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(RaiseToHighPriority());
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()),
            static_cast<DWORD>(HIGH_PRIORITY_CLASS));
  SetPriorityClass(GetCurrentProcess(), priority);
}

}  // namespace
}  // namespace base
