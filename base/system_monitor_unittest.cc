#include "base/system_monitor.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "base/time.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/log_capture.h"
#include "test_support/loop_thread.h"

namespace base {
namespace {

// The AC line status the fake power query reports, or kQueryFails.
constexpr int kQueryFails = -1;
constexpr int kOffline = 0;
constexpr int kOnline = 1;
constexpr int kUnknown = 255;
constexpr unsigned long kQueryError = ERROR_NOT_READY;

std::atomic<int> g_ac_line_status{kOnline};

bool FakePowerStatus(int* ac_line_status, unsigned long* error_code) {
  const int status = g_ac_line_status.load();
  if (status == kQueryFails) {
    *error_code = kQueryError;
    return false;
  }
  *ac_line_status = status;
  return true;
}

// Writes each power event it hears into a log: "C+" (power source changed,
// now battery), "C-" (now AC), "S" (suspending) and "R" (resumed).
class PowerLog : public SystemMonitor::PowerObserver {
 public:
  void PowerSourceChanged(SystemMonitor* monitor) override {
    events += monitor->OnBattery() ? "C+" : "C-";
  }
  void SystemSuspending(SystemMonitor* /*monitor*/) override { events += "S"; }
  void SystemResumed(SystemMonitor* /*monitor*/) override { events += "R"; }

  std::string events;
};

class SystemMonitorTest : public testing::Test {
 protected:
  SystemMonitorTest() {
    g_ac_line_status.store(kOnline);
    previous_source_ =
        SystemMonitor::ReplacePowerStatusSource(&FakePowerStatus);
  }
  ~SystemMonitorTest() override {
    SystemMonitor::ReplacePowerStatusSource(previous_source_);
  }

