#include "base/timer.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

class TimerTest : public testing::Test {
 protected:
  // Clocks and the per-thread loop slot are process-wide objects.
  AtExitManager exit_manager_;
};

// An owner with a timer of each kind whose methods count their calls and
// then do what the test asks of them.
class Owner {
 public:
  void A() {
    ++a_calls;
    if (after_call)
      after_call(this);
  }
  void B() {
    ++b_calls;
    if (after_call)
      after_call(this);
  }

  SingleShotTimer<Owner> once;
  PeriodicTimer<Owner> every;
  int a_calls = 0;
  int b_calls = 0;
  std::function<void(Owner*)> after_call;
};

TEST_F(TimerTest, OnlyTheLatestStartOrResetFires) {
  struct Case {
    const char* name;
    std::function<void(Owner&)> steps;
    int a_calls;
    int b_calls;
  };
  const Case kCases[] = {
      {"stop then start",
       [](Owner& o) {
         o.once.Start(TimeDelta(), &o, &Owner::A);
         o.once.Stop();
         o.once.Start(TimeDelta(), &o, &Owner::B);
       },
       0, 1},
      {"reset orphans the first task",
       [](Owner& o) {
         o.once.Start(TimeDelta(), &o, &Owner::A);
         o.once.Reset();
       },
       1, 0},
      {"stop twice",
       [](Owner& o) {
         o.once.Start(TimeDelta(), &o, &Owner::A);
         o.once.Stop();
         o.once.Stop();
       },
       0, 0},
      {"periodic stop then start",
       [](Owner& o) {
         o.every.Start(TimeDelta(), &o, &Owner::A);
         o.every.Stop();
         o.every.Start(TimeDelta(), &o, &Owner::B);
         o.after_call = [](Owner* owner) { owner->every.Stop(); };
       },
       0, 1},
  };
  for (const Case& c : kCases) {
    MessageLoop loop;
    Owner owner;
    c.steps(owner);
    loop.RunUntilDrained();
    EXPECT_EQ(owner.a_calls, c.a_calls) << c.name;
    EXPECT_EQ(owner.b_calls, c.b_calls) << c.name;
    EXPECT_FALSE(owner.once.IsRunning()) << c.name;
    EXPECT_FALSE(owner.every.IsRunning()) << c.name;
  }
}

TEST_F(TimerTest, MethodMayRestartOrStopItsOwnTimer) {
  struct Case {
    const char* name;
    bool periodic;
    bool running_inside;  // What IsRunning reads inside the method.
  };
  const Case kCases[] = {
      // A one-shot timer reads as stopped in its method and starts itself
      // again; a periodic one has posted its next period and stops it.
      {"one-shot restarts itself", false, false},
      {"periodic stops itself", true, true},
  };
  for (const Case& c : kCases) {
    MessageLoop loop;
    Owner owner;
    std::vector<bool> running_inside;
    owner.after_call = [&](Owner* o) {
      BaseTimer_Helper& timer = c.periodic
                                    ? static_cast<BaseTimer_Helper&>(o->every)
                                    : static_cast<BaseTimer_Helper&>(o->once);
      running_inside.push_back(timer.IsRunning());
      if (c.periodic && o->a_calls == 3)
        o->every.Stop();
      if (!c.periodic && o->a_calls < 3)
        o->once.Start(TimeDelta(), o, &Owner::A);
    };
    if (c.periodic) {
      owner.every.Start(TimeDelta(), &owner, &Owner::A);
    } else {
      owner.once.Start(TimeDelta(), &owner, &Owner::A);
    }
    // With no delay every period is due at once, so one drain runs them
    // all; a timer that did not stop would never let it end.
    loop.RunUntilDrained();
    EXPECT_EQ(owner.a_calls, 3) << c.name;
    EXPECT_EQ(running_inside, std::vector<bool>(3, c.running_inside)) << c.name;
    EXPECT_FALSE(owner.once.IsRunning()) << c.name;
    EXPECT_FALSE(owner.every.IsRunning()) << c.name;
  }
}

