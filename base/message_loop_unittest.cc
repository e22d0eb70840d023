#include "base/message_loop.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/histogram.h"
#include "base/message_loop_win.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"
#include "test_support/test_tasks.h"

namespace base {
namespace {

using test_support::FunctionTask;
using test_support::NewTask;

class MessageLoopTest : public testing::Test {
 protected:
  // Clocks and the per-thread loop slot are process-wide objects.
  AtExitManager exit_manager_;
};

// Holds the wall clock still, from the moment it is made, until Advance
// moves it: every delayed task posted meanwhile with the same delay gets the
// same run time.
class ScopedFrozenClock {
 public:
  ScopedFrozenClock() {
    previous_ = TimeTicks::ReplaceTickSource(&FrozenTick);
    // Start from the real reading, so the clock sees no wrap of its tick.
    tick_.store(previous_());
  }
  ScopedFrozenClock(const ScopedFrozenClock&) = delete;
  ScopedFrozenClock& operator=(const ScopedFrozenClock&) = delete;
  ~ScopedFrozenClock() { TimeTicks::ReplaceTickSource(previous_); }

  void Advance(uint32_t ms) { tick_.fetch_add(ms); }

 private:
  static uint32_t FrozenTick() { return tick_.load(); }

  static inline std::atomic<uint32_t> tick_{0};
  TimeTicks::TickFunctionType previous_;
};

// A loop whose delayed-task numbering starts where a test wants it.
class SerialLoop : public MessageLoop {
 public:
  explicit SerialLoop(int32_t first_serial) { set_next_serial(first_serial); }
};

TEST_F(MessageLoopTest, DelayedTasksRunByTimeThenInPostingOrderAcrossTheWrap) {
  ScopedFrozenClock clock;
  // The delayed tasks get the numbers MAX-1, MAX, MIN, MIN+1, MIN+2.
  SerialLoop loop(std::numeric_limits<int32_t>::max() - 1);
  std::string order;
  auto record = [&order](char name) {
    return NewTask([&order, name] { order += name; });
  };

  for (const char name : {'a', 'b', 'c', 'd'})
    loop.QueueDelayedTask(CURRENT_LOCATION, record(name), 5);
  // Posted later, due earlier.
  loop.QueueDelayedTask(CURRENT_LOCATION, record('e'), 2);
  // Posted last, but immediate: it runs before the delayed ones that are
  // already due.
  loop.QueueTask(CURRENT_LOCATION, record('i'));

  clock.Advance(10);
  loop.RunUntilDrained();
  EXPECT_EQ(order, "ieabcd");
}

TEST_F(MessageLoopTest, DelayedTaskQueueOrdersByTimeThenByWrappingSerial) {
  struct Case {
    int64_t time_a;
    int32_t serial_a;
    int64_t time_b;
    int32_t serial_b;
    bool a_runs_first;
  };
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const Case kCases[] = {
      {100, 7, 200, 1, true},
      {200, 1, 100, 7, false},
      {100, 1, 100, 2, true},
      {100, 2, 100, 1, false},
      {100, kMax, 100, kMin, true},
      {100, kMin, 100, kMax, false},
      {100, kMax - 5, 100, kMin + 5, true},
  };
  for (const Case& c : kCases) {
    MessageLoop::PendingTask a(nullptr, true);
    a.run_at = Time::FromInternalValue(c.time_a);
    a.serial = c.serial_a;
    MessageLoop::PendingTask b(nullptr, true);
    b.run_at = Time::FromInternalValue(c.time_b);
    b.serial = c.serial_b;
    // The queue's top is its greatest element: the one that runs first.
    EXPECT_EQ(b < a, c.a_runs_first) << c.time_a << "/" << c.serial_a << " vs "
                                     << c.time_b << "/" << c.serial_b;
    EXPECT_FALSE(a < b && b < a);
  }
}

TEST_F(MessageLoopTest, NonNestableTaskWaitsForTheOuterRunToBeIdle) {
  MessageLoop loop;
  std::string order;
  loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                   order += "<";
                   loop.QueueNonNestableTask(CURRENT_LOCATION,
                                             NewTask([&] { order += "n"; }));
                   loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                                    order += "i";
                                    // Posted from inside the nested run, and
                                    // run by it.
                                    loop.QueueTask(
                                        CURRENT_LOCATION,
                                        NewTask([&] { order += "j"; }));
                                  }));
                   loop.SetNestableTasksAllowed(true);
                   loop.RunUntilDrained();
                   order += ">";
                 }));
  loop.QueueTask(CURRENT_LOCATION, NewTask([&] { order += "o"; }));

  loop.RunUntilDrained();
  // The nested run runs the nestable tasks in the order they were posted,
  // "o" first, and what they post; "n" waits for the outermost run.
  EXPECT_EQ(order, "<oij>n");
}

