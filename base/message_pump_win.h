#ifndef BASE_MESSAGE_PUMP_WIN_H_
#define BASE_MESSAGE_PUMP_WIN_H_

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/message_pump.h"
#include "base/observer_list.h"
#include "base/time.h"

namespace base {

// Takes the window messages of a run of a UI loop in place of the usual
// translate-and-dispatch. Called on the loop's thread.
class MessageDispatcher {
 public:
  virtual ~MessageDispatcher() = default;
  // Handles `msg`; false ends the run once the message's observers were
  // told.
  virtual bool Dispatch(const MSG& msg) = 0;
};

// The common part of the Windows pumps (window messages, I/O completions):
// nested runs with their quit flags, observers of window messages, the
// delay until the next delayed task, and the flag that keeps at most one
// wake-up (a work message or a completion packet) in flight.
//
// Everything except RequestWakeup runs on the pump's thread.
class MessagePumpWin : public MessagePump {
 public:
  // Told about each window message a UI pump handles, before and after it
  // is dispatched. Called on the pump's thread.
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void BeforeMessage(const MSG& msg) = 0;
    virtual void AfterMessage(const MSG& msg) = 0;
  };

  MessagePumpWin();
  MessagePumpWin(const MessagePumpWin&) = delete;
  MessagePumpWin& operator=(const MessagePumpWin&) = delete;
  ~MessagePumpWin() override;

  // Observers are not owned; remove them before they go away.
  void AddObserver(Observer* observer);
  void RemoveObserver(Observer* observer);
  void BeforeMessage(const MSG& msg);
  void AfterMessage(const MSG& msg);

  // A run whose window messages go to `dispatcher` (none: translate and
  // dispatch).
  void RunWithMessageDispatcher(WorkSource* delegate,
                                MessageDispatcher* dispatcher);

  void Run(WorkSource* delegate) override;
  // Ends the innermost run; calling it while not running is a failed check.
  void Quit() override;

  // Whether a wake-up is in flight: set from a request until its message or
  // packet is taken. Any thread; the answer may be stale at once.
  bool wakeup_pending() const { return wakeup_pending_.load() != 0; }

  // The whole milliseconds from `now` until `next_delayed_time`, rounded up
  // so that delayed work never runs early; 0 when that time has passed, -1
  // when it is null (no delayed work). Waits too long for a 32-bit count
  // are held at its largest value.
  static int DelayMsUntil(const Time& next_delayed_time, const Time& now);

 protected:
  // One active run, on the stack of the Run that made it.
  struct RunState {
    WorkSource* delegate;
    MessageDispatcher* dispatcher;  // Null for a plain run.
    bool quit_flag;                 // The run ends at its next check.
    int run_depth;                  // 1 for the outermost run.
  };

  // Calls the work source and waits until `state_->quit_flag` is set.
  virtual void PumpLoop() = 0;

  // DelayMsUntil for `next_delayed_time_` and now.
  int CurrentDelayMs() const;

  ObserverList<Observer> observers_;
  Time next_delayed_time_;  // Null while no delayed work is waiting.
  // 1 from a wake-up request until its message or packet is taken off the
  // queue; changed only by atomic exchanges, from any thread.
  std::atomic<int32_t> wakeup_pending_{0};
  RunState* state_ = nullptr;  // The innermost run; null when not running.
};

// The pump of a UI loop: interleaves the loop's tasks with the thread's
// window messages. Tasks are announced by a work message (0x401) posted to
// a hidden message-only window of class "Zephra_MessagePumpWindow", at most
// one at a time; delayed tasks are also backed by a timer on that window, so
// that they run while a foreign modal loop (a menu, a message box) pumps the
// thread's messages.
//
// Made, run and destroyed on one thread, which owns the window;
// RequestWakeup may come from any thread. The window accepts a work message
// only when it carries this pump's address (kept in the window's user data):
// any process on the desktop can post to the window, and a forged message
// is ignored.
class MessagePumpForUI : public MessagePumpWin {
 public:
  // The work message.
  static constexpr UINT kMsgHaveWork = WM_USER + 1;

  MessagePumpForUI();
  ~MessagePumpForUI() override;

  void RequestWakeup() override;
  void RequestDelayedWakeup(const Time& delayed_work_time) override;

  // Handles the paint messages waiting in the thread's queue (at most 20),
  // so that windows are repainted during long work. Only while running.
  void PumpOutPendingPaintMessages();

  HWND message_hwnd() const { return message_hwnd_; }

  // The period of the timer set for a delay of `delay_ms`: the system's
  // timers run no faster than every 10 ms.
  static UINT TimerPeriodMs(int delay_ms);

 private:
  static LRESULT CALLBACK WndProcThunk(HWND hwnd,
                                       UINT message,
                                       WPARAM wparam,
                                       LPARAM lparam);

  void PumpLoop() override;
  // The work message dispatched by someone else's message loop.
  void HandleWorkMessage();
  void HandleTimerMessage();
  // Handles the next message of the queue; true when there was one (or
  // sent messages were handled inside the peek).
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& msg);
  // Takes the work message's place: handles the next message instead, so
  // that a stream of work messages does not starve the others.
  bool ProcessPumpReplacementMessage();
  void WaitForWork();

  // True for a work message to our window that this pump did not post.
  bool IsForgedWorkMessage(const MSG& msg) const;

  HWND message_hwnd_ = nullptr;
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_WIN_H_
