#include "base/waitable_event.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/time.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

using test_support::ScopedCheckRecorder;

constexpr int64_t kMillisecondsPerDay = 24 * 60 * 60 * 1000;

TEST(WaitableEventTest, AutoResetSignalReleasesExactlyOneOfTwoWaiters) {
  WaitableEvent event(false, false);
  WaitableEvent woke(true, false);
  std::atomic<int> released{0};
  auto waiter = [&] {
    if (event.Wait())
      released.fetch_add(1);
    woke.Signal();
  };
  std::thread first(waiter);
  std::thread second(waiter);

  event.Signal();
  ASSERT_TRUE(woke.WaitFor(TimeDelta::FromMilliseconds(30000)));
  // The other waiter stays blocked: give it time to run if it were free.
  EXPECT_FALSE(event.WaitFor(TimeDelta::FromMilliseconds(100)));
  EXPECT_EQ(released.load(), 1);

  event.Signal();
  first.join();
  second.join();
  EXPECT_EQ(released.load(), 2);

  // IsSet consumes an automatic signal.
  event.Signal();
  EXPECT_TRUE(event.IsSet());
  EXPECT_FALSE(event.IsSet());
}

TEST(WaitableEventTest, ManualResetStaysSignalledUntilReset) {
  WaitableEvent event(true, true);
  WaitableEvent* events[] = {&event};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(event.Wait());
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.WaitFor(TimeDelta::FromMilliseconds(1)));
    EXPECT_EQ(WaitableEvent::WaitMany(events, 1), 0u);
  }
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  event.Signal();
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.IsSet());
}

TEST(WaitableEventTest, TimedWaitOfAnyLengthOnASignalledEventReturnsAtOnce) {
  struct Case {
    const char* name;
    TimeDelta max_time;
  };
  const Case kCases[] = {
      {"zero", TimeDelta()},
      {"1 us", TimeDelta::FromMicroseconds(1)},
      // 2^32 ms + 5 ms: its low 32 bits would be a 5 ms wait.
      {"2^32 ms + 5 ms", TimeDelta::FromMilliseconds((int64_t{1} << 32) + 5)},
      {"50 days", TimeDelta::FromMilliseconds(50 * kMillisecondsPerDay)},
      {"largest", TimeDelta::FromMicroseconds(INT64_MAX)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WaitableEvent event(true, true);
    const DWORD start = GetTickCount();
    EXPECT_TRUE(event.WaitFor(c.max_time));
    EXPECT_LT(GetTickCount() - start, 10000u);
  }
}

TEST(WaitableEventTest, TimedWaitTimesOutOnlyAfterWholeMilliseconds) {
  WaitableEvent event(false, false);
  // 0 polls and 1 us waits about a millisecond: both come back unsignalled.
  EXPECT_FALSE(event.WaitFor(TimeDelta()));
  EXPECT_FALSE(event.WaitFor(TimeDelta::FromMicroseconds(1)));

  // A wait of 2^32 ms + 1 ms is a long wait, not a 1 ms one: it lasts until
  // the signal arrives.
  std::thread signaller([&] {
    Sleep(200);
    event.Signal();
  });
  EXPECT_TRUE(
      event.WaitFor(TimeDelta::FromMilliseconds((int64_t{1} << 32) + 1)));
  signaller.join();
}

TEST(WaitableEventTest, NegativeTimedWaitIsReportedAndPolls) {
  ScopedCheckRecorder recorder;
  WaitableEvent unsignalled(false, false);
  WaitableEvent signalled(false, true);
  // A negative time must not become a huge unsigned wait.
  EXPECT_FALSE(unsignalled.WaitFor(TimeDelta::FromMicroseconds(-1)));
  EXPECT_TRUE(signalled.WaitFor(TimeDelta::FromMilliseconds(-5000)));
  const std::string kMessage =
      "Check failed: max_time >= TimeDelta::FromMicroseconds(0). ";
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{kMessage, kMessage}));
}

TEST(WaitableEventTest, WaitManyReturnsTheLowestSignalledIndex) {
  struct Case {
    size_t count;
    std::vector<size_t> signalled;
    size_t expected;
  };
  const Case kCases[] = {
      {5, {1, 3}, 1}, {5, {4}, 4},    {5, {0, 1, 2, 3, 4}, 0},
      {1, {0}, 0},    {64, {63}, 63}, {64, {40, 62}, 40},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    std::vector<std::unique_ptr<WaitableEvent>> owned;
    std::vector<WaitableEvent*> events;
    for (size_t i = 0; i < c.count; ++i) {
      owned.push_back(std::make_unique<WaitableEvent>(false, false));
      events.push_back(owned.back().get());
    }
    for (size_t index : c.signalled)
      events[index]->Signal();

    EXPECT_EQ(WaitableEvent::WaitMany(events.data(), c.count), c.expected);
    // Only the event that released the wait was consumed.
    for (size_t index : c.signalled)
      EXPECT_EQ(events[index]->IsSet(), index != c.expected) << index;
  }
}

TEST(WaitableEventTest, WaitManyWakesWhenAnotherThreadSignals) {
  WaitableEvent first(false, false);
  WaitableEvent second(false, false);
  WaitableEvent* events[] = {&first, &second};
  std::thread signaller([&] { second.Signal(); });
  EXPECT_EQ(WaitableEvent::WaitMany(events, 2), 1u);
  signaller.join();
}

TEST(WaitableEventTest, WaitManyRefusesMoreThan64EventsWithoutReadingThem) {
  ScopedCheckRecorder recorder;
  // Null entries: reading or copying any of them would fault.
  std::vector<WaitableEvent*> events(65, nullptr);
  EXPECT_EQ(WaitableEvent::WaitMany(events.data(), events.size()), 0u);
  EXPECT_EQ(WaitableEvent::WaitMany(events.data(), SIZE_MAX), 0u);
  const std::string kMessage =
      "Check failed: count <= MAXIMUM_WAIT_OBJECTS. Can only wait on 64 with "
      "WaitMany";
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{kMessage, kMessage}));
}

TEST(WaitableEventTest, WaitManyOnNoEventsFailsAtTheSystemCall) {
  ScopedCheckRecorder recorder;
  WaitableEvent* events[1] = {};
  EXPECT_EQ(WaitableEvent::WaitMany(events, 0), 0u);
  const std::vector<std::string> messages = recorder.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "Check failed: false. WaitForMultipleObjects failed: " +
                std::to_string(ERROR_INVALID_PARAMETER));
}

TEST(WaitableEventTest, AdoptedHandleIsSignalledThroughTheEvent) {
  HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(handle, nullptr);
  WaitableEvent event(handle);
  EXPECT_EQ(event.handle(), handle);
  event.Signal();
  EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
}

TEST(WaitableEventTest, AdoptingNullIsReported) {
  ScopedCheckRecorder recorder;
  {
    WaitableEvent event(static_cast<void*>(nullptr));
    EXPECT_EQ(event.handle(), nullptr);
  }
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: handle. Tried to create "
                                     "WaitableEvent from NULL handle"});
}

TEST(WaitableEventTest, ReleasedHandleStaysOpenForItsNewOwner) {
  HANDLE handle = nullptr;
  {
    WaitableEvent event(true, false);
    handle = event.Release();
    EXPECT_EQ(event.handle(), INVALID_HANDLE_VALUE);
  }
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(SetEvent(handle));
  EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(handle));
}

}  // namespace
}  // namespace base