TEST_F(MessageLoopTest, NestedRunRunsNoTasksUnlessTheTaskAllowsThem) {
  MessageLoop loop;
  std::string order;
  loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                   loop.QueueTask(CURRENT_LOCATION,
                                  NewTask([&] { order += "i"; }));
                   EXPECT_FALSE(loop.NestableTasksAllowed());
                   loop.RunUntilDrained();
                   order += "|";
                 }));
  loop.RunUntilDrained();
  EXPECT_EQ(order, "|i");
  EXPECT_TRUE(loop.NestableTasksAllowed());
}

// Counts how often a producer's tasks arrive out of their posting order.
struct ProducerRecord {
  int next = 0;
  int out_of_order = 0;
};

class SequenceTask : public Task {
 public:
  SequenceTask(ProducerRecord* record, int number, int* runs, int* deletions)
      : record_(record), number_(number), runs_(runs), deletions_(deletions) {}
  ~SequenceTask() override { ++*deletions_; }

  void Run() override {
    if (number_ != record_->next)
      ++record_->out_of_order;
    record_->next = number_ + 1;
    ++*runs_;
  }

 private:
  ProducerRecord* const record_;
  const int number_;
  int* const runs_;       // Touched on the loop's thread only.
  int* const deletions_;  // Likewise.
};

class Producer : public PlatformThread::Body {
 public:
  Producer(MessageLoop* loop,
           ProducerRecord* record,
           int count,
           int* runs,
           int* deletions,
           int* finished_producers,
           int producers)
      : loop_(loop),
        record_(record),
        count_(count),
        runs_(runs),
        deletions_(deletions),
        finished_producers_(finished_producers),
        producers_(producers) {}

  void RunThread() override {
    for (int i = 0; i < count_; ++i) {
      loop_->QueueTask(CURRENT_LOCATION,
                       new SequenceTask(record_, i, runs_, deletions_));
    }
    int* const finished = finished_producers_;
    const int producers = producers_;
    loop_->QueueTask(CURRENT_LOCATION, NewTask([finished, producers] {
                       if (++*finished == producers)
                         MessageLoop::current()->Quit();
                     }));
  }

 private:
  MessageLoop* const loop_;
  ProducerRecord* const record_;
  const int count_;
  int* const runs_;
  int* const deletions_;
  int* const finished_producers_;
  const int producers_;
};

TEST_F(MessageLoopTest, ManyProducersEachTaskRunsOnceInItsProducersOrder) {
  constexpr int kProducers = 8;
  constexpr int kTasksEach = 100000;
  int runs = 0;
  int deletions = 0;
  int finished = 0;
  ProducerRecord records[kProducers];
  {
    MessageLoop loop;
    std::vector<std::unique_ptr<Producer>> producers;
    std::vector<ThreadHandle> threads;
    for (ProducerRecord& record : records) {
      producers.push_back(std::make_unique<Producer>(&loop, &record, kTasksEach,
                                                     &runs, &deletions,
                                                     &finished, kProducers));
      ThreadHandle thread = nullptr;
      ASSERT_TRUE(PlatformThread::Create(0, producers.back().get(), &thread));
      threads.push_back(thread);
    }
    loop.Run();
    for (ThreadHandle thread : threads)
      PlatformThread::Join(thread);

    EXPECT_EQ(runs, kProducers * kTasksEach);
    EXPECT_EQ(deletions, kProducers * kTasksEach);
  }
  // Nothing was left for the loop's destruction.
  EXPECT_EQ(deletions, kProducers * kTasksEach);
  for (const ProducerRecord& record : records) {
    EXPECT_EQ(record.next, kTasksEach);
    EXPECT_EQ(record.out_of_order, 0);
  }
}

