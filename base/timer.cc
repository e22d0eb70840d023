#include "base/timer.h"

#include <cstdint>
#include <limits>
#include <memory>

#include "base/message_loop.h"

namespace base {

namespace {

// Every timer task is born at this one place, under a fixed name and line,
// so that task-tracking reports count all timers' tasks together.
constexpr char kInitiateDelayedTaskName[] =
    "base::BaseTimer_Helper::InitiateDelayedTask";
constexpr int kInitiateDelayedTaskLine = 24;

// The delay a loop is asked to wait, in whole milliseconds. A loop takes
// an int; longer delays wait as long as it can, and negative ones not at
// all, instead of wrapping into a wrong sign.
int LoopDelayMs(TimeDelta delay) {
  const int64_t ms = delay.InMilliseconds();
  if (ms < 0)
    return 0;
  if (ms > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  return static_cast<int>(ms);
}

}  // namespace

void BaseTimer_Helper::FireTask::ClearBaseTimer() {
  if (!timer_)
    return;
  // A task that is no longer the timer's current one leaves the timer
  // alone.
  if (timer_->pending_task_ == this)
    timer_->pending_task_ = nullptr;
  timer_ = nullptr;
}

void BaseTimer_Helper::OrphanDelayedTask() {
  if (!pending_task_)
    return;
  pending_task_->timer_ = nullptr;
  pending_task_ = nullptr;
}

void BaseTimer_Helper::InitiateDelayedTask(FireTask* task) {
  OrphanDelayedTask();
  // Deleted here, unlinked, when there is no loop to post it to.
  std::unique_ptr<FireTask> unposted(task);
  MessageLoop* const loop = MessageLoop::current();
  CHECK_OR_RETURN(loop, );
  pending_task_ = task;
  task->timer_ = this;
  loop->QueueDelayedTask(
      tracked_objects::Location(kInitiateDelayedTaskName, __FILE__,
                                kInitiateDelayedTaskLine),
      unposted.release(), LoopDelayMs(task->delay()));
}

}  // namespace base
