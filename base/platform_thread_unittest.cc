#include "base/platform_thread.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/child_process.h"
#include "test_support/test_debugger.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ScopedCheckRecorder;

constexpr DWORD kThreadNameException = 0x406D1388;

// The stack the calling thread has reserved: every region of the
// reservation that holds this function's frame.
size_t ReservedStackSize() {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(&info, &info, sizeof(info));
  const char* const base = static_cast<const char*>(info.AllocationBase);
  const char* end = base;
  while (VirtualQuery(end, &info, sizeof(info)) == sizeof(info) &&
         info.AllocationBase == base) {
    end += info.RegionSize;
  }
  return end - base;
}

// The default stack reservation of the test program's image.
size_t ImageStackReserve() {
  const auto* image = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  return nt->OptionalHeader.SizeOfStackReserve;
}

// Records where it ran.
class RecordingBody : public PlatformThread::Body {
 public:
  void RunThread() override {
    thread_id_ = PlatformThread::CurrentId();
    stack_size_ = ReservedStackSize();
    runs_.fetch_add(1);
  }

  PlatformThreadId thread_id_ = 0;
  size_t stack_size_ = 0;
  std::atomic<int> runs_{0};
};

TEST(PlatformThreadTest, CreateRunsTheBodyOnItsOwnStackAndJoinWaits) {
  const size_t image_default = ImageStackReserve();
  ASSERT_GT(image_default, 1024u * 1024);
  struct Case {
    size_t stack_size;
    // The reservation's bounds: the system may round a small one up (to
    // the allocation granularity, or to 1 MiB under some loaders), but a
    // size given is the reservation, not merely the first commitment, so a
    // small one stays below the image's default.
    size_t min_reservation;
    size_t max_reservation;
  };
  const Case kCases[] = {
      {0, image_default, image_default},
      {256 * 1024, 256 * 1024, 1024 * 1024},
      {8 * 1024 * 1024, 8 * 1024 * 1024, 8 * 1024 * 1024},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.stack_size);
    RecordingBody body;
    ThreadHandle thread = nullptr;
    ASSERT_TRUE(PlatformThread::Create(c.stack_size, &body, &thread));
    ASSERT_NE(thread, nullptr);
    PlatformThread::Join(thread);
    EXPECT_EQ(body.runs_.load(), 1);
    EXPECT_NE(body.thread_id_, 0u);
    EXPECT_NE(body.thread_id_, PlatformThread::CurrentId());
    EXPECT_GE(body.stack_size_, c.min_reservation);
    EXPECT_LE(body.stack_size_, c.max_reservation);
  }
}

// Signals the test from its thread; lives as long as the program, because
// nobody waits for a detached thread to finish with it.
class SignallingBody : public PlatformThread::Body {
 public:
  SignallingBody() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  void RunThread() override {
    thread_id_ = PlatformThread::CurrentId();
    SetEvent(done_);
  }

  const HANDLE done_;
  std::atomic<PlatformThreadId> thread_id_{0};
};

TEST(PlatformThreadTest, StartDetachedRunsTheBody) {
  static SignallingBody body;
  ASSERT_TRUE(PlatformThread::StartDetached(64 * 1024, &body));
  ASSERT_EQ(WaitForSingleObject(body.done_, 30000), WAIT_OBJECT_0);
  EXPECT_NE(body.thread_id_.load(), 0u);
  EXPECT_NE(body.thread_id_.load(), PlatformThread::CurrentId());
}