// Bounces a task between two loops on two threads: every hop must wake a
// loop that is asleep or just going to sleep, so a lost wake-up hangs the
// test.
class PingPongThread : public PlatformThread::Body {
 public:
  void RunThread() override {
    MessageLoop loop;
    loop_.store(&loop);
    started_.Signal();
    loop.Run();
    loop_.store(nullptr);
  }

  MessageLoop* WaitForLoop() {
    started_.Wait();
    return loop_.load();
  }

 private:
  WaitableEvent started_{false, false};
  std::atomic<MessageLoop*> loop_{nullptr};
};

void Bounce(MessageLoop* here, MessageLoop* there, int hops_left, int* hops) {
  ++*hops;
  if (hops_left == 0) {
    there->QueueTask(CURRENT_LOCATION,
                     NewTask([] { MessageLoop::current()->Quit(); }));
    here->Quit();
    return;
  }
  there->QueueTask(CURRENT_LOCATION,
                   NewTask([=] { Bounce(there, here, hops_left - 1, hops); }));
}

TEST_F(MessageLoopTest, TaskBouncedBetweenTwoThreadsNeverLosesAWakeup) {
  constexpr int kHops = 2000;
  MessageLoop loop;
  PingPongThread other;
  ThreadHandle thread = nullptr;
  ASSERT_TRUE(PlatformThread::Create(0, &other, &thread));
  MessageLoop* const other_loop = other.WaitForLoop();

  int hops = 0;  // Touched by one hop at a time.
  loop.QueueTask(CURRENT_LOCATION,
                 NewTask([&] { Bounce(&loop, other_loop, kHops, &hops); }));
  loop.Run();
  PlatformThread::Join(thread);
  EXPECT_EQ(hops, kHops + 1);
}

// Notes how many tasks were deleted when it heard that the loop goes.
class TeardownWitness : public MessageLoop::DestructionObserver {
 public:
  explicit TeardownWitness(const std::string* deleted) : deleted_(deleted) {}
  void LoopWillBeDestroyed() override {
    deletions_seen = static_cast<int>(deleted_->size());
  }

  int deletions_seen = -1;

 private:
  const std::string* const deleted_;
};

TEST_F(MessageLoopTest, DestructionDeletesReadyDelayedAndDeferredTasks) {
  std::string deleted;
  auto probe = [&deleted](char name) {
    return new FunctionTask(nullptr, [&deleted, name] { deleted += name; });
  };
  TeardownWitness witness(&deleted);
  {
    // A UI loop: a quit message ends both runs before the outer one is
    // idle, which leaves the non-nestable task in the deferred queue.
    MessageLoopForUI loop;
    loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                     loop.QueueNonNestableTask(CURRENT_LOCATION, probe('n'));
                     loop.QueueTask(CURRENT_LOCATION,
                                    NewTask([] { PostQuitMessage(0); }));
                     loop.SetNestableTasksAllowed(true);
                     loop.Run();
                   }));
    loop.Run();
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    ASSERT_EQ(deleted, "");

    loop.QueueDelayedTask(CURRENT_LOCATION, probe('2'), 20000);
    loop.QueueDelayedTask(CURRENT_LOCATION, probe('1'), 10000);
    loop.QueueTask(CURRENT_LOCATION, probe('r'));
    // Its deletion posts one more task, which is deleted in the next pass.
    MessageLoop* const loop_pointer = &loop;
    loop.QueueTask(CURRENT_LOCATION,
                   new FunctionTask(nullptr, [&deleted, loop_pointer, probe] {
                     deleted += 'p';
                     loop_pointer->QueueTask(CURRENT_LOCATION, probe('c'));
                   }));

    loop.AddDestructionObserver(&witness);
  }
  // Observers hear first. Then the deferred task goes, then the posted
  // ones: the immediate ones at once, the delayed ones after them, earliest
  // first; then what a deletion posted.
  EXPECT_EQ(witness.deletions_seen, 0);
  EXPECT_EQ(deleted, "nrp12c");
}

