#ifndef BASE_TASK_H_
#define BASE_TASK_H_

#include <tuple>
#include <type_traits>
#include <utility>

#include "base/tracked.h"

namespace base {

// A unit of work: the message loop that it is posted to owns it, calls Run
// once and then deletes it. Made on one thread, typically run and deleted on
// another (the loop's); the birth bookkeeping of the base is per thread.
class Task : public tracked_objects::TrackedBirth {
 public:
  Task();
  ~Task() override;

  virtual void Run() = 0;
};

// A task that can be told not to do its work: after Cancel, Run does
// nothing.
class StoppableTask : public Task {
 public:
  ~StoppableTask() override;

  virtual void Cancel() = 0;
};

// How a bound method task keeps its receiver alive: a reference taken when
// the task is made and dropped when it is cancelled or destroyed. The
// default suits reference-counted receivers (SharedCounted and
// SharedCountedSafe).
template <typename T>
struct TaskReceiverTraits {
  static void Retain(T* receiver) { receiver->AddRef(); }
  static void Drop(T* receiver) { receiver->Release(); }
};

// A task that calls `method` on a reference-counted receiver with copies
// of arguments taken when the task was made. The receiver outlives the
// task, or its cancellation, whichever comes first.
template <typename T, typename Method, typename Params>
class BoundMethodTask : public StoppableTask {
 public:
  BoundMethodTask(T* target, Method method, Params args)
      : target_(target), member_fn_(method), args_(std::move(args)) {
    if (target_)
      TaskReceiverTraits<T>::Retain(target_);
  }
  ~BoundMethodTask() override { DropReceiver(); }

  void Run() override {
    if (!target_)
      return;
    std::apply([this](auto&... args) { (target_->*member_fn_)(args...); },
               args_);
  }

  // Releases the receiver now (which may delete it); Run does nothing from
  // then on. Cancelling twice is harmless.
  void Cancel() override { DropReceiver(); }

 private:
  void DropReceiver() {
    T* const target = target_;
    target_ = nullptr;
    if (target)
      TaskReceiverTraits<T>::Drop(target);
  }

  T* target_;  // Null once cancelled.
  const Method member_fn_;
  Params args_;
};

// Makes a task, owned by the caller until posted, that calls
// `(object->*method)(args...)` with copies of `args`.
template <typename T, typename Method, typename... Args>
BoundMethodTask<T, Method, std::tuple<std::decay_t<Args>...>>*
MakeBoundMethodTask(T* object, Method method, Args&&... args) {
  using Params = std::tuple<std::decay_t<Args>...>;
  return new BoundMethodTask<T, Method, Params>(
      object, method, Params(std::forward<Args>(args)...));
}

}  // namespace base

#endif  // BASE_TASK_H_
