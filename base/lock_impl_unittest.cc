#include "base/lock_impl.h"

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

// Tries `lock` on a thread of its own, releasing it again on success.
bool TryOnOtherThread(Lock& lock) {
  bool acquired = false;
  std::thread([&] {
    acquired = lock.Try();
    if (acquired)
      lock.Release();
  }).join();
  return acquired;
}

std::string OwnerMismatch(PlatformThreadId owner, PlatformThreadId caller) {
  return "Check failed: owning_thread_id_ == PlatformThread::CurrentId() (" +
         std::to_string(owner) + " vs. " + std::to_string(caller) + ")";
}

// Two threads each add 20000 to a counter under `lock`; a lost update
// shows in the sum.
template <typename Guard, typename LockType>
int CountOnTwoThreads(LockType& lock) {
  int counter = 0;
  auto add = [&] {
    for (int i = 0; i < 20000; ++i) {
      Guard guard(lock);
      counter = counter + 1;
    }
  };
  std::thread other(add);
  add();
  other.join();
  return counter;
}

TEST(LockTest, GuardKeepsOtherThreadsOut) {
  Lock lock;
  EXPECT_EQ(CountOnTwoThreads<LockGuard>(lock), 40000);
}

TEST(LockTest, TryFailsWhileAnotherThreadHoldsTheLock) {
  Lock lock;
  lock.Acquire();
  EXPECT_FALSE(TryOnOtherThread(lock));
  // The failed Try changed nothing: the lock is still ours (a failed check
  // fails this test).
  lock.CheckHeldByCaller();
  lock.Release();
  EXPECT_TRUE(TryOnOtherThread(lock));
}

TEST(LockTest, RecursionIsReportedOncePerLock) {
  test_support::ScopedCheckRecorder recorder;
  Lock first;
  first.Acquire();
  first.Acquire();
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: false. "});
  first.Release();
  first.Release();

  first.Acquire();
  EXPECT_TRUE(first.Try());
  first.Release();
  first.Release();
  EXPECT_EQ(recorder.messages().size(), 1u);

  // Another lock has its own report, through Try as well.
  Lock second;
  EXPECT_TRUE(second.Try());
  EXPECT_TRUE(second.Try());
  second.Release();
  second.Release();
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Check failed: false. ",
                                      "Check failed: false. "}));
}

TEST(LockTest, ReleasingTooOftenIsReportedAndLeavesTheLockUsable) {
  test_support::ScopedCheckRecorder recorder;
  Lock lock;
  { LockGuard guard(lock); }
  lock.Release();
  EXPECT_EQ(
      recorder.messages(),
      std::vector<std::string>{"Check failed: 0 <= recursion_count_shadow_. "});

  // The misuse is reported once; the lock goes on working.
  {
    LockGuard guard(lock);
    EXPECT_FALSE(TryOnOtherThread(lock));
  }
  EXPECT_TRUE(TryOnOtherThread(lock));
  EXPECT_EQ(recorder.messages().size(), 1u);
}

TEST(LockTest, CheckHeldByCallerReportsLockNotHeldByCaller) {
  const PlatformThreadId me = PlatformThread::CurrentId();
  {
    test_support::ScopedCheckRecorder recorder;
    Lock lock;
    lock.CheckHeldByCaller();
    const std::vector<std::string> expected = {
        "Check failed: recursion_count_shadow_ > 0. ",
        OwnerMismatch(0, me),
    };
    EXPECT_EQ(recorder.messages(), expected);
  }
  {
    test_support::ScopedCheckRecorder recorder;
    Lock lock;
    std::promise<PlatformThreadId> held;
    std::promise<void> checked;
    std::thread holder([&] {
      LockGuard guard(lock);
      held.set_value(PlatformThread::CurrentId());
      checked.get_future().wait();
    });
    const PlatformThreadId holder_id = held.get_future().get();
    lock.CheckHeldByCaller();
    checked.set_value();
    holder.join();
    EXPECT_EQ(recorder.messages(),
              std::vector<std::string>{OwnerMismatch(holder_id, me)});
  }
}

// Constant-initialised: usable before any constructor of this file runs.
StaticLock g_static_lock;
StaticCondition g_static_condition;
bool g_static_state_changed = false;  // Guarded by g_static_lock.

TEST(StaticLockTest, GuardKeepsOtherThreadsOut) {
  EXPECT_EQ(CountOnTwoThreads<StaticLockGuard>(g_static_lock), 40000);
}

TEST(StaticLockTest, WaitersWakeWhenTheStateChanges) {
  std::vector<std::thread> waiters;
  std::atomic<int> woken{0};
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      StaticLockGuard guard(g_static_lock);
      while (!g_static_state_changed)
        g_static_condition.Wait(g_static_lock);
      ++woken;
    });
  }
  {
    StaticLockGuard guard(g_static_lock);
    g_static_state_changed = true;
    g_static_condition.WakeAll();
  }
  for (std::thread& waiter : waiters)
    waiter.join();
  EXPECT_EQ(woken.load(), 3);
}

}  // namespace
}  // namespace base
