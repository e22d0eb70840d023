#include "base/thread_local_storage.h"

#include <windows.h>

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/platform_thread.h"
#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"

namespace base {
namespace {

// One destructor call seen at a thread's end: which key's destructor, with
// which value.
struct DestructorCall {
  int key;
  void* value;
  bool operator==(const DestructorCall& other) const {
    return key == other.key && value == other.value;
  }
};

void PrintTo(const DestructorCall& call, std::ostream* out) {
  *out << "{key " << call.key << ", " << call.value << "}";
}

std::mutex g_calls_mutex;
std::vector<DestructorCall> g_calls;  // Guarded by g_calls_mutex.

template <int kKey>
void RecordDestructor(void* value) {
  std::lock_guard<std::mutex> hold(g_calls_mutex);
  g_calls.push_back({kKey, value});
}

std::vector<DestructorCall> TakeCalls() {
  std::lock_guard<std::mutex> hold(g_calls_mutex);
  std::vector<DestructorCall> calls;
  calls.swap(g_calls);
  return calls;
}

// Runs `work` on a new thread of each kind and waits until the thread has
// ended, its exit callbacks included.
using ThreadRunner = void (*)(const std::function<void()>& work);

void RunOnStdThread(const std::function<void()>& work) {
  std::thread(work).join();
}

DWORD WINAPI RunFunction(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

void RunOnCreateThread(const std::function<void()>& work) {
  HANDLE thread =
      CreateThread(nullptr, 0, &RunFunction,
                   const_cast<std::function<void()>*>(&work), 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
}

class FunctionBody : public PlatformThread::Body {
 public:
  explicit FunctionBody(const std::function<void()>& work) : work_(work) {}
  void RunThread() override { work_(); }

 private:
  const std::function<void()>& work_;
};

void RunOnPlatformThread(const std::function<void()>& work) {
  FunctionBody body(work);
  ThreadHandle thread = nullptr;
  ASSERT_TRUE(PlatformThread::Create(0, &body, &thread));
  PlatformThread::Join(thread);
}

struct Runner {
  const char* name;
  ThreadRunner run;
};
const Runner kRunners[] = {
    {"std::thread", &RunOnStdThread},
    {"CreateThread", &RunOnCreateThread},
    {"PlatformThread", &RunOnPlatformThread},
};

// A key freed when the test ends: keys are never destroyed otherwise, and a
// leftover destructor would be called at the end of every later thread of
// the process that has a table.
class TestKey : public ThreadStorage::Key {
 public:
  explicit TestKey(ThreadStorage::Destructor destructor) : Key(destructor) {}
  ~TestKey() { Free(); }
};

// Runs thread_child.exe in `mode` and returns what it printed; its exit code
// goes to `exit_code`.
std::string RunThreadChild(const wchar_t* mode, DWORD* exit_code) {
  test_support::ScopedTempDir folder;
  const std::wstring output = folder.path() + L"\\out.txt";
  test_support::ChildProcess child;
  child.set_output_file(output);
  *exit_code = test_support::kNoExitCode;
  if (!child.Start(test_support::FixturePath(L"thread_child.exe"), mode) ||
      !child.WaitForExit(30000, exit_code)) {
    ADD_FAILURE() << "thread_child.exe did not run to its end";
    return std::string();
  }
  return test_support::ReadTextFile(output);
}

// Slot numbers are process-wide and never reused, so a fresh process counts
// them.
TEST(ThreadStorageTest, ProcessSlotNumbersRunFromOneTo63ThenAllocationFails) {
  std::string expected;
  for (int slot = 1; slot < kThreadLocalStorageSize; ++slot)
    expected += "slot " + std::to_string(slot) + "\n";
  // Later attempts fail the same way, and the failed key has no slot:
  // using it is reported and touches nothing.
  expected +=
      "check: Check failed: false. \n"
      "allocation failed\n"
      "check: Check failed: false. \n"
      "retry: false\n"
      "check: Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. \n"
      "check: Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. \n"
      "value: null\n";
  DWORD exit_code = 0;
  EXPECT_EQ(RunThreadChild(L"slot-numbers", &exit_code), expected);
  EXPECT_EQ(exit_code, 0u);
}

// The shared platform index is taken on first use, so only a fresh process
// can be denied it.
TEST(ThreadStorageTest, NoPlatformIndexLeavesTheKeyUninitialised) {
  // The failed key costs no slot number: the next one is still the first.
  const std::string expected =
      "check: Check failed: value != TLS_OUT_OF_INDEXES. \n"
      "initialized: false\n"
      "check: Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. \n"
      "check: Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. \n"
      "value: null\n"
      "later slot 1\n";
  DWORD exit_code = 0;
  EXPECT_EQ(RunThreadChild(L"no-index", &exit_code), expected);
  EXPECT_EQ(exit_code, 0u);
}

TEST(ThreadStorageTest, ThreadEndRunsDestructorsBySlotWithNullValues) {
  TestKey first(&RecordDestructor<1>);
  TestKey no_destructor(nullptr);
  TestKey second(&RecordDestructor<2>);
  TestKey third(&RecordDestructor<3>);
  ASSERT_LT(first.slot(), second.slot());
  ASSERT_LT(second.slot(), third.slot());
  int one = 1;
  int three = 3;
  int main_value = 0;
  // The main thread's values are not the workers'.
  first.Set(&main_value);

  for (const Runner& runner : kRunners) {
    SCOPED_TRACE(runner.name);
    TakeCalls();
    runner.run([&] {
      EXPECT_EQ(first.Get(), nullptr);
      // Set out of slot order; `second` stays null.
      third.Set(&three);
      no_destructor.Set(&one);
      first.Set(&one);
      EXPECT_EQ(first.Get(), &one);
    });
    const std::vector<DestructorCall> expected = {
        {1, &one}, {2, nullptr}, {3, &three}};
    EXPECT_EQ(TakeCalls(), expected);
  }
  EXPECT_EQ(first.Get(), &main_value);
  first.Set(nullptr);
}

TEST(ThreadStorageTest, ThreadThatTouchedNoSlotRunsNoDestructors) {
  const TestKey key(&RecordDestructor<1>);
  ASSERT_TRUE(key.initialized());
  for (const Runner& runner : kRunners) {
    SCOPED_TRACE(runner.name);
    TakeCalls();
    runner.run([] {});
    EXPECT_TRUE(TakeCalls().empty());
  }
}

TEST(ThreadStorageTest, FreedSlotIsNotReusedAndItsDestructorStops) {
  TestKey freed(&RecordDestructor<1>);
  const int freed_slot = freed.slot();
  freed.Free();
  EXPECT_FALSE(freed.initialized());
  TestKey next(&RecordDestructor<2>);
  EXPECT_GT(next.slot(), freed_slot);
  ASSERT_TRUE(freed.Initialize(&RecordDestructor<3>));
  EXPECT_GT(freed.slot(), next.slot());

  int value = 0;
  ThreadStorage::Key stale(&RecordDestructor<4>);
  stale.Free();
  TakeCalls();
  RunOnStdThread([&] {
    stale.Set(&value);
    next.Set(&value);
    freed.Set(&value);
  });
  const std::vector<DestructorCall> expected = {{2, &value}, {3, &value}};
  EXPECT_EQ(TakeCalls(), expected);
}

// Keys whose destructors store values while the thread ends.
ThreadStorage::Key* g_earlier = nullptr;
ThreadStorage::Key* g_later = nullptr;
int g_first_value = 1;
int g_marker = 2;
int g_later_value = 3;

void DestroyEarlier(void* value) {
  RecordDestructor<1>(value);
  // Leaves a marker in its own slot, whose turn has passed, and hands a
  // value to a later slot before that slot's turn.
  g_earlier->Set(&g_marker);
  g_later->Set(&g_later_value);
}

void DestroyLater(void* value) {
  RecordDestructor<2>(value);
  // The table is still there: the earlier slot reads what was stored.
  RecordDestructor<9>(g_earlier->Get());
}

TEST(ThreadStorageTest, OnePassDestroysValuesStoredIntoLaterSlotsOnly) {
  TestKey earlier(&DestroyEarlier);
  TestKey later(&DestroyLater);
  ASSERT_LT(earlier.slot(), later.slot());
  g_earlier = &earlier;
  g_later = &later;
  TakeCalls();
  RunOnStdThread([] { g_earlier->Set(&g_first_value); });
  // The marker is never handed to the earlier slot's destructor.
  const std::vector<DestructorCall> expected = {
      {1, &g_first_value},
      {2, &g_later_value},
      {9, &g_marker},
  };
  EXPECT_EQ(TakeCalls(), expected);
  g_earlier = nullptr;
  g_later = nullptr;
}

// Whether the process runs under a loader that does not report the
// process's end to the image's TLS callbacks (Wine's, as of 8.0).
bool LoaderSkipsProcessEndCallbacks() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The child program uses nothing of the library but two keys: the exit
// hook comes with them.
constexpr char kChildDestructorCalls[] = "slot 1: 7\nslot 2: null\n";

TEST(ThreadStorageTest, ProgramWithAKeyRunsItsDestructorsAtThreadEnd) {
  DWORD exit_code = 0;
  EXPECT_EQ(RunThreadChild(L"thread-destructors", &exit_code),
            kChildDestructorCalls);
  EXPECT_EQ(exit_code, 0u);
}

TEST(ThreadStorageTest, ProgramWithAKeyRunsItsDestructorsAtProcessEnd) {
  if (LoaderSkipsProcessEndCallbacks())
    GTEST_SKIP() << "Wine 8.0's loader does not call TLS callbacks at process "
                    "end";
  DWORD exit_code = 0;
  EXPECT_EQ(RunThreadChild(L"exit-destructors", &exit_code),
            kChildDestructorCalls);
  EXPECT_EQ(exit_code, 0u);
}

}  // namespace
}  // namespace base
