#ifndef BASE_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <queue>
#include <string>

#include "base/lock_impl.h"
#include "base/message_pump.h"
#include "base/observer_list.h"
#include "base/ref_counted.h"
#include "base/task.h"
#include "base/time.h"

namespace base {

class LinearHistogram;
class MessageDispatcher;

// Runs tasks on the thread that owns it. Any thread may post a task, to run
// as soon as possible or after a delay; the owning thread runs them one at
// a time: immediate tasks in the order they were posted, delayed tasks by
// due time and then in posting order. Runs may nest (a task may run the
// loop again); a task posted as non-nestable never runs inside a nested
// run, but waits until the outermost run is idle.
//
// The loop waits for nothing itself: a pump chosen by the loop's type does
// the waiting (on an event, on window messages, on finished I/O) and calls
// the loop back for work. There is at most one loop per thread, found with
// current().
//
// The loop owns every task posted to it: each is run once and deleted, or
// deleted unrun when the loop is destroyed. Posting is the only operation
// for other threads; everything else belongs to the owning thread, which
// must make and destroy the loop.
class MessageLoop : public MessagePump::WorkSource {
 public:
  enum Type {
    TYPE_DEFAULT = 0,  // Tasks only.
    TYPE_UI = 1,       // Tasks interleaved with the thread's window messages.
    TYPE_IO = 2,       // Tasks interleaved with finished asynchronous I/O.
  };

  // A posted task with its scheduling.
  struct PendingTask {
    PendingTask(Task* task, bool nestable) : task(task), nestable(nestable) {}

    // For the priority queue of delayed tasks, whose top is its greatest
    // element: the earliest run time, and among equal times the smallest
    // sequence number, where smaller is the sign of the 32-bit difference
    // so that the order survives a wrap of the counter.
    bool operator<(const PendingTask& other) const;

    Task* task;          // Owned by the loop.
    Time run_at;         // Null for an immediate task.
    int32_t serial = 0;  // Order of entry into the delayed queue.
    bool nestable;       // False: never run inside a nested run.
  };

  // Told, on the loop's thread, just before the loop is destroyed.
  class DestructionObserver {
   public:
    virtual ~DestructionObserver() = default;
    virtual void LoopWillBeDestroyed() = 0;
  };

  // Event numbers of the loop's histogram.
  static constexpr int kTaskRunEvent = 1;
  static constexpr int kTimerEvent = 2;

  // Becomes the calling thread's loop; a second loop on one thread is a
  // failed check.
  explicit MessageLoop(Type type = TYPE_DEFAULT);
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
  // Deletes every task still queued. Must not be running.
  ~MessageLoop() override;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  // Post operations, for any thread. The loop takes ownership of `task` and
  // records `from_here` as its posting place. A delay is in milliseconds;
  // a negative one is a failed check and the task runs as immediate.
  void QueueTask(const tracked_objects::Location& from_here, Task* task);
  void QueueDelayedTask(const tracked_objects::Location& from_here,
                        Task* task,
                        int delay_ms);
  void QueueNonNestableTask(const tracked_objects::Location& from_here,
                            Task* task);
  void QueueNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                   Task* task,
                                   int delay_ms);

  // Runs tasks until Quit is called from inside and the loop is idle.
  void Run();
  // Runs tasks until the loop would otherwise wait.
  void RunUntilDrained();
  // Ends the innermost run once it is idle. Only inside Run.
  void Quit();

  // While a task runs, a nested run runs no tasks unless the task allows
  // them here.
  void SetNestableTasksAllowed(bool allowed);
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

  // Observers are not owned. On the loop's thread only.
  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserver(DestructionObserver* observer);

  // The thread's name, which names the loop's histogram.
  void set_loop_thread_name(const std::string& name) { thread_name_ = name; }
  const std::string& thread_name() const { return thread_name_; }

  // Runs put back the process's unhandled-exception filter, as it was when
  // the run began, before an exception that leaves a task goes on to that
  // filter: tasks may install filters of their own.
  void set_restore_exception_filter(bool restore) {
    restore_exception_filter_ = restore;
  }

  Type type() const { return type_; }

  // True from the start of the loop's destruction. Tasks that the dying
  // loop deletes still find it as current(); on the loop's thread, this
  // tells them not to take it for a loop that will run anything.
  bool being_destroyed() const { return being_destroyed_; }

  // Whether loops record the kinds of events they handle, in histograms
  // made once a statistics recorder exists. Off by default; set it at
  // start-up.
  static void EnableLoopHistograms(bool enabled);

 protected:
  // One active run, on the stack of the call that runs; the loop's state_
  // while it exists.
  struct RunState {
    explicit RunState(MessageLoop* loop);
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;
    ~RunState();

    int run_depth;        // 1 for the outermost run.
    bool quit_requested;  // The run ends when the loop is next idle.
    MessageDispatcher* message_dispatcher;  // UI runs only; else null.
    MessageLoop* const loop_;
    RunState* const outer_state_;  // The run below this one, or null.
  };

  // Runs the pump under the current run state, inside the exception frame
  // when the filter is to be restored.
  void RunHandler();
  void RunInternal();

  // The sequence number that the next delayed task gets. Lets tests start
  // near the wrap of the counter.
  void set_next_serial(int32_t serial) { next_serial_ = serial; }

  const shared_ref<MessagePump>& pump() const { return pump_; }

 private:
  // MessagePump::WorkSource, called by the pump.
  bool RunImmediateWork() override;
  bool RunDueDelayedWork(Time* next_delayed_work_time) override;
  bool RunIdleWork() override;

  // The pump for the loop's type.
  MessagePump* CreatePump() const;

  void PostTask(const tracked_objects::Location& from_here,
                Task* task,
                int delay_ms,
                bool nestable);
  // Moves every posted task to the ready queue when it is empty.
  void ReloadWorkQueue();
  void AddToDelayedWorkQueue(const PendingTask& pending_task);
  // Runs the task, or keeps it for the outer run when it is not nestable
  // and the loop is nested; true when it ran.
  bool DeferOrRunPendingTask(const PendingTask& pending_task);
  void RunTask(Task* task);
  // Deletes the queued tasks; true when there were any.
  bool DeletePendingTasks();
  // Makes the loop's histogram, when histograms are on and it has none.
  void StartHistogram();
  void RecordEvent(int event);

  using TaskQueue = std::queue<PendingTask, std::deque<PendingTask>>;
  using DelayedTaskQueue = std::priority_queue<PendingTask>;

  const Type type_;
  // Owning thread only: the tasks taken in from the incoming queue, the
  // delayed ones by due time, and the non-nestable ones kept for the
  // outermost run.
  TaskQueue ready_queue_;
  DelayedTaskQueue delayed_queue_;
  TaskQueue deferred_queue_;
  shared_ref<MessagePump> pump_;
  ObserverList<DestructionObserver> teardown_observers_;
  bool nestable_tasks_allowed_ = true;  // False while a task runs.
  bool restore_exception_filter_ = false;
  std::string thread_name_;
  // The kinds of events handled, "MsgLoop:" + the thread name; made by the
  // first run once histograms are on and a registry records them.
  std::unique_ptr<LinearHistogram> event_histogram_;

  // Tasks posted and not yet taken in. Guarded by incoming_lock_, which also
  // guards reading pump_ while posting.
  TaskQueue incoming_queue_;
  Lock incoming_lock_;

  RunState* state_ = nullptr;  // The innermost run; null when not running.
  // Set as the destructor begins.
  bool being_destroyed_ = false;
  int32_t next_serial_ = 0;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_H_
