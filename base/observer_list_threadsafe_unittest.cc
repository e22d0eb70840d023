#include "base/observer_list_threadsafe.h"

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/histogram.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/loop_thread.h"

// ---------------------------------------------------------------------------
// Allocation recycling for this test program. While armed, blocks freed
// with their size are kept, and an allocation of a kept size gets the block
// freed last with that size. A new object so takes the address of the old
// one it replaces every time, not just as often as the heap happens to
// reuse it. Armed on the test's thread while no other thread allocates.

namespace {

struct Recycler {
  bool armed = false;
  static constexpr int kMaxKept = 16;
  void* blocks[kMaxKept] = {};
  size_t sizes[kMaxKept] = {};
  int kept = 0;
  int handed_out = 0;
};

Recycler g_recycler;

void* TakeKept(size_t size) {
  for (int i = g_recycler.kept - 1; i >= 0; --i) {
    if (g_recycler.sizes[i] != size)
      continue;
    void* const block = g_recycler.blocks[i];
    for (int j = i + 1; j < g_recycler.kept; ++j) {
      g_recycler.blocks[j - 1] = g_recycler.blocks[j];
      g_recycler.sizes[j - 1] = g_recycler.sizes[j];
    }
    --g_recycler.kept;
    ++g_recycler.handed_out;
    return block;
  }
  return nullptr;
}

}  // namespace

// These replace the program's allocator, so freeing what they allocated is
// no mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
  if (g_recycler.armed) {
    if (void* const block = TakeKept(size))
      return block;
  }
  if (void* const block = std::malloc(size ? size : 1))
    return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
  std::free(block);
}

void operator delete(void* block, size_t size) noexcept {
  if (block && g_recycler.armed && g_recycler.kept < Recycler::kMaxKept) {
    g_recycler.blocks[g_recycler.kept] = block;
    g_recycler.sizes[g_recycler.kept] = size;
    ++g_recycler.kept;
    return;
  }
  std::free(block);
}

#pragma GCC diagnostic pop

namespace base {
namespace {

// Keeps freed blocks for reuse while it exists; see above.
class ScopedAddressRecycling {
 public:
  ScopedAddressRecycling() { g_recycler = Recycler{true}; }
  ScopedAddressRecycling(const ScopedAddressRecycling&) = delete;
  ScopedAddressRecycling& operator=(const ScopedAddressRecycling&) = delete;
  ~ScopedAddressRecycling() {
    g_recycler.armed = false;
    while (g_recycler.kept > 0)
      std::free(g_recycler.blocks[--g_recycler.kept]);
  }

  int kept() const { return g_recycler.kept; }
  int handed_out() const { return g_recycler.handed_out; }
};

class Observer {
 public:
  virtual ~Observer() = default;
  virtual void OnValue(int value) = 0;
};

// Records the values it is told, and the thread it is told on, into a log
// shared by the observers of one thread, then does what the test asks.
class Recorder : public Observer {
 public:
  Recorder(char name, std::string* log) : name_(name), log_(log) {}

  void OnValue(int value) override {
    *log_ += name_;
    *log_ += std::to_string(value);
    threads.push_back(PlatformThread::CurrentId());
    if (after_call)
      after_call(this);
  }

  std::vector<PlatformThreadId> threads;
  std::function<void(Recorder*)> after_call;

 private:
  const char name_;
  std::string* const log_;
};

using List = ObserverListThreadSafe<Observer>;

class ObserverListThreadSafeTest : public testing::Test {
 protected:
  // Clocks and the per-thread loop slot are process-wide objects.
  AtExitManager exit_manager_;
  shared_ref<List> list_{new List};
};

TEST_F(ObserverListThreadSafeTest, ObserversMayAllRemoveThemselvesInOneNotify) {
  test_support::ScopedCheckRecorder recorder;
  MessageLoop loop;
  std::string log;
  Recorder a('a', &log);
  Recorder b('b', &log);
  Recorder c('c', &log);
  for (Recorder* observer : {&a, &b}) {
    observer->after_call = [this](Recorder* self) {
      list_->RemoveObserver(self);
    };
    list_->AddObserver(observer);
  }

  list_->Notify(&Observer::OnValue, 1);
  loop.RunUntilDrained();
  // Nobody is left to tell; a newcomer has a list of its own.
  list_->Notify(&Observer::OnValue, 2);
  loop.RunUntilDrained();
  list_->AddObserver(&c);
  list_->Notify(&Observer::OnValue, 3);
  loop.RunUntilDrained();

  EXPECT_EQ(log, "a1b1c3");
  EXPECT_EQ(recorder.messages(), std::vector<std::string>());
}

TEST_F(ObserverListThreadSafeTest, RemovingAnUnknownObserverKeepsTheOthers) {
  MessageLoop loop;
  std::string log;
  Recorder a('a', &log);
  Recorder stranger('s', &log);
  list_->AddObserver(&a);
  list_->RemoveObserver(&stranger);
  list_->Notify(&Observer::OnValue, 1);
  loop.RunUntilDrained();
  EXPECT_EQ(log, "a1");
}

TEST_F(ObserverListThreadSafeTest,
       RemovingOnALoopWithoutObserversIsAFailedCheck) {
  test_support::ScopedCheckRecorder recorder;
  MessageLoop loop;
  std::string log;
  Recorder a('a', &log);
  list_->RemoveObserver(&a);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: false. RemoveObserver "
                                     "called on for unknown thread"});
}

