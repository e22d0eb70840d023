#include "base/tracked.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/at_exit.h"
#include "base/platform_thread.h"
#include "base/task.h"
#include "gtest/gtest.h"

namespace tracked_objects {
namespace {

using base::PlatformThread;
using base::PlatformThreadId;
using base::TimeDelta;

TEST(LocationTest, WriteAppendsPlaceAndEscapedFunctionName) {
  struct Case {
    const char* function_name;
    const char* file_name;
    int line;
    bool display_filename;
    bool display_function_name;
    const char* expected;
  };
  const Case kCases[] = {
      {"Run", "base/a.cc", 7, false, false, "line[7] "},
      {"Run", "base/a.cc", 7, true, false, "base/a.cc[7] "},
      {"Run", "base/a.cc", 1234, false, true, "line[1234] Run "},
      {"List<class Foo>::Notify", "base/list.h", 140, true, true,
       "base/list.h[140] List&lt;class Foo&gt;::Notify "},
      {"operator<<", "x.cc", -1, false, true, "line[-1] operator&lt;&lt; "},
      {"", "", 0, true, true, "[0]  "},
  };
  for (const Case& c : kCases) {
    const Location location(c.function_name, c.file_name, c.line);
    std::string output = "before ";
    location.Write(c.display_filename, c.display_function_name, &output);
    EXPECT_EQ(output, std::string("before ") + c.expected)
        << c.function_name << " " << c.display_filename
        << c.display_function_name;
  }
}

TEST(LocationTest, CurrentLocationNamesThisFunctionFileAndLine) {
  const int line = __LINE__ + 1;
  const Location here = CURRENT_LOCATION;
  EXPECT_EQ(here.line_number(), line);
  EXPECT_STREQ(here.file_name(), __FILE__);
  // The qualified name, so that reports tell one Run from another.
  const std::string function = here.function_name();
  EXPECT_NE(function.find("LocationTest_CurrentLocationNamesThisFunctionFile"
                          "AndLine_Test::TestBody"),
            std::string::npos)
      << function;
}

// Birth counters and deaths per thread, in the manner of the task-tracking
// data but with the bookkeeping in plain view. Installed while it exists.
class FakeTracking : public TrackingHooks {
 public:
  struct FakeBirths {
    Location place;
    PlatformThreadId thread;
    int births = 0;
  };
  struct Death {
    const FakeBirths* births;
    PlatformThreadId thread;
    TimeDelta lifetime;
  };

  FakeTracking() : previous_(SetTrackingHooks(this)) {}
  ~FakeTracking() override { SetTrackingHooks(previous_); }

  void set_active(bool active) { active_ = active; }
  // Threads that have no tracking record.
  void WithoutRecord(PlatformThreadId thread) {
    std::lock_guard<std::mutex> hold(mutex_);
    threads_without_record_.insert(thread);
  }

  // The births counted at `line` on `thread`'s record.
  int BirthsAt(PlatformThreadId thread, int line) {
    std::lock_guard<std::mutex> hold(mutex_);
    int births = 0;
    for (const auto& [key, record] : records_) {
      if (record->thread == thread && record->place.line_number() == line)
        births += record->births;
    }
    return births;
  }
  std::vector<Death> deaths() {
    std::lock_guard<std::mutex> hold(mutex_);
    return deaths_;
  }
  // Calls other than IsActive.
  int bookkeeping_calls() const { return bookkeeping_calls_.load(); }

  bool IsActive() override { return active_.load(); }

  ThreadData* CurrentThreadData() override {
    ++bookkeeping_calls_;
    const PlatformThreadId thread = PlatformThread::CurrentId();
    std::lock_guard<std::mutex> hold(mutex_);
    if (threads_without_record_.count(thread))
      return nullptr;
    // The thread id stands for the record; it is never 0.
    return reinterpret_cast<ThreadData*>(static_cast<uintptr_t>(thread));
  }

  Births* BirthRecordFor(ThreadData* thread_data,
                         const Location& place) override {
    ++bookkeeping_calls_;
    const auto thread =
        static_cast<PlatformThreadId>(reinterpret_cast<uintptr_t>(thread_data));
    std::lock_guard<std::mutex> hold(mutex_);
    std::unique_ptr<FakeBirths>& record = records_[{
        thread, place.line_number(), place.file_name(), place.function_name()}];
    if (!record)
      record.reset(new FakeBirths{place, thread});
    return reinterpret_cast<Births*>(record.get());
  }

  void CountBirth(Births* births) override {
    ++bookkeeping_calls_;
    std::lock_guard<std::mutex> hold(mutex_);
    ++reinterpret_cast<FakeBirths*>(births)->births;
  }

  void UncountBirth(Births* births) override {
    ++bookkeeping_calls_;
    std::lock_guard<std::mutex> hold(mutex_);
    --reinterpret_cast<FakeBirths*>(births)->births;
  }

  const Location& BirthPlace(const Births& births) override {
    ++bookkeeping_calls_;
    return reinterpret_cast<const FakeBirths&>(births).place;
  }

