#include "base/message_loop.h"

#include <atomic>

#include "base/histogram.h"
#include "base/logging.h"
#include "base/singleton.h"
#include "base/thread_local.h"

namespace base {

namespace {

// Each thread's loop. Made on first use by whichever thread asks first, and
// destroyed by the at-exit manager.
ThreadSlotPointer<MessageLoop>* CurrentLoopSlot() {
  return Singleton<ThreadSlotPointer<MessageLoop>>::get();
}

// Set at start-up; read whenever a run begins.
std::atomic<bool> g_event_histograms_on{false};

// Passes over the queues that a dying loop makes to delete its tasks: a
// deleted task may post new ones, and this bounds how often.
constexpr int kMaxTeardownPasses = 100;

}  // namespace

bool MessageLoop::PendingTask::operator<(const PendingTask& other) const {
  if (run_at != other.run_at)
    return run_at > other.run_at;
  // The unsigned difference read as signed: positive when this one entered
  // later, even where the counter wrapped between the two.
  return static_cast<int32_t>(static_cast<uint32_t>(serial) -
                              static_cast<uint32_t>(other.serial)) > 0;
}

MessageLoop::RunState::RunState(MessageLoop* loop)
    : run_depth(loop->state_ ? loop->state_->run_depth + 1 : 1),
      quit_requested(false),
      message_dispatcher(nullptr),
      loop_(loop),
      outer_state_(loop->state_) {
  loop_->state_ = this;
}

MessageLoop::RunState::~RunState() {
  loop_->state_ = outer_state_;
}

MessageLoop::MessageLoop(Type type) : type_(type) {
  CHECK(!current()) << "should only have one message loop per thread";
  // A loop made in spite of the check stays unregistered: the thread's
  // first loop remains its loop.
  if (!current())
    CurrentLoopSlot()->Set(this);
  pump_ = CreatePump();
}

MessageLoop::~MessageLoop() {
  CHECK(this == current());
  being_destroyed_ = true;

  {
    ObserverList<DestructionObserver>::Iterator it(teardown_observers_);
    while (DestructionObserver* observer = it.GetNext())
      observer->LoopWillBeDestroyed();
  }

  CHECK(!state_);

  // The loop owns its tasks: every one still queued is deleted. A task's
  // destructor may post another; those are taken in and deleted too, for a
  // bounded number of passes.
  bool did_work = false;
  for (int pass = 0; pass < kMaxTeardownPasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    did_work = DeletePendingTasks();
    if (!did_work)
      break;
  }
  CHECK(!did_work);

  if (current() == this)
    CurrentLoopSlot()->Set(nullptr);
}

// static
MessageLoop* MessageLoop::current() {
  return CurrentLoopSlot()->Get();
}

// static
void MessageLoop::EnableLoopHistograms(bool enabled) {
  g_event_histograms_on.store(enabled, std::memory_order_relaxed);
}

void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  CHECK_OR_RETURN(this == current(), );
  teardown_observers_.AddObserver(observer);
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  CHECK_OR_RETURN(this == current(), );
  teardown_observers_.RemoveObserver(observer);
}

void MessageLoop::QueueTask(const tracked_objects::Location& from_here,
                            Task* task) {
  PostTask(from_here, task, 0, /*nestable=*/true);
}

void MessageLoop::QueueDelayedTask(const tracked_objects::Location& from_here,
                                   Task* task,
                                   int delay_ms) {
  PostTask(from_here, task, delay_ms, /*nestable=*/true);
}

void MessageLoop::QueueNonNestableTask(
    const tracked_objects::Location& from_here,
    Task* task) {
  PostTask(from_here, task, 0, /*nestable=*/false);
}

void MessageLoop::QueueNonNestableDelayedTask(
    const tracked_objects::Location& from_here,
    Task* task,
    int delay_ms) {
  PostTask(from_here, task, delay_ms, /*nestable=*/false);
}

void MessageLoop::PostTask(const tracked_objects::Location& from_here,
                           Task* task,
                           int delay_ms,
                           bool nestable) {
  task->RecordBirthPlace(from_here);
  PendingTask pending_task(task, nestable);
  if (delay_ms > 0) {
    pending_task.run_at = Time::Now() + TimeDelta::FromMilliseconds(delay_ms);
  } else {
    CHECK(delay_ms == 0) << "delay should not be negative";
  }

  // Only the post that finds the queue empty wakes the pump: the others know
  // that a wake-up is already on its way. The counted reference keeps the
  // pump alive should the task, run at once on the loop's thread, destroy
  // the loop before RequestWakeup returns.
  shared_ref<MessagePump> pump;
  {
    LockGuard guard(incoming_lock_);
    const bool was_empty = incoming_queue_.empty();
    incoming_queue_.push(pending_task);
    if (!was_empty)
      return;
    pump = pump_;
  }
  pump->RequestWakeup();
}

void MessageLoop::Run() {
  RunState state(this);
  RunHandler();
}

void MessageLoop::RunUntilDrained() {
  RunState state(this);
  state.quit_requested = true;
  RunHandler();
}

