#ifndef BASE_MESSAGE_PUMP_H_
#define BASE_MESSAGE_PUMP_H_

#include "base/ref_counted.h"

namespace base {

class Time;

// What a message loop runs on: the pump owns the waiting (for an event, for
// window messages, for finished I/O) and calls its work source back for
// tasks. The loop keeps its pump through a counted reference, and so may a
// thread that is posting to the loop, so that a wake-up requested just as
// the loop goes away never reaches a freed pump.
//
// Run, Quit and RequestDelayedWakeup are called on the pump's thread only;
// RequestWakeup may be called from any thread.
class MessagePump : public SharedCountedSafe<MessagePump> {
 public:
  // Where the pump finds work: the message loop. Each call does at most a
  // little work and returns true when it did some, so that the pump calls
  // again before it waits.
  class WorkSource {
   public:
    virtual ~WorkSource() = default;

    // Runs at most one ready task.
    virtual bool RunImmediateWork() = 0;
    // Runs at most one delayed task that has come due, and stores in
    // `*next_delayed_work_time` when the next one is due (the null time when
    // there is none).
    virtual bool RunDueDelayedWork(Time* next_delayed_work_time) = 0;
    // Runs work kept for idle moments; this is also where a loop that was
    // asked to quit tells the pump to stop.
    virtual bool RunIdleWork() = 0;
  };

  MessagePump() = default;
  virtual ~MessagePump() = default;

  // Calls `delegate` for work and waits when there is none, until Quit.
  // Runs may nest: a task may run the pump again.
  virtual void Run(WorkSource* delegate) = 0;
  // Ends the innermost active Run once the work at hand is done.
  virtual void Quit() = 0;
  // Makes a waiting Run look for work soon. Any thread.
  virtual void RequestWakeup() = 0;
  // Makes Run look for delayed work at `delayed_work_time`, replacing the
  // time given before.
  virtual void RequestDelayedWakeup(const Time& delayed_work_time) = 0;
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_H_