TEST(PlatformThreadTest, JoinReportsWhatItCannotWaitFor) {
  ScopedCheckRecorder recorder;
  PlatformThread::Join(nullptr);
  // A handle without the right to wait on it: the wait fails at once.
  HANDLE no_wait =
      OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentThreadId());
  ASSERT_NE(no_wait, nullptr);
  PlatformThread::Join(no_wait);
  const std::vector<std::string> expected = {
      "Check failed: thread_handle. ",
      "Check failed: ((((DWORD )0x00000000L) ) + 0 ) == result "
      "(0 vs. 4294967295)",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

std::atomic<int> g_naming_exceptions{0};

// Counts the naming exceptions that reach the program's own handlers, and
// continues them, so that a failing test does not end the program.
LONG CALLBACK CountNamingExceptions(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != kThreadNameException)
    return EXCEPTION_CONTINUE_SEARCH;
  g_naming_exceptions.fetch_add(1);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Registers CountNamingExceptions for the holder's lifetime, after every
// handler already there.
class ScopedNamingCounter {
 public:
  ScopedNamingCounter()
      : handler_(AddVectoredExceptionHandler(0, &CountNamingExceptions)) {
    g_naming_exceptions.store(0);
  }
  ScopedNamingCounter(const ScopedNamingCounter&) = delete;
  ScopedNamingCounter& operator=(const ScopedNamingCounter&) = delete;
  ~ScopedNamingCounter() { RemoveVectoredExceptionHandler(handler_); }
  int count() const { return g_naming_exceptions.load(); }

 private:
  void* const handler_;
};

TEST(PlatformThreadTest, NameThreadRaisesNothingWithoutADebugger) {
  if (IsDebuggerPresent())
    GTEST_SKIP() << "a debugger is attached";
  const ScopedNamingCounter counter;
  PlatformThread::NameThread("kelvo test");
  EXPECT_EQ(counter.count(), 0);
}

// What a debugger saw of one naming exception.
struct NamingEvent {
  DWORD thread_id = 0;  // The thread that raised it.
  bool first_chance = false;
  DWORD parameter_count = 0;
  ULONG_PTR words[EXCEPTION_MAXIMUM_PARAMETERS] = {};
  std::string name;  // Read from the debuggee at the record's pointer.
};

// The naming record as a debugger of this architecture decodes it.
struct ThreadNameRecord {
  DWORD type;
  const char* name;
  DWORD thread_id;
  DWORD flags;
};

std::string ReadRemoteText(HANDLE process, const void* address) {
  std::string text;
  for (const char* at = static_cast<const char*>(address); text.size() < 256;
       ++at) {
    char c = 0;
    if (!ReadProcessMemory(process, at, &c, 1, nullptr) || c == 0)
      break;
    text.push_back(c);
  }
  return text;
}

// Records the naming exceptions that a debugger of `process_id` sees.
bool DebugAndWatchNaming(DWORD process_id,
                         DWORD timeout_ms,
                         std::vector<NamingEvent>* naming,
                         DWORD* exit_code) {
  return test_support::DebugUntilExit(
      process_id, timeout_ms, exit_code,
      [naming](HANDLE process, const DEBUG_EVENT& event) {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        if (record.ExceptionCode != kThreadNameException)
          return;
        NamingEvent seen;
        seen.thread_id = event.dwThreadId;
        seen.first_chance = event.u.Exception.dwFirstChance != 0;
        seen.parameter_count = record.NumberParameters;
        std::memcpy(seen.words, record.ExceptionInformation,
                    sizeof(seen.words));
        ThreadNameRecord info;
        std::memcpy(&info, seen.words, sizeof(info));
        seen.name = ReadRemoteText(process, info.name);
        naming->push_back(seen);
      });
}

TEST(PlatformThreadTest, DebuggerSeesTheNameAndTheThreadGoesOn) {
  test_support::ChildProcess child;
  ASSERT_TRUE(child.Start(test_support::FixturePath(L"thread_child.exe"),
                          L"name-thread"));
  std::vector<NamingEvent> naming;
  DWORD exit_code = test_support::kNoExitCode;
  ASSERT_TRUE(DebugAndWatchNaming(child.id(), 30000, &naming, &exit_code));
  // The child names its thread once the debugger is there, and gets past
  // the exception although the debugger passed it back: the program itself
  // continued it, so the debugger never saw it again as unhandled.
  EXPECT_EQ(exit_code, 0u);
  ASSERT_EQ(naming.size(), 1u);
  const NamingEvent& seen = naming[0];
  EXPECT_TRUE(seen.first_chance);
  // Exactly the record's words: 4 on 32-bit Windows, 3 on 64-bit.
  EXPECT_EQ(
      seen.parameter_count,
      (sizeof(ThreadNameRecord) + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR));
  ThreadNameRecord info;
  std::memcpy(&info, seen.words, sizeof(info));
  EXPECT_EQ(info.type, 0x1000u);
  EXPECT_EQ(info.thread_id, seen.thread_id);
  EXPECT_EQ(info.flags, 0u);
  EXPECT_EQ(seen.name, "kelvo worker");
  // Word for word the record, its padding zero: no stack leftovers reach
  // the debugger.
  ThreadNameRecord zeroed;
  std::memset(&zeroed, 0, sizeof(zeroed));
  zeroed.type = 0x1000;
  zeroed.name = info.name;
  zeroed.thread_id = seen.thread_id;
  ULONG_PTR expected[EXCEPTION_MAXIMUM_PARAMETERS] = {};
  std::memcpy(expected, &zeroed, sizeof(zeroed));
  for (DWORD i = 0; i < seen.parameter_count; ++i)
    EXPECT_EQ(seen.words[i], expected[i]) << "word " << i;
}

}  // namespace
}  // namespace base