TEST_F(MessageLoopTest, MisuseIsAFailedCheck) {
  MessageLoop loop;
  test_support::ScopedCheckRecorder recorder;

  loop.Quit();
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: false. Must be inside "
                                     "Run to call Quit"});

  bool ran = false;
  loop.QueueDelayedTask(CURRENT_LOCATION, NewTask([&] { ran = true; }), -1);
  ASSERT_EQ(recorder.messages().size(), 2U);
  EXPECT_EQ(recorder.messages()[1],
            "Check failed: delay_ms == 0. delay should not be negative");
  // Run as an immediate task.
  loop.RunUntilDrained();
  EXPECT_TRUE(ran);

  {
    MessageLoop second;
    ASSERT_GE(recorder.messages().size(), 3U);
    EXPECT_EQ(recorder.messages()[2],
              "Check failed: !current(). should only have one message loop "
              "per thread");
  }
  // The thread's loop is still the first one.
  EXPECT_EQ(MessageLoop::current(), &loop);
}

TEST_F(MessageLoopTest, EventHistogramCountsTasksWhenHistogramsAreOn) {
  struct Case {
    bool enabled;
    const char* thread_name;
    int task_runs;  // -1: no histogram.
  };
  const Case kCases[] = {
      {true, "worker", 3},
      {false, "worker", -1},
  };
  HistogramRegistry registry;
  for (const Case& c : kCases) {
    MessageLoop::EnableLoopHistograms(c.enabled);
    MessageLoop loop;
    loop.set_loop_thread_name(c.thread_name);
    for (int i = 0; i < 3; ++i)
      loop.QueueTask(CURRENT_LOCATION, NewTask(nullptr));
    loop.RunUntilDrained();
    MessageLoop::EnableLoopHistograms(false);

    Histogram* const histogram = HistogramRegistry::FindHistogram(
        std::string("MsgLoop:") + c.thread_name);
    if (c.task_runs < 0) {
      EXPECT_FALSE(histogram);
      continue;
    }
    ASSERT_TRUE(histogram);
    Histogram::SampleCounts samples;
    histogram->CopySamples(&samples);
    EXPECT_EQ(samples.TotalCount(), c.task_runs);
    EXPECT_EQ(samples.sum(), c.task_runs * MessageLoop::kTaskRunEvent);
    EXPECT_TRUE(histogram->flags() & Histogram::kHexBoundsFlag);
    std::string text;
    histogram->WriteText(false, "\n", &text);
    EXPECT_NE(text.find("kTaskRunEvent"), std::string::npos) << text;
  }

  // A loop whose thread has no name cannot name its histogram.
  test_support::ScopedCheckRecorder recorder;
  MessageLoop::EnableLoopHistograms(true);
  {
    MessageLoop loop;
    loop.RunUntilDrained();
  }
  MessageLoop::EnableLoopHistograms(false);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: !thread_name_.empty(). "});
}

TEST(MessageLoopExceptionTest, RunRestoresTheFilterItBeganWith) {
  // loop_filter_child installs a filter, and its task installs another and
  // raises an exception that nothing handles; each filter ends the process
  // with its own code.
  struct Case {
    const wchar_t* mode;
    DWORD filter_exit_code;
  };
  const Case kCases[] = {
      // Left alone, the task's filter sees the exception.
      {L"keep", 62},
      // Restored: the filter of the start of the run.
      {L"restore", 61},
      // A nested run restores the filter of its own start.
      {L"nested", 63},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(
        test_support::RunToExit(
            test_support::FixturePath(L"loop_filter_child.exe"), c.mode, 60000),
        c.filter_exit_code)
        << c.mode;
  }
}

}  // namespace
}  // namespace base
