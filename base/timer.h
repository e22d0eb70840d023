#ifndef BASE_TIMER_H_
#define BASE_TIMER_H_

#include "base/logging.h"
#include "base/task.h"
#include "base/time.h"

namespace base {

// Timers call a method of their owner after a delay, once (SingleShotTimer)
// or every delay until stopped (PeriodicTimer), on the thread whose message
// loop started them:
//
//   class Monitor {
//     void Begin() { check_timer_.Start(delay, this, &Monitor::Check); }
//     void Check();
//     SingleShotTimer<Monitor> check_timer_;
//   };
//
// A timer is a small member of its owner and works by posting a delayed
// task to the current loop. It may be stopped, restarted or destroyed at
// any time while that task is queued: the task is then orphaned (it keeps
// no pointer to the timer and does nothing when it runs). A task destroyed
// unrun, with its loop, leaves its timer stopped. A delay is counted in
// whole milliseconds, truncated, and held to what a loop can wait for:
// from 0 (run as soon as possible) to 2^31 - 1 ms, about 24.8 days.
//
// A timer and its tasks belong to one thread: start, stop and destroy it on
// the thread of the loop that runs its tasks. Nothing is locked. The
// receiver is not owned; it must outlive the timer, which it usually holds.

// What every timer shares: the link to its current task.
class BaseTimer_Helper {
 public:
  BaseTimer_Helper(const BaseTimer_Helper&) = delete;
  BaseTimer_Helper& operator=(const BaseTimer_Helper&) = delete;

  // Whether a task is pending: started and not yet fired, stopped or lost
  // with its loop.
  bool IsRunning() const { return pending_task_ != nullptr; }

 protected:
  // The task a timer posts. Linked with its timer while it is the timer's
  // current task; orphaned (`timer_` null) otherwise.
  class FireTask : public Task {
   public:
    explicit FireTask(TimeDelta delay) : delay_(delay) {}
    // A task deleted unrun leaves its timer stopped.
    ~FireTask() override { ClearBaseTimer(); }

    TimeDelta delay() const { return delay_; }

   protected:
    // Breaks the link with the timer; the timer stops if this was its
    // current task.
    void ClearBaseTimer();

    BaseTimer_Helper* timer_ = nullptr;  // Null when orphaned.

   private:
    friend class BaseTimer_Helper;

    const TimeDelta delay_;
  };

  BaseTimer_Helper() = default;
  // Orphans the pending task: a timer destroyed before it fired is not
  // touched by its task.
  ~BaseTimer_Helper() { OrphanDelayedTask(); }

  // Leaves the current task in the loop's queue, to do nothing there.
  void OrphanDelayedTask();

  // Makes `task` the current task and posts it to the calling thread's
  // loop, which must exist; otherwise the task is deleted and the timer is
  // left stopped. The task's delay is held to 0 .. 2^31 - 1 ms.
  void InitiateDelayedTask(FireTask* task);

  FireTask* pending_task_ = nullptr;  // The current task; null: stopped.
};

// A timer that calls `(receiver->*method)()` on its owner, once or, with
// `kIsRepeating`, every delay until stopped.
template <class Receiver, bool kIsRepeating>
class TimerOf : public BaseTimer_Helper {
 public:
  using ReceiverMethod = void (Receiver::*)();

  TimerOf() = default;

  // Starts the timer, which must not be running.
  void Start(TimeDelta delay, Receiver* receiver, ReceiverMethod method) {
    CHECK_OR_RETURN(!IsRunning(), );
    InitiateDelayedTask(new TimerTask(delay, receiver, method));
  }

  // Stops the timer; nothing happens when it is not running.
  void Stop() { OrphanDelayedTask(); }

  // Starts a running timer over with its delay, counting from now.
  void Reset() {
    CHECK_OR_RETURN(IsRunning(), );
    InitiateDelayedTask(static_cast<TimerTask*>(pending_task_)->Clone());
  }

 private:
  class TimerTask : public FireTask {
   public:
    TimerTask(TimeDelta delay, Receiver* receiver, ReceiverMethod method)
        : FireTask(delay), receiver_(receiver), method_(method) {}

    void Run() override {
      if (!timer_)
        return;
      if constexpr (kIsRepeating) {
        // The next period is posted before the method runs, and orphans
        // this task; the method may stop the timer, which orphans the next.
        static_cast<TimerOf*>(timer_)->Reset();
      } else {
        // The timer reads as stopped inside its method, which may start it
        // again.
        ClearBaseTimer();
      }
      (receiver_->*method_)();
    }

    TimerTask* Clone() const {
      return new TimerTask(delay(), receiver_, method_);
    }

   private:
    Receiver* const receiver_;
    const ReceiverMethod method_;
  };
};

template <class Receiver>
using SingleShotTimer = TimerOf<Receiver, false>;

template <class Receiver>
using PeriodicTimer = TimerOf<Receiver, true>;

}  // namespace base

#endif  // BASE_TIMER_H_
