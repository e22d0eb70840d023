#ifndef BASE_MESSAGE_PUMP_DEFAULT_H_
#define BASE_MESSAGE_PUMP_DEFAULT_H_

#include <atomic>
#include <cstdint>

#include "base/message_pump.h"
#include "base/time.h"
#include "base/waitable_event.h"

namespace base {

// The pump of a loop that runs tasks only: between tasks it sleeps on an
// automatic-reset event, for at most the time until the next delayed task.
//
// A wake-up request signals the event only when the pump's thread sleeps or
// is about to; a request while the thread is busy is noted in a flag that
// the thread reads before it sleeps. Posting to a busy loop thus costs no
// system call, and no request is ever lost: either the thread sees the flag
// or the event is signalled. Run and Quit belong to the pump's thread;
// RequestWakeup may come from any thread.
class MessagePumpDefault : public MessagePump {
 public:
  MessagePumpDefault();
  MessagePumpDefault(const MessagePumpDefault&) = delete;
  MessagePumpDefault& operator=(const MessagePumpDefault&) = delete;
  ~MessagePumpDefault() override;

  // Quit called while the pump was not running is a failed check; the run
  // then ends at once, and the pump can be run again.
  void Run(WorkSource* delegate) override;
  void Quit() override;
  void RequestWakeup() override;
  void RequestDelayedWakeup(const Time& delayed_work_time) override;

 private:
  // Values of `wakeup_state_`.
  enum WakeupState : int32_t {
    // The thread is running work and will look for more before it sleeps.
    kAwake = 0,
    // Work was posted while the thread was awake; it must not sleep yet.
    kWakeupRequested = 1,
    // The thread sleeps on `event_`, or is just about to: only the event
    // reaches it.
    kSleeping = 2,
  };

  // Sleeps until the event is signalled or the next delayed task is due,
  // unless a wake-up was requested since the last look for work.
  void WaitForWork();

  bool keep_running_ = true;  // False from Quit until Run returns.
  WaitableEvent event_;       // Automatic reset.
  Time next_delayed_time_;    // Null while no delayed task waits.
  // Changed by any thread through atomic exchanges; see WakeupState.
  std::atomic<int32_t> wakeup_state_{kAwake};
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_DEFAULT_H_
