#include "base/thread_collision_warner.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

// Owning the reporter makes a copy a second owner of it.
static_assert(!std::is_copy_constructible_v<ThreadCollisionChecker>);
static_assert(!std::is_copy_assignable_v<ThreadCollisionChecker>);

// Counts the collisions reported to it.
class CountingReporter : public CollisionReporter {
 public:
  explicit CountingReporter(std::atomic<int>* warnings) : warnings_(warnings) {}
  void warn() override { warnings_->fetch_add(1); }

 private:
  std::atomic<int>* const warnings_;
};

// Runs `step` on a thread of its own and waits for it.
template <typename Step>
void OnOtherThread(Step step) {
  std::thread(step).join();
}

TEST(ThreadCollisionCheckerTest, OneThreadAtATimeIsNeverReported) {
  std::atomic<int> warnings{0};
  ThreadCollisionChecker checker(std::make_unique<CountingReporter>(&warnings));
  checker.Enter();
  checker.Leave();
  checker.Enter();
  checker.Leave();
  // A section left by one thread is free for the next.
  OnOtherThread([&] {
    checker.Enter();
    checker.Leave();
  });
  checker.EnterReentrant();
  checker.EnterReentrant();
  checker.Leave();
  checker.Leave();
  EXPECT_EQ(warnings.load(), 0);
}

TEST(ThreadCollisionCheckerTest, EnteringAgainIsReportedUnlessReentrant) {
  struct Case {
    const char* name;
    bool reentrant;
    int expected_warnings;
  };
  const Case kCases[] = {
      {"Enter", false, 1},
      {"EnterReentrant", true, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> warnings{0};
    ThreadCollisionChecker checker(
        std::make_unique<CountingReporter>(&warnings));
    auto enter = [&] {
      if (c.reentrant) {
        checker.EnterReentrant();
      } else {
        checker.Enter();
      }
    };
    enter();
    enter();
    EXPECT_EQ(warnings.load(), c.expected_warnings);

    // The owner holds on until both entries are left.
    checker.Leave();
    OnOtherThread(enter);
    EXPECT_EQ(warnings.load(), c.expected_warnings + 1);
    checker.Leave();
    checker.Leave();
    OnOtherThread([&] {
      enter();
      checker.Leave();
    });
    EXPECT_EQ(warnings.load(), c.expected_warnings + 1);
  }
}

TEST(ThreadCollisionCheckerTest, SecondThreadInsideIsAFailedCheck) {
  test_support::ScopedCheckRecorder recorder;
  ThreadCollisionChecker checker;
  checker.Enter();
  OnOtherThread([&] {
    checker.EnterReentrant();
    checker.Leave();
    checker.Enter();
    checker.Leave();
  });
  checker.Leave();
  EXPECT_EQ(recorder.messages(), (std::vector<std::string>{
                                     "Check failed: false. Thread Collision",
                                     "Check failed: false. Thread Collision"}));
}

}  // namespace
}  // namespace base