TEST_F(ObserverListThreadSafeTest, NotifyReachesOnlyTheListItWasPostedFor) {
  // The observer leaves and comes back between Notify and the task: the
  // loop's list is replaced, and the old notification must not reach the
  // new list, even where that list has the address of the old one.
  for (const bool same_address : {false, true}) {
    MessageLoop loop;
    std::string log;
    Recorder a('a', &log);
    list_->AddObserver(&a);
    list_->Notify(&Observer::OnValue, 1);
    if (same_address) {
      ScopedAddressRecycling recycling;
      list_->RemoveObserver(&a);
      const int freed = recycling.kept();
      list_->AddObserver(&a);
      // The list, its entry and its array all came back where they were.
      ASSERT_GE(freed, 3);
      ASSERT_EQ(recycling.kept(), 0);
      ASSERT_EQ(recycling.handed_out(), freed);
    } else {
      list_->RemoveObserver(&a);
      list_->AddObserver(&a);
    }
    list_->Notify(&Observer::OnValue, 2);
    loop.RunUntilDrained();
    EXPECT_EQ(log, "a2") << "same address: " << same_address;
    list_->RemoveObserver(&a);
  }
}

// The number of tasks the loop of the thread named `thread_name` has run,
// from its loop histogram.
int TasksRun(const std::string& thread_name) {
  Histogram* const histogram =
      HistogramRegistry::FindHistogram("MsgLoop:" + thread_name);
  if (!histogram)
    return 0;
  Histogram::SampleCounts samples;
  histogram->CopySamples(&samples);
  return static_cast<int>(samples.TotalCount());
}

TEST_F(ObserverListThreadSafeTest, EachLoopGetsOneTaskPerNotify) {
  HistogramRegistry registry;
  MessageLoop::EnableLoopHistograms(true);
  MessageLoop loop;
  loop.set_loop_thread_name("main");
  test_support::LoopThread other("other");
  std::string main_log;
  std::string other_log;
  Recorder a('a', &main_log);
  Recorder b('b', &main_log);
  Recorder c('c', &other_log);
  list_->AddObserver(&a);
  list_->AddObserver(&b);
  other.RunAndWait([&] { list_->AddObserver(&c); });
  const int main_before = TasksRun("main");
  const int other_before = TasksRun("other");

  list_->Notify(&Observer::OnValue, 1);
  list_->Notify(&Observer::OnValue, 2);
  loop.RunUntilDrained();
  other.RunAndWait([] {});

  // The waiting task is one of the other loop's.
  EXPECT_EQ(TasksRun("main") - main_before, 2);
  EXPECT_EQ(TasksRun("other") - other_before, 2 + 1);
  EXPECT_EQ(main_log, "a1b1a2b2");
  EXPECT_EQ(other_log, "c1c2");
  EXPECT_EQ(a.threads,
            std::vector<PlatformThreadId>(2, PlatformThread::CurrentId()));
  ASSERT_EQ(c.threads.size(), 2U);
  EXPECT_NE(c.threads[0], PlatformThread::CurrentId());
  other.RunAndWait([&] { list_->RemoveObserver(&c); });
  MessageLoop::EnableLoopHistograms(false);
}

// Runs `work` on a new thread that has no message loop, and waits for it.
void RunOnThreadWithoutLoop(std::function<void()> work) {
  class Body : public PlatformThread::Body {
   public:
    explicit Body(std::function<void()> work) : work_(std::move(work)) {}
    void RunThread() override { work_(); }

   private:
    std::function<void()> work_;
  } body(std::move(work));
  ThreadHandle thread = nullptr;
  ASSERT_TRUE(PlatformThread::Create(0, &body, &thread));
  PlatformThread::Join(thread);
}

TEST_F(ObserverListThreadSafeTest, ThreadWithoutLoopRegistersNothing) {
  test_support::ScopedCheckRecorder recorder;
  MessageLoop loop;
  std::string log;
  Recorder a('a', &log);
  RunOnThreadWithoutLoop([&] {
    list_->AddObserver(&a);
    list_->Notify(&Observer::OnValue, 1);
    list_->RemoveObserver(&a);
  });
  list_->Notify(&Observer::OnValue, 2);
  loop.RunUntilDrained();
  EXPECT_EQ(log, "");
  EXPECT_EQ(recorder.messages(), std::vector<std::string>());
}

TEST_F(ObserverListThreadSafeTest, DestroyedLoopLeavesNothingBehind) {
  // The second loop is made where the first one was, so a list that kept
  // the first loop's entry would take the second for it.
  alignas(MessageLoop) unsigned char storage[sizeof(MessageLoop)];
  std::string log;
  Recorder a('a', &log);
  MessageLoop* first = new (storage) MessageLoop;
  list_->AddObserver(&a);
  // Pending when the loop goes: deleted with it, unrun.
  list_->Notify(&Observer::OnValue, 1);
  first->~MessageLoop();

  MessageLoop* second = new (storage) MessageLoop;
  list_->Notify(&Observer::OnValue, 2);
  second->RunUntilDrained();
  EXPECT_EQ(log, "");
  // The loop's observers are gone: a newcomer starts a list of its own.
  list_->AddObserver(&a);
  list_->Notify(&Observer::OnValue, 3);
  second->RunUntilDrained();
  EXPECT_EQ(log, "a3");
  second->~MessageLoop();
}

}  // namespace
}  // namespace base