  void CountDeath(ThreadData* thread_data,
                  const Births& births,
                  const TimeDelta& lifetime) override {
    ++bookkeeping_calls_;
    std::lock_guard<std::mutex> hold(mutex_);
    deaths_.push_back({reinterpret_cast<const FakeBirths*>(&births),
                       static_cast<PlatformThreadId>(
                           reinterpret_cast<uintptr_t>(thread_data)),
                       lifetime});
  }

 private:
  TrackingHooks* const previous_;
  std::atomic<bool> active_{true};
  std::atomic<int> bookkeeping_calls_{0};
  std::mutex mutex_;
  std::set<PlatformThreadId> threads_without_record_;
  std::map<std::tuple<PlatformThreadId, int, const char*, const char*>,
           std::unique_ptr<FakeBirths>>
      records_;
  std::vector<Death> deaths_;
};

class NoopTask : public base::Task {
 public:
  void Run() override {}
};

const Location kPostedHere("Post", "poster.cc", 10);
const Location kPostedThere("PostAgain", "poster.cc", 20);

class TrackedBirthTest : public testing::Test {
 protected:
  // The clock behind birth times is a process-wide object.
  base::AtExitManager exit_manager_;
};

TEST_F(TrackedBirthTest, TrackingOffRecordsNothing) {
  {
    // No hooks installed at all.
    NoopTask task;
    task.RecordBirthPlace(kPostedHere);
    EXPECT_TRUE(task.HasNoBirthPlace());
  }
  FakeTracking tracking;
  tracking.set_active(false);
  {
    NoopTask task;
    EXPECT_TRUE(task.HasNoBirthPlace());
    task.RecordBirthPlace(kPostedHere);
    EXPECT_TRUE(task.HasNoBirthPlace());
  }
  EXPECT_EQ(tracking.bookkeeping_calls(), 0);
}

TEST_F(TrackedBirthTest, TaskPostedTwiceCountsOneBirthAtTheLastPlace) {
  FakeTracking tracking;
  const PlatformThreadId self = PlatformThread::CurrentId();
  auto task = std::make_unique<NoopTask>();
  EXPECT_EQ(tracking.BirthsAt(self, -1), 1);
  EXPECT_TRUE(task->HasNoBirthPlace());

  task->RecordBirthPlace(kPostedHere);
  EXPECT_FALSE(task->HasNoBirthPlace());
  task->RecordBirthPlace(kPostedThere);
  EXPECT_EQ(tracking.BirthsAt(self, -1), 0);
  EXPECT_EQ(tracking.BirthsAt(self, kPostedHere.line_number()), 0);
  EXPECT_EQ(tracking.BirthsAt(self, kPostedThere.line_number()), 1);

  task.reset();
  const std::vector<FakeTracking::Death> deaths = tracking.deaths();
  ASSERT_EQ(deaths.size(), 1u);
  EXPECT_EQ(deaths[0].births->place.line_number(), kPostedThere.line_number());
  EXPECT_EQ(deaths[0].thread, self);
  EXPECT_GE(deaths[0].lifetime, TimeDelta());
}

TEST_F(TrackedBirthTest, BirthMovesToThePosterAndDeathIsCountedWhereItDies) {
  FakeTracking tracking;
  const PlatformThreadId maker = PlatformThread::CurrentId();
  auto task = std::make_unique<NoopTask>();
  PlatformThreadId poster = 0;
  std::thread([&] {
    poster = PlatformThread::CurrentId();
    task->RecordBirthPlace(kPostedHere);
  }).join();
  EXPECT_EQ(tracking.BirthsAt(maker, -1), 0);
  EXPECT_EQ(tracking.BirthsAt(poster, kPostedHere.line_number()), 1);

  PlatformThreadId runner = 0;
  std::thread([&] {
    runner = PlatformThread::CurrentId();
    task.reset();
  }).join();
  const std::vector<FakeTracking::Death> deaths = tracking.deaths();
  ASSERT_EQ(deaths.size(), 1u);
  EXPECT_EQ(deaths[0].thread, runner);
  EXPECT_EQ(deaths[0].births->thread, poster);
}

TEST_F(TrackedBirthTest, ThreadWithoutRecordLeavesTheBirthWhereItWas) {
  FakeTracking tracking;
  const PlatformThreadId maker = PlatformThread::CurrentId();
  auto task = std::make_unique<NoopTask>();
  std::thread([&] {
    tracking.WithoutRecord(PlatformThread::CurrentId());
    task->RecordBirthPlace(kPostedHere);
    // Nor is a death counted on such a thread.
    NoopTask unrecorded;
  }).join();
  EXPECT_EQ(tracking.BirthsAt(maker, -1), 1);
  EXPECT_TRUE(task->HasNoBirthPlace());

  // Posting again forgets the placeholder birth once, not twice.
  task->RecordBirthPlace(kPostedHere);
  EXPECT_EQ(tracking.BirthsAt(maker, -1), 0);
  EXPECT_EQ(tracking.BirthsAt(maker, kPostedHere.line_number()), 1);
  task.reset();
  EXPECT_EQ(tracking.deaths().size(), 1u);
}

}  // namespace
}  // namespace tracked_objects