  // The monitor, the clocks and the per-thread loop slot are process-wide
  // objects.
  AtExitManager exit_manager_;
  SystemMonitor::PowerStatusSource previous_source_;
};

TEST_F(SystemMonitorTest, BroadcastsBecomeEventsOncePerChange) {
  struct Step {
    int code;
    int ac_line_status;  // What the power query answers during the step.
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* events;
    std::vector<std::string> log;
  };
  const Case kCases[] = {
      {"suspend", {{4, kOnline}}, "S", {"Power Suspending"}},
      {"suspend, suspend, resume",
       {{4, kOnline}, {4, kOnline}, {7, kOnline}},
       "SR",
       {"Power Suspending", "Power Resuming"}},
      {"automatic resume",
       {{4, kOnline}, {18, kOnline}, {18, kOnline}},
       "SR",
       {"Power Suspending", "Power Resuming"}},
      {"resume without suspend", {{7, kOnline}, {18, kOnline}}, "", {}},
      {"to battery and back",
       {{10, kOffline}, {10, kOffline}, {10, kOnline}},
       "C+C-",
       {"PowerStateChange: On battery", "PowerStateChange: Off battery"}},
      {"status change on AC", {{10, kOnline}}, "", {}},
      {"unknown line status counts as AC", {{10, kUnknown}}, "", {}},
      {"failed query reads as AC",
       {{10, kOffline}, {10, kQueryFails}},
       "C+C-",
       {"PowerStateChange: On battery", "GetSystemPowerStatus failed: 21",
        "PowerStateChange: Off battery"}},
      {"codes outside the table",
       {{8, kOffline},
        {0, kOffline},
        {5, kOffline},
        {11, kOffline},
        {-1, kOffline}},
       "",
       {}},
  };
  for (const Case& c : kCases) {
    // A monitor of its own for each case.
    AtExitManager case_exit_manager(true);
    MessageLoop loop;
    test_support::ScopedLogCapture log;
    PowerLog observer;
    SystemMonitor* const monitor = SystemMonitor::Get();
    monitor->AddObserver(&observer);
    for (const Step& step : c.steps) {
      g_ac_line_status.store(step.ac_line_status);
      monitor->HandlePowerBroadcast(step.code);
      loop.RunUntilDrained();
    }
    EXPECT_EQ(observer.events, c.events) << c.name;
    EXPECT_EQ(log.Messages(), c.log) << c.name;
    monitor->RemoveObserver(&observer);
  }
}

// Holds the wall clock still, from the moment it is made, until Advance
// moves it.
class ScopedFrozenClock {
 public:
  ScopedFrozenClock() {
    previous_ = TimeTicks::ReplaceTickSource(&FrozenTick);
    // Start from the real reading, so the clock sees no wrap of its tick,
    // and run the wall clock on the frozen tick from here.
    tick_.store(previous_());
    Time::NowResynced();
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

TEST_F(SystemMonitorTest, StartLooksAtThePowerSourceOnceAfterTheDelay) {
  struct Case {
    int ac_line_status;
    const char* events;
  };
  const Case kCases[] = {
      {kOffline, "C+"},
      {kOnline, ""},
  };
  for (const Case& c : kCases) {
    AtExitManager case_exit_manager(true);
    ScopedFrozenClock clock;
    MessageLoop loop;
    PowerLog observer;
    SystemMonitor* const monitor = SystemMonitor::Get();
    monitor->AddObserver(&observer);
    g_ac_line_status.store(c.ac_line_status);

    SystemMonitor::Start();
    clock.Advance(SystemMonitor::kBatteryCheckDelayMs - 1);
    loop.RunUntilDrained();
    EXPECT_EQ(observer.events, "") << c.ac_line_status;
    clock.Advance(1);
    loop.RunUntilDrained();
    EXPECT_EQ(observer.events, c.events) << c.ac_line_status;
    EXPECT_EQ(monitor->OnBattery(), c.ac_line_status == kOffline);
    monitor->RemoveObserver(&observer);
  }
}

TEST_F(SystemMonitorTest, StartWithoutALoopIsAFailedCheck) {
  test_support::ScopedCheckRecorder recorder;
  SystemMonitor::Start();
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: MessageLoop::current(). "});
}

TEST_F(SystemMonitorTest, PowerEventAfterTheObserversLoopIsGoneReachesNoOne) {
  test_support::ScopedCheckRecorder recorder;
  PowerLog gone_with_thread;
  PowerLog gone_with_loop;
  {
    // The clock is made on the thread, and relays power changes on its
    // loop.
    test_support::LoopThread thread("power", [&] {
      SystemMonitor::Get()->AddObserver(&gone_with_thread);
      TimeTicks::Now();
    });
  }
  // The next loop of this thread is made where its last one was, so a
  // monitor that kept the old loop would post to the new one.
  alignas(MessageLoop) unsigned char storage[sizeof(MessageLoop)];
  MessageLoop* loop = new (storage) MessageLoop;
  SystemMonitor::Get()->AddObserver(&gone_with_loop);
  loop->~MessageLoop();
  loop = new (storage) MessageLoop;

  g_ac_line_status.store(kOffline);
  SystemMonitor::Get()->HandlePowerBroadcast(4);
  SystemMonitor::Get()->HandlePowerBroadcast(10);
  loop->RunUntilDrained();
  loop->~MessageLoop();

  EXPECT_EQ(gone_with_thread.events, "");
  EXPECT_EQ(gone_with_loop.events, "");
  EXPECT_EQ(recorder.messages(), std::vector<std::string>());
}

TEST_F(SystemMonitorTest, ClockHoldsTheFinePeriodOnlyOnAC) {
  test_support::ScopedCheckRecorder recorder;
  MessageLoop loop;
  // The clock is made now, on this thread's loop.
  TimeTicks::Now();
  EXPECT_TRUE(time_internal::TickClockHoldsFinePeriod());
  struct Step {
    int ac_line_status;
    bool fine_period;
  };
  const Step kSteps[] = {
      {kOffline, false}, {kOffline, false}, {kUnknown, true},
      {kOffline, false}, {kOnline, true},
  };
  for (const Step& step : kSteps) {
    g_ac_line_status.store(step.ac_line_status);
    SystemMonitor::Get()->HandlePowerBroadcast(10);
    loop.RunUntilDrained();
    EXPECT_EQ(time_internal::TickClockHoldsFinePeriod(), step.fine_period)
        << step.ac_line_status;
  }
  EXPECT_EQ(recorder.messages(), std::vector<std::string>());
}

TEST_F(SystemMonitorTest, ClockMadeOnBatteryStartsWithoutTheFinePeriod) {
  g_ac_line_status.store(kOffline);
  SystemMonitor::Get()->HandlePowerBroadcast(10);
  EXPECT_FALSE(time_internal::TickClockHoldsFinePeriod());
}

TEST_F(SystemMonitorTest, ClockEndsCleanlyWhetherOrNotItsLoopIsGone) {
  // The loop slot is made under the test's manager, so that it outlives
  // the clock and the monitor of each case.
  MessageLoop::current();
  for (const bool loop_outlives_clock : {true, false}) {
    test_support::ScopedCheckRecorder recorder;
    std::optional<AtExitManager> clock_exit_manager(std::in_place, true);
    std::optional<MessageLoop> loop(std::in_place);
    // The clock is made now and relays power changes on this loop.
    TimeTicks::Now();
    if (!loop_outlives_clock) {
      loop.reset();
      loop.emplace();
    }
    // The clock, then the monitor, end while `loop` is this thread's loop;
    // then the loop ends, which a relay left behind would hear of.
    clock_exit_manager.reset();
    loop.reset();
    EXPECT_EQ(recorder.messages(), std::vector<std::string>())
        << "loop outlives clock: " << loop_outlives_clock;
  }
}

TEST_F(SystemMonitorTest, RealPowerQueryAgreesWithThePlatform) {
  // Wine reports AC power or an unknown line status, and so no change; a
  // machine on battery reports one.
  SystemMonitor::ReplacePowerStatusSource(previous_source_);
  SYSTEM_POWER_STATUS status;
  ASSERT_TRUE(GetSystemPowerStatus(&status));
  SystemMonitor::Get()->HandlePowerBroadcast(10);
  EXPECT_EQ(SystemMonitor::Get()->OnBattery(), status.ACLineStatus == 0);
}

}  // namespace
}  // namespace base