TEST_F(TimerTest, QueuedTaskOfADestroyedOwnerTouchesNothing) {
  MessageLoop loop;
  // The owner lives in a buffer that is filled with a pattern once it is
  // destroyed: a task that wrote to its timer would change the pattern.
  alignas(Owner) unsigned char storage[sizeof(Owner)];
  Owner* const owner = new (storage) Owner;
  int calls = 0;
  owner->after_call = [&calls](Owner*) { ++calls; };
  owner->once.Start(TimeDelta(), owner, &Owner::A);
  owner->every.Start(TimeDelta(), owner, &Owner::A);
  owner->~Owner();
  std::memset(storage, 0xA5, sizeof(storage));

  loop.RunUntilDrained();

  EXPECT_EQ(calls, 0);
  for (const unsigned char byte : storage)
    ASSERT_EQ(byte, 0xA5);
}

TEST_F(TimerTest, TimerIsStoppedWhenItsLoopDeletesTheTask) {
  Owner owner;
  {
    MessageLoop loop;
    owner.once.Start(TimeDelta::FromMilliseconds(60 * 60 * 1000), &owner,
                     &Owner::A);
    owner.every.Start(TimeDelta(), &owner, &Owner::A);
    ASSERT_TRUE(owner.once.IsRunning());
  }
  EXPECT_FALSE(owner.once.IsRunning());
  EXPECT_FALSE(owner.every.IsRunning());
  EXPECT_EQ(owner.a_calls, 0);
}

TEST_F(TimerTest, DelaysBeyondWhatALoopWaitsAreHeldNotFatal) {
  constexpr int64_t kDayMs = int64_t{24} * 60 * 60 * 1000;
  struct Case {
    const char* name;
    TimeDelta delay;
    bool runs_at_once;
  };
  const Case kCases[] = {
      {"30 days", TimeDelta::FromMilliseconds(30 * kDayMs), false},
      {"2^31 ms", TimeDelta::FromMilliseconds(int64_t{1} << 31), false},
      {"2^32 + 5 ms", TimeDelta::FromMilliseconds((int64_t{1} << 32) + 5),
       false},
      {"largest",
       TimeDelta::FromMicroseconds(std::numeric_limits<int64_t>::max()), false},
      {"negative", TimeDelta::FromMilliseconds(-5), true},
      {"most negative",
       TimeDelta::FromMicroseconds(std::numeric_limits<int64_t>::min()), true},
  };
  for (const Case& c : kCases) {
    test_support::ScopedCheckRecorder recorder;
    MessageLoop loop;
    Owner owner;
    owner.once.Start(c.delay, &owner, &Owner::A);
    loop.RunUntilDrained();
    EXPECT_EQ(owner.a_calls, c.runs_at_once ? 1 : 0) << c.name;
    EXPECT_EQ(owner.once.IsRunning(), !c.runs_at_once) << c.name;
    EXPECT_EQ(recorder.messages(), std::vector<std::string>()) << c.name;
  }
}

TEST_F(TimerTest, StartWithoutALoopIsAFailedCheckAndLeavesTheTimerStopped) {
  test_support::ScopedCheckRecorder recorder;
  Owner owner;
  owner.once.Start(TimeDelta(), &owner, &Owner::A);
  EXPECT_FALSE(owner.once.IsRunning());
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: loop. "});
}

TEST_F(TimerTest, MisuseIsAFailedCheckThatChangesNothing) {
  test_support::ScopedCheckRecorder recorder;
  MessageLoop loop;
  Owner owner;
  owner.once.Reset();
  EXPECT_FALSE(owner.once.IsRunning());
  owner.once.Start(TimeDelta(), &owner, &Owner::A);
  owner.once.Start(TimeDelta(), &owner, &Owner::B);
  loop.RunUntilDrained();
  EXPECT_EQ(owner.a_calls, 1);
  EXPECT_EQ(owner.b_calls, 0);
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Check failed: IsRunning(). ",
                                      "Check failed: !IsRunning(). "}));
}

}  // namespace
}  // namespace base
