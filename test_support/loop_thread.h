#ifndef TEST_SUPPORT_LOOP_THREAD_H_
#define TEST_SUPPORT_LOOP_THREAD_H_

#include <functional>
#include <string>
#include <utility>

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "test_support/test_tasks.h"

namespace test_support {

// A second thread that runs a default message loop from construction until
// Stop (or destruction), for tests of work that is posted between threads.
// Header only: for test programs that link the message loop. Made, used
// and stopped by one thread, the test's.
class LoopThread : public base::PlatformThread::Body {
 public:
  // Starts the thread and returns once its loop, named `name` for the
  // loop's histogram, runs. `at_start`, if given, runs on the thread first
  // thing once its loop exists, before anything is posted to it.
  explicit LoopThread(std::string name,
                      std::function<void()> at_start = nullptr)
      : name_(std::move(name)), at_start_(std::move(at_start)) {
    CHECK(base::PlatformThread::Create(0, this, &thread_));
    started_.Wait();
  }
  LoopThread(const LoopThread&) = delete;
  LoopThread& operator=(const LoopThread&) = delete;
  ~LoopThread() override { Stop(); }

  // Runs `work` on the thread and returns when it has run, and with it
  // every task posted to the loop before.
  void RunAndWait(std::function<void()> work) {
    base::WaitableEvent done(false, false);
    loop_->QueueTask(CURRENT_LOCATION, NewTask([&work, &done] {
                       work();
                       done.Signal();
                     }));
    done.Wait();
  }

  // Quits the loop, which the thread then destroys, and waits for the
  // thread to end.
  void Stop() {
    if (!thread_)
      return;
    loop_->QueueTask(CURRENT_LOCATION,
                     NewTask([] { base::MessageLoop::current()->Quit(); }));
    base::PlatformThread::Join(thread_);
    thread_ = nullptr;
    loop_ = nullptr;
  }

  base::MessageLoop* loop() const { return loop_; }

 private:
  void RunThread() override {
    base::MessageLoop loop;
    loop.set_loop_thread_name(name_);
    loop_ = &loop;
    if (at_start_)
      at_start_();
    started_.Signal();
    loop.Run();
  }

  const std::string name_;
  const std::function<void()> at_start_;
  base::WaitableEvent started_{false, false};
  // The running loop: set before started_ is signalled, null once stopped.
  base::MessageLoop* loop_ = nullptr;
  base::ThreadHandle thread_ = nullptr;
};

}  // namespace test_support

#endif  // TEST_SUPPORT_LOOP_THREAD_H_
