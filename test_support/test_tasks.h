#ifndef TEST_SUPPORT_TEST_TASKS_H_
#define TEST_SUPPORT_TEST_TASKS_H_

#include <functional>
#include <utility>

#include "base/task.h"

namespace test_support {

// A task that calls `run` when it runs and `on_delete` when it is deleted
// (either may be empty), for tests of the loops that run tasks.
class FunctionTask : public base::Task {
 public:
  explicit FunctionTask(std::function<void()> run,
                        std::function<void()> on_delete = nullptr)
      : run_(std::move(run)), on_delete_(std::move(on_delete)) {}
  ~FunctionTask() override {
    if (on_delete_)
      on_delete_();
  }

  void Run() override {
    if (run_)
      run_();
  }

 private:
  std::function<void()> run_;
  std::function<void()> on_delete_;
};

inline base::Task* NewTask(std::function<void()> run) {
  return new FunctionTask(std::move(run));
}

}  // namespace test_support

#endif  // TEST_SUPPORT_TEST_TASKS_H_
