#include "base/tracked_objects.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/time.h"
#include "base/waitable_event.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_tasks.h"

namespace tracked_objects {
namespace {

using base::MessageLoop;
using base::PlatformThread;
using base::PlatformThreadId;
using base::TimeDelta;
using base::WaitableEvent;
using test_support::NewTask;

class TrackedObjectsTest : public testing::Test {
 protected:
  void TearDown() override {
    if (ThreadData::status() != ThreadData::UNINITIALIZED)
      ThreadData::ResetTrackingData();
  }

  // The clock and the per-thread loop slot are process-wide objects.
  base::AtExitManager exit_manager_;
};

// A thread that runs a named loop until stopped. Its record (when tracking
// is on) is made, with the loop, before the constructor returns.
class LoopThread {
 public:
  explicit LoopThread(const std::string& name) {
    thread_ = std::thread([this, name] {
      MessageLoop loop;
      loop.set_loop_thread_name(name);
      record_ = ThreadData::current();
      id_ = PlatformThread::CurrentId();
      loop_ = &loop;
      started_.Signal();
      loop.Run();
    });
    started_.Wait();
  }
  LoopThread(const LoopThread&) = delete;
  LoopThread& operator=(const LoopThread&) = delete;
  ~LoopThread() { Stop(); }

  // Runs what was posted before, then ends the thread.
  void Stop() {
    if (!thread_.joinable())
      return;
    loop_->QueueTask(CURRENT_LOCATION,
                     NewTask([] { MessageLoop::current()->Quit(); }));
    thread_.join();
  }

  PlatformThreadId id() const { return id_; }
  MessageLoop* loop() const { return loop_; }
  ThreadData* record() const { return record_; }

