#include "base/message_pump_default.h"

#include "base/logging.h"

namespace base {

MessagePumpDefault::MessagePumpDefault()
    : event_(/*manual_reset=*/false, /*initially_signaled=*/false) {}

MessagePumpDefault::~MessagePumpDefault() = default;

void MessagePumpDefault::Run(WorkSource* delegate) {
  CHECK(keep_running_) << "Quit must have been called outside of Run!";

  for (;;) {
    bool did_work = delegate->RunImmediateWork();
    if (!keep_running_)
      break;

    did_work |= delegate->RunDueDelayedWork(&next_delayed_time_);
    if (!keep_running_)
      break;
    if (did_work)
      continue;

    did_work = delegate->RunIdleWork();
    if (!keep_running_)
      break;
    if (did_work)
      continue;

    WaitForWork();
  }

  // Ready to be run again.
  keep_running_ = true;
}

void MessagePumpDefault::WaitForWork() {
  TimeDelta delay;
  if (!next_delayed_time_.is_null()) {
    delay = next_delayed_time_ - Time::Now();
    if (delay <= TimeDelta()) {
      // Due already: the next pass runs it.
      next_delayed_time_ = Time();
      return;
    }
  }

  int32_t expected = kAwake;
  if (!wakeup_state_.compare_exchange_strong(expected, kSleeping)) {
    // Work was posted since the last look; look again instead of sleeping.
    wakeup_state_.store(kAwake);
    return;
  }
  if (next_delayed_time_.is_null()) {
    event_.Wait();
  } else {
    event_.WaitFor(delay);
  }
  // A poster that saw kSleeping just before a time-out signals the event
  // after this; the next wait then returns at once and finds no work, which
  // costs one pass and loses nothing.
  wakeup_state_.store(kAwake);
}

void MessagePumpDefault::Quit() {
  keep_running_ = false;
}

void MessagePumpDefault::RequestWakeup() {
  if (wakeup_state_.exchange(kWakeupRequested) == kSleeping)
    event_.Signal();
}

void MessagePumpDefault::RequestDelayedWakeup(const Time& delayed_work_time) {
  // Only the pump's own thread calls this, between waits, so the next wait
  // already uses the new time.
  next_delayed_time_ = delayed_work_time;
}

}  // namespace base
