#include "base/singleton.h"

#include <atomic>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int kRacers = 8;

std::atomic<int> g_arrived{0};
std::atomic<int> g_constructed{0};
std::atomic<int> g_destroyed{0};

// The first constructor holds on until every racer has arrived at `get`, so
// that the others ask while the instance is still being made.
struct Raced {
  Raced() {
    ++g_constructed;
    while (g_arrived < kRacers)
      PlatformThread::YieldThread();
    for (int i = 0; i < 100; ++i)
      PlatformThread::YieldThread();
  }
  ~Raced() { ++g_destroyed; }
};

struct Counted {
  Counted() : serial(++g_constructed) {}
  ~Counted() { ++g_destroyed; }
  const int serial;
};

class SingletonTest : public testing::Test {
 protected:
  void SetUp() override {
    g_arrived = 0;
    g_constructed = 0;
    g_destroyed = 0;
  }
};

TEST_F(SingletonTest, RacingThreadsShareOneInstance) {
  AtExitManager exit_manager;
  std::vector<Raced*> seen(kRacers, nullptr);
  std::vector<std::thread> racers;
  for (int i = 0; i < kRacers; ++i) {
    racers.emplace_back([&seen, i] {
      ++g_arrived;
      seen[i] = Singleton<Raced>::get();
    });
  }
  for (std::thread& racer : racers)
    racer.join();

  EXPECT_EQ(g_constructed.load(), 1);
  ASSERT_NE(seen[0], nullptr);
  for (int i = 1; i < kRacers; ++i)
    EXPECT_EQ(seen[i], seen[0]) << "racer " << i;
  EXPECT_EQ(Singleton<Raced>::get(), seen[0]);

  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(g_destroyed.load(), 1);
}

TEST_F(SingletonTest, ExitDestroysInstanceAndNextGetMakesFreshOne) {
  AtExitManager exit_manager;
  EXPECT_EQ(Singleton<Counted>::get()->serial, 1);
  EXPECT_EQ(Singleton<Counted>::get()->serial, 1);
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(g_destroyed.load(), 1);

  EXPECT_EQ(Singleton<Counted>::get()->serial, 2);
  // The fresh instance registered itself again.
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(g_destroyed.load(), 2);
}

}  // namespace
}  // namespace base