 private:
  WaitableEvent started_{false, false};
  MessageLoop* loop_ = nullptr;
  ThreadData* record_ = nullptr;
  PlatformThreadId id_ = 0;
  std::thread thread_;
};

// The threads that ran RecordCallingThread, for RunOnAllThreads.
std::mutex g_calls_mutex;
std::vector<PlatformThreadId> g_calls;

void RecordCallingThread() {
  std::lock_guard<std::mutex> hold(g_calls_mutex);
  g_calls.push_back(PlatformThread::CurrentId());
}

std::vector<PlatformThreadId> TakeCalls() {
  std::lock_guard<std::mutex> hold(g_calls_mutex);
  std::vector<PlatformThreadId> calls;
  calls.swap(g_calls);
  std::sort(calls.begin(), calls.end());
  return calls;
}

// The records in the list, newest first.
std::vector<ThreadData*> ListedRecords() {
  std::vector<ThreadData*> records;
  for (ThreadData* record = ThreadData::first(); record;
       record = record->next()) {
    records.push_back(record);
  }
  return records;
}

TEST(DeathDataTest, SumsLivesAndWritesTheMeanInWholeMilliseconds) {
  struct Case {
    std::vector<int64_t> lifetimes_us;
    int count;
    int64_t total_us;
    int64_t squared_ms;
    int mean_ms;
    double deviation;
    const char* text;
  };
  const Case kCases[] = {
      {{}, 0, 0, 0, 0, 0.0, ""},
      // Milliseconds are truncated, for the mean and for the squares.
      {{999}, 1, 999, 0, 0, 0.0, "(1)Life in 0ms "},
      // The mean of whole milliseconds may exceed the spread: no deviation.
      {{1500, 2500}, 2, 4000, 5, 2, 0.0, "(2)Lives 2ms/life "},
      {{1000, 3000, 5000},
       3,
       9000,
       35,
       3,
       std::sqrt(35.0 / 3 - 9),
       "(3)Lives 3ms/life "},
      {{7000}, 1, 7000, 49, 7, 0.0, "(1)Life in 7ms "},
  };
  for (const Case& c : kCases) {
    DeathData deaths;
    DeathData summed;
    for (const int64_t us : c.lifetimes_us) {
      deaths.AddLife(TimeDelta::FromMicroseconds(us));
      DeathData one;
      one.AddLife(TimeDelta::FromMicroseconds(us));
      summed.AddDeaths(one);
    }
    const std::string label = testing::PrintToString(c.lifetimes_us);
    for (const DeathData* data : {&deaths, &summed}) {
      EXPECT_EQ(data->count(), c.count) << label;
      EXPECT_EQ(data->total_life().InMicroseconds(), c.total_us) << label;
      EXPECT_EQ(data->squared_life(), c.squared_ms) << label;
      EXPECT_EQ(data->MeanLifeMs(), c.mean_ms) << label;
      EXPECT_NEAR(data->StandardDeviation(), c.deviation, 1e-9) << label;
      std::string text = "before ";
      data->Write(&text);
      EXPECT_EQ(text, std::string("before ") + c.text) << label;
    }
    deaths.Clear();
    EXPECT_EQ(deaths.count(), 0);
    EXPECT_EQ(deaths.total_life(), TimeDelta());
    EXPECT_EQ(deaths.squared_life(), 0);
  }

  // Objects still alive: a count without lifetimes.
  std::string alive;
  DeathData(5).Write(&alive);
  EXPECT_EQ(alive, "(5)Lives 0ms/life ");
}

TEST_F(TrackedObjectsTest, CurrentFollowsTheTrackingStatus) {
  {
    test_support::ScopedCheckRecorder recorder;
    ThreadData::StopTrackingOnAllThreads();
    EXPECT_EQ(recorder.messages(),
              std::vector<std::string>{
                  "Check failed: status_ == ACTIVE || status_ == SHUTDOWN. "});
  }

  // Never started: no record, and tasks count nothing.
  {
    MessageLoop loop;
    loop.QueueTask(CURRENT_LOCATION, NewTask([] {}));
    loop.RunUntilDrained();
  }
  EXPECT_EQ(ThreadData::status(), ThreadData::UNINITIALIZED);
  EXPECT_EQ(ThreadData::current(), nullptr);
  EXPECT_EQ(ThreadData::first(), nullptr);

  EXPECT_TRUE(ThreadData::SetTrackingEnabled(true));
  EXPECT_EQ(ThreadData::status(), ThreadData::ACTIVE);
  ThreadData* const main_record = ThreadData::current();
  ASSERT_NE(main_record, nullptr);
  EXPECT_EQ(ThreadData::current(), main_record);
  EXPECT_EQ(ListedRecords(), std::vector<ThreadData*>{main_record});
  {
    test_support::ScopedCheckRecorder recorder;
    ThreadData::SetTrackingEnabled(true);
    EXPECT_EQ(
        recorder.messages(),
        std::vector<std::string>{"Check failed: status_ == UNINITIALIZED. "});
    EXPECT_EQ(ThreadData::status(), ThreadData::ACTIVE);
  }

  // A loop thread takes part in the stop; it must come back.
  LoopThread worker("worker");
  ThreadData::StopTrackingOnAllThreads();
  EXPECT_EQ(ThreadData::status(), ThreadData::SHUTDOWN);
  EXPECT_FALSE(ThreadData::IsActive());
  EXPECT_EQ(ThreadData::current(), main_record);
  ThreadData* late_record = main_record;
  std::thread([&] { late_record = ThreadData::current(); }).join();
  EXPECT_EQ(late_record, nullptr);
  EXPECT_EQ(ListedRecords(),
            (std::vector<ThreadData*>{worker.record(), main_record}));

  // A record made before the stop still counts what reaches it.
  const Location here("Here", "here.cc", 1);
  Births* const births = main_record->BirthRecordFor(here);
  births->CountBirth();
  main_record->CountDeath(*births, TimeDelta::FromMilliseconds(3));
  ThreadData::DeathTable deaths;
  main_record->CopyDeathRecords(&deaths);
  ASSERT_EQ(deaths.count(births), 1u);
  EXPECT_EQ(deaths[births].count(), 1);
  EXPECT_EQ(births->birth_count(), 1);
  worker.Stop();

  ThreadData::ResetTrackingData();
  EXPECT_EQ(ThreadData::status(), ThreadData::UNINITIALIZED);
  EXPECT_EQ(ThreadData::current(), nullptr);
  EXPECT_EQ(ThreadData::first(), nullptr);

  // Started again: a fresh list, and tasks report to it.
  EXPECT_TRUE(ThreadData::SetTrackingEnabled(true));
  EXPECT_EQ(ThreadData::first(), nullptr);
  ThreadData* const restarted = ThreadData::current();
  ASSERT_NE(restarted, nullptr);
  EXPECT_EQ(ListedRecords(), std::vector<ThreadData*>{restarted});
  ThreadData::BirthTable births_after;
  restarted->CopyBirthRecords(&births_after);
  EXPECT_TRUE(births_after.empty());
  {
    MessageLoop loop;
    loop.QueueTask(here, NewTask([] {}));
    loop.RunUntilDrained();
  }
  restarted->CopyBirthRecords(&births_after);
  ASSERT_EQ(births_after.count(here), 1u);
  EXPECT_EQ(births_after[here]->birth_count(), 1);
}

TEST_F(TrackedObjectsTest, BirthsCountWherePostedAndDeathsWhereTheTaskDies) {
  // Same text, other literals: another place.
  static const char kFile[] = "poster.cc";
  static const char kFunction[] = "Post";
  static const char kFileCopy[] = "poster.cc";
  const Location kLater(kFunction, kFile, 30);
  const Location kEarlier(kFunction, kFile, 20);
  const Location kEarlierCopy(kFunction, kFileCopy, 20);
  const Location kElsewhere("Elsewhere", "other.cc", 10);

  ThreadData::SetTrackingEnabled(true);
  ThreadData* const main_record = ThreadData::current();
  LoopThread worker("worker");
  for (int i = 0; i < 3; ++i)
    worker.loop()->QueueTask(kLater, NewTask([] {}));
  worker.loop()->QueueTask(kEarlier, NewTask([] {}));
  worker.loop()->QueueTask(kEarlierCopy, NewTask([] {}));
  ThreadData* poster_record = nullptr;
  std::thread([&] {
    poster_record = ThreadData::current();
    for (int i = 0; i < 2; ++i)
      worker.loop()->QueueTask(kElsewhere, NewTask([] {}));
  }).join();
  worker.Stop();

  ThreadData::BirthTable main_births;
  main_record->CopyBirthRecords(&main_births);
  // By line; the placeholder of tasks not yet posted comes first.
  std::vector<std::pair<int, int>> lines_and_births;
  for (const auto& [place, births] : main_births) {
    lines_and_births.push_back({place.line_number(), births->birth_count()});
    EXPECT_EQ(births->birth_thread(), main_record);
  }
  ASSERT_GE(lines_and_births.size(), 4u);
  EXPECT_EQ(lines_and_births[0], std::make_pair(-1, 0));
  EXPECT_EQ(lines_and_births[1], std::make_pair(20, 1));
  EXPECT_EQ(lines_and_births[2], std::make_pair(20, 1));
  EXPECT_EQ(lines_and_births[3], std::make_pair(30, 3));
  ASSERT_NE(main_births[kEarlier], main_births[kEarlierCopy]);

  ThreadData::BirthTable poster_births;
  poster_record->CopyBirthRecords(&poster_births);
  ASSERT_EQ(poster_births.count(kElsewhere), 1u);
  EXPECT_EQ(poster_births[kElsewhere]->birth_count(), 2);

  // Every task died on the worker.
  ThreadData::DeathTable worker_deaths;
  worker.record()->CopyDeathRecords(&worker_deaths);
  struct Expected {
    const Births* births;
    int count;
  };
  const Expected kExpected[] = {
      {main_births[kLater], 3},
      {main_births[kEarlier], 1},
      {main_births[kEarlierCopy], 1},
      {poster_births[kElsewhere], 2},
  };
  for (const Expected& e : kExpected) {
    ASSERT_EQ(worker_deaths.count(e.births), 1u)
        << e.births->location().line_number();
    EXPECT_EQ(worker_deaths[e.births].count(), e.count);
    EXPECT_GE(worker_deaths[e.births].total_life(), TimeDelta());
  }
  ThreadData::DeathTable main_deaths;
  main_record->CopyDeathRecords(&main_deaths);
  EXPECT_TRUE(main_deaths.empty());
}

TEST_F(TrackedObjectsTest, RecordFollowsTheThreadsLoopsAndKeepsTheLastName) {
  ThreadData::SetTrackingEnabled(true);
  const Location here("Here", "here.cc", 1);
  struct Seen {
    MessageLoop* loop;
    std::string name;
  };
  std::vector<Seen> seen;
  std::vector<MessageLoop*> loops;
  ThreadData* record = nullptr;
  std::thread([&] {
    record = ThreadData::current();
    const auto look = [&] {
      seen.push_back({record->message_loop(), record->ThreadName()});
    };
    look();
    for (const char* name : {"first-loop", "second-loop"}) {
      {
        MessageLoop loop;
        loops.push_back(&loop);
        loop.set_loop_thread_name(name);
        look();  // Not taken up before a birth or death.
        loop.QueueTask(here, NewTask([] {}));
        look();
        // Destroyed with a task queued, whose death is counted while the
        // dying loop still is the thread's loop.
        loop.QueueTask(here, NewTask([] {}));
      }
      look();
    }
  }).join();

  ASSERT_EQ(seen.size(), 7u);
  const Seen kExpected[] = {
      {nullptr, "ThreadWithoutMessageLoop"},
      {nullptr, "ThreadWithoutMessageLoop"},
      {loops[0], "first-loop"},
      {nullptr, "first-loop"},
      {nullptr, "first-loop"},
      {loops[1], "second-loop"},
      {nullptr, "second-loop"},
  };
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].loop, kExpected[i].loop) << i;
    EXPECT_EQ(seen[i].name, kExpected[i].name) << i;
  }
  ThreadData::DeathTable deaths;
  record->CopyDeathRecords(&deaths);
  ASSERT_EQ(deaths.size(), 1u);
  EXPECT_EQ(deaths.begin()->second.count(), 4);

  // The thread has ended: its record still names it, and work for all
  // threads leaves it out.
  EXPECT_EQ(record->ThreadName(), "second-loop");
  EXPECT_EQ(record->message_loop(), nullptr);
  TakeCalls();
  ThreadData::RunOnAllThreads(&RecordCallingThread);
  EXPECT_EQ(TakeCalls(),
            std::vector<PlatformThreadId>{PlatformThread::CurrentId()});
}

