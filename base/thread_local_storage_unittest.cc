#include "base/thread_local_storage.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/platform_thread.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ScopedCheckRecorder;

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

TEST(ThreadStorageTest, SlotNumbersRunUpTo63ThenAllocationFails) {
  ScopedCheckRecorder recorder;
  std::vector<std::unique_ptr<ThreadStorage::Key>> keys;
  for (int i = 0; i <= kThreadLocalStorageSize; ++i) {
    keys.push_back(std::make_unique<ThreadStorage::Key>(nullptr));
    if (!keys.back()->initialized())
      break;
  }
  ASSERT_GE(keys.size(), 2u);
  const std::unique_ptr<ThreadStorage::Key> exhausted = std::move(keys.back());
  keys.pop_back();
  EXPECT_FALSE(exhausted->initialized());
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: false. "});
  for (size_t i = 1; i < keys.size(); ++i)
    EXPECT_EQ(keys[i]->slot(), keys[i - 1]->slot() + 1);
  EXPECT_GE(keys.front()->slot(), 1);
  EXPECT_EQ(keys.back()->slot(), kThreadLocalStorageSize - 1);

  // Later attempts fail the same way, and the failed key has no slot:
  // using it is reported and touches nothing.
  EXPECT_FALSE(exhausted->Initialize(nullptr));
  int value = 0;
  exhausted->Set(&value);
  EXPECT_EQ(exhausted->Get(), nullptr);
  const std::vector<std::string> expected = {
      "Check failed: false. ",
      "Check failed: false. ",
      "Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. ",
      "Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. ",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(ThreadStorageTest, FirstSlotInTheProcessIsOne) {
  // Every case runs in a process of its own, so this is the first slot.
  const ThreadStorage::Key key(nullptr);
  ASSERT_TRUE(key.initialized());
  EXPECT_EQ(key.slot(), 1);
}

TEST(ThreadStorageTest, ThreadEndRunsDestructorsBySlotWithNullValues) {
  ThreadStorage::Key first(&RecordDestructor<1>);
  ThreadStorage::Key no_destructor(nullptr);
  ThreadStorage::Key second(&RecordDestructor<2>);
  ThreadStorage::Key third(&RecordDestructor<3>);
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
}

TEST(ThreadStorageTest, ThreadThatTouchedNoSlotRunsNoDestructors) {
  const ThreadStorage::Key key(&RecordDestructor<1>);
  ASSERT_TRUE(key.initialized());
  for (const Runner& runner : kRunners) {
    SCOPED_TRACE(runner.name);
    TakeCalls();
    runner.run([] {});
    EXPECT_TRUE(TakeCalls().empty());
  }
}

TEST(ThreadStorageTest, FreedSlotIsNotReusedAndItsDestructorStops) {
  ThreadStorage::Key freed(&RecordDestructor<1>);
  const int freed_slot = freed.slot();
  freed.Free();
  EXPECT_FALSE(freed.initialized());
  ThreadStorage::Key next(&RecordDestructor<2>);
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

// Keys whose destructors store values again while the thread ends.
ThreadStorage::Key* g_earlier = nullptr;
ThreadStorage::Key* g_later = nullptr;
int g_first_value = 1;
int g_second_value = 2;
int g_later_value = 3;

void DestroyEarlier(void* value) {
  RecordDestructor<1>(value);
  // The first value's destructor hands over a second one, in its own slot
  // (already passed) and in a later slot.
  if (value == &g_first_value) {
    g_earlier->Set(&g_second_value);
    g_later->Set(&g_later_value);
  }
}

void DestroyLater(void* value) {
  RecordDestructor<2>(value);
  // The table is still there: the earlier slot reads what was stored.
  RecordDestructor<9>(g_earlier->Get());
}

TEST(ThreadStorageTest, ValuesStoredByDestructorsAreDestroyedToo) {
  ThreadStorage::Key earlier(&DestroyEarlier);
  ThreadStorage::Key later(&DestroyLater);
  g_earlier = &earlier;
  g_later = &later;
  TakeCalls();
  RunOnStdThread([] { g_earlier->Set(&g_first_value); });
  const std::vector<DestructorCall> expected = {
      {1, &g_first_value},
      {2, &g_later_value},
      {9, &g_second_value},
      {1, &g_second_value},
  };
  EXPECT_EQ(TakeCalls(), expected);
  g_earlier = nullptr;
  g_later = nullptr;
}

TEST(ThreadStorageTest, NoPlatformIndexLeavesTheKeyUninitialised) {
  // Take every platform TLS index, so that the key's shared one cannot be
  // had.
  std::vector<DWORD> taken;
  for (DWORD index; (index = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
    taken.push_back(index);
  {
    ScopedCheckRecorder recorder;
    ThreadStorage::Key key(&RecordDestructor<1>);
    EXPECT_FALSE(key.initialized());
    key.Set(&taken);
    EXPECT_EQ(key.Get(), nullptr);
    const std::vector<std::string> expected = {
        "Check failed: value != TLS_OUT_OF_INDEXES. ",
        "Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. ",
        "Check failed: slot_ >= 0 && slot_ < kThreadLocalStorageSize. ",
    };
    EXPECT_EQ(recorder.messages(), expected);
  }
  for (DWORD index : taken)
    TlsFree(index);
  const ThreadStorage::Key key(nullptr);
  EXPECT_TRUE(key.initialized());
}

// Whether the process runs under a loader that does not report the
// process's end to the image's TLS callbacks (Wine's, as of 8.0).
bool LoaderSkipsProcessEndCallbacks() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The child program uses nothing of the library but two keys: the exit
// hook comes with them.
TEST(ThreadStorageTest,
     ProgramWithAKeyRunsItsDestructorsAtThreadAndProcessEnd) {
  struct Case {
    const wchar_t* mode;
    bool at_process_end;
  };
  const Case kCases[] = {
      {L"thread-destructors", false},
      {L"exit-destructors", true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.mode)));
    if (c.at_process_end && LoaderSkipsProcessEndCallbacks())
      continue;
    test_support::ScopedTempDir folder;
    const std::wstring output = folder.path() + L"\\out.txt";
    test_support::ChildProcess child;
    child.set_output_file(output);
    ASSERT_TRUE(
        child.Start(test_support::FixturePath(L"thread_child.exe"), c.mode));
    DWORD exit_code = test_support::kNoExitCode;
    ASSERT_TRUE(child.WaitForExit(30000, &exit_code));
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(test_support::ReadTextFile(output), "slot 1: 7\nslot 2: null\n");
  }
}

}  // namespace
}  // namespace base