void MessageLoop::Quit() {
  CHECK_OR_RETURN(current() == this, );
  if (!state_) {
    NOTREACHED() << "Must be inside Run to call Quit";
    return;
  }
  state_->quit_requested = true;
}

void MessageLoop::SetNestableTasksAllowed(bool allowed) {
  if (nestable_tasks_allowed_ == allowed)
    return;
  nestable_tasks_allowed_ = allowed;
  // Tasks may be waiting; the nested run must look for them.
  if (allowed)
    pump_->RequestWakeup();
}

void MessageLoop::ReloadWorkQueue() {
  if (!ready_queue_.empty())
    return;
  // One lock for every task posted so far.
  LockGuard guard(incoming_lock_);
  if (incoming_queue_.empty())
    return;
  ready_queue_.swap(incoming_queue_);
  CHECK(incoming_queue_.empty());
}

void MessageLoop::AddToDelayedWorkQueue(const PendingTask& pending_task) {
  PendingTask delayed_task = pending_task;
  delayed_task.serial = next_serial_;
  // Wraps by design; the queue's order reads the difference of two numbers.
  next_serial_ = static_cast<int32_t>(static_cast<uint32_t>(next_serial_) + 1);
  delayed_queue_.push(delayed_task);
}

bool MessageLoop::DeferOrRunPendingTask(const PendingTask& pending_task) {
  if (pending_task.nestable || state_->run_depth == 1) {
    RunTask(pending_task.task);
    return true;
  }
  deferred_queue_.push(pending_task);
  return false;
}

void MessageLoop::RunTask(Task* task) {
  CHECK(nestable_tasks_allowed_);
  // A nested run started by the task runs nothing unless the task allows
  // it.
  nestable_tasks_allowed_ = false;
  RecordEvent(kTaskRunEvent);
  task->Run();
  delete task;
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::RunImmediateWork() {
  if (!nestable_tasks_allowed_)
    return false;

  for (;;) {
    ReloadWorkQueue();
    if (ready_queue_.empty())
      return false;

    do {
      const PendingTask pending_task = ready_queue_.front();
      ready_queue_.pop();
      if (!pending_task.run_at.is_null()) {
        AddToDelayedWorkQueue(pending_task);
        // Only a new earliest task moves the pump's wake-up.
        if (delayed_queue_.top().task == pending_task.task)
          pump_->RequestDelayedWakeup(pending_task.run_at);
      } else if (DeferOrRunPendingTask(pending_task)) {
        return true;
      }
    } while (!ready_queue_.empty());
  }
}

bool MessageLoop::RunDueDelayedWork(Time* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_queue_.empty()) {
    *next_delayed_work_time = Time();
    return false;
  }

  if (delayed_queue_.top().run_at > Time::Now()) {
    *next_delayed_work_time = delayed_queue_.top().run_at;
    return false;
  }

  const PendingTask pending_task = delayed_queue_.top();
  delayed_queue_.pop();
  if (!delayed_queue_.empty())
    *next_delayed_work_time = delayed_queue_.top().run_at;
  return DeferOrRunPendingTask(pending_task);
}

bool MessageLoop::RunIdleWork() {
  if (state_->run_depth == 1 && !deferred_queue_.empty()) {
    const PendingTask pending_task = deferred_queue_.front();
    deferred_queue_.pop();
    RunTask(pending_task.task);
    return true;
  }
  if (state_->quit_requested)
    pump_->Quit();
  return false;
}

bool MessageLoop::DeletePendingTasks() {
  bool did_work = !ready_queue_.empty();
  while (!ready_queue_.empty()) {
    const PendingTask pending_task = ready_queue_.front();
    ready_queue_.pop();
    // Delayed tasks are deleted below, with the others of their kind, in
    // the order they would have run.
    if (pending_task.run_at.is_null()) {
      delete pending_task.task;
    } else {
      AddToDelayedWorkQueue(pending_task);
    }
  }

  did_work |= !deferred_queue_.empty();
  while (!deferred_queue_.empty()) {
    Task* const task = deferred_queue_.front().task;
    deferred_queue_.pop();
    delete task;
  }

  did_work |= !delayed_queue_.empty();
  while (!delayed_queue_.empty()) {
    Task* const task = delayed_queue_.top().task;
    delayed_queue_.pop();
    delete task;
  }
  return did_work;
}

void MessageLoop::StartHistogram() {
  if (!g_event_histograms_on.load(std::memory_order_relaxed) ||
      event_histogram_ || !HistogramRegistry::IsRecording()) {
    return;
  }
  CHECK(!thread_name_.empty());
  static const LinearHistogram::BucketLabel kEventDescriptions[] = {
      {kTaskRunEvent, "kTaskRunEvent"},
      {kTimerEvent, "kTimerEvent"},
      {-1, nullptr},
  };
  event_histogram_ = std::make_unique<LinearHistogram>(
      ("MsgLoop:" + thread_name_).c_str(), 1, 1099, 1100);
  event_histogram_->SetFlags(Histogram::kHexBoundsFlag);
  event_histogram_->SetBucketLabels(kEventDescriptions);
}

void MessageLoop::RecordEvent(int event) {
  if (event_histogram_)
    event_histogram_->Add(event);
}

}  // namespace base
