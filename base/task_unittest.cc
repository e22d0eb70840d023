#include "base/task.h"

#include <memory>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/ref_counted.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Records the calls it receives; notes its destruction in `*destroyed`.
class Receiver : public SharedCountedSafe<Receiver> {
 public:
  explicit Receiver(bool* destroyed) : destroyed_(destroyed) {}
  ~Receiver() { *destroyed_ = true; }

  void Record(int number, const std::string& text) {
    calls.push_back(std::to_string(number) + ":" + text);
  }
  void Ping() { calls.push_back("ping"); }

  std::vector<std::string> calls;

 private:
  bool* const destroyed_;
};

// A receiver used on one thread only.
class PlainReceiver : public SharedCounted<PlainReceiver> {
 public:
  void Add(int amount) { total += amount; }
  int total = 0;
};

class BoundMethodTaskTest : public testing::Test {
 protected:
  // The clock behind birth times is a process-wide object.
  AtExitManager exit_manager_;
};

TEST_F(BoundMethodTaskTest, RunCallsTheMethodWithCopiesMadeAtCreation) {
  bool destroyed = false;
  shared_ref<Receiver> receiver(new Receiver(&destroyed));
  std::string text = "first";
  std::unique_ptr<StoppableTask> task(
      MakeBoundMethodTask(receiver.get(), &Receiver::Record, 7, text));
  text = "changed";
  std::unique_ptr<Task> ping(
      MakeBoundMethodTask(receiver.get(), &Receiver::Ping));

  task->Run();
  ping->Run();
  EXPECT_EQ(receiver->calls, (std::vector<std::string>{"7:first", "ping"}));

  shared_ref<PlainReceiver> plain(new PlainReceiver);
  std::unique_ptr<Task> add(
      MakeBoundMethodTask(plain.get(), &PlainReceiver::Add, short{5}));
  add->Run();
  EXPECT_EQ(plain->total, 5);
}

TEST_F(BoundMethodTaskTest, TaskKeepsItsReceiverUntilItIsDeleted) {
  bool destroyed = false;
  Receiver* receiver = new Receiver(&destroyed);
  std::unique_ptr<StoppableTask> task(
      MakeBoundMethodTask(receiver, &Receiver::Ping));
  // The task holds the only reference.
  EXPECT_FALSE(destroyed);
  task->Run();
  EXPECT_EQ(receiver->calls, std::vector<std::string>{"ping"});
  task.reset();
  EXPECT_TRUE(destroyed);
}

TEST_F(BoundMethodTaskTest, CancelReleasesTheReceiverAtOnceAndRunDoesNothing) {
  bool destroyed = false;
  shared_ref<Receiver> holder(new Receiver(&destroyed));
  Receiver* const receiver = holder.get();
  std::unique_ptr<StoppableTask> task(
      MakeBoundMethodTask(receiver, &Receiver::Ping));

  // With another holder left, cancelling only drops the task's reference.
  task->Cancel();
  task->Run();
  EXPECT_TRUE(receiver->calls.empty());
  EXPECT_FALSE(destroyed);

  std::unique_ptr<StoppableTask> last(
      MakeBoundMethodTask(receiver, &Receiver::Ping));
  holder = nullptr;
  EXPECT_FALSE(destroyed);
  last->Cancel();
  EXPECT_TRUE(destroyed);
  // After cancellation the receiver is gone: running and cancelling again
  // must not touch it.
  last->Run();
  last->Cancel();
  last.reset();
}

}  // namespace
}  // namespace base