TEST_F(TrackedObjectsTest, RunOnAllThreadsRunsOnceOnEveryLoopAndHere) {
  TakeCalls();
  // Never started: only here.
  ThreadData::RunOnAllThreads(&RecordCallingThread);
  EXPECT_EQ(TakeCalls(),
            std::vector<PlatformThreadId>{PlatformThread::CurrentId()});

  ThreadData::SetTrackingEnabled(true);
  // A record without a loop is left out.
  std::thread([] { ThreadData::current(); }).join();
  ThreadData::RunOnAllThreads(&RecordCallingThread);
  EXPECT_EQ(TakeCalls(),
            std::vector<PlatformThreadId>{PlatformThread::CurrentId()});

  LoopThread first("first");
  LoopThread second("second");
  LoopThread third("third");
  ThreadData::RunOnAllThreads(&RecordCallingThread);
  std::vector<PlatformThreadId> expected = {
      PlatformThread::CurrentId(), first.id(), second.id(), third.id()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(TakeCalls(), expected);
}

// Set while a thread runs RunOnAllThreads: its own copy of the function
// runs after every other copy was posted.
WaitableEvent* g_posted = nullptr;

void RecordAndSignalPosted() {
  RecordCallingThread();
  g_posted->Signal();
}

TEST_F(TrackedObjectsTest, RunOnAllThreadsReturnsWhenALoopDiesWithItsTask) {
  ThreadData::SetTrackingEnabled(true);
  WaitableEvent posted(true, false);
  g_posted = &posted;
  WaitableEvent looking(false, false);
  std::thread owner([&] {
    MessageLoop loop;
    ThreadData::current();
    looking.Signal();
    // The loop never runs: it is destroyed with the posted copy queued.
    posted.Wait();
  });
  looking.Wait();

  TakeCalls();
  WaitableEvent returned(true, false);
  PlatformThreadId caller = 0;
  std::thread runner([&] {
    caller = PlatformThread::CurrentId();
    ThreadData::RunOnAllThreads(&RecordAndSignalPosted);
    returned.Signal();
  });
  owner.join();
  const bool came_back = returned.WaitFor(TimeDelta::FromMilliseconds(20000));
  EXPECT_TRUE(came_back);
  if (!came_back) {
    runner.detach();  // Waits for ever; the process ends it.
    return;
  }
  runner.join();
  g_posted = nullptr;
  EXPECT_EQ(TakeCalls(), std::vector<PlatformThreadId>{caller});
}

}  // namespace
}  // namespace tracked_objects
