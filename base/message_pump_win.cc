#include "base/message_pump_win.h"

#include <cmath>
#include <limits>

#include "base/histogram.h"
#include "base/logging.h"
#include "base/singleton.h"
#include "base/windows_version.h"

namespace base {

namespace {

constexpr wchar_t kWndClass[] = L"Zephra_MessagePumpWindow";

// Paint messages handled by one PumpOutPendingPaintMessages at most.
constexpr int kMaxPaintPeeks = 20;

// How many paint messages each PumpOutPendingPaintMessages found. Made on
// first use, for the whole process; UI loops on several threads may pump.
struct PaintPeeksHistogram {
  ThreadSafeHistogram histogram{"Loop.PumpOutPendingPaintMessages Peeks", 1,
                                1000000, 50};
};

void RecordPaintPeeks(int peeks) {
  Singleton<PaintPeeksHistogram>::get()->histogram.Add(peeks);
}

}  // namespace

// ---------------------------------------------------------------------------
// MessagePumpWin

MessagePumpWin::MessagePumpWin() = default;

MessagePumpWin::~MessagePumpWin() = default;

void MessagePumpWin::AddObserver(Observer* observer) {
  observers_.AddObserver(observer);
}

void MessagePumpWin::RemoveObserver(Observer* observer) {
  observers_.RemoveObserver(observer);
}

void MessagePumpWin::BeforeMessage(const MSG& msg) {
  ObserverList<Observer>::Iterator it(observers_);
  while (Observer* observer = it.GetNext())
    observer->BeforeMessage(msg);
}

void MessagePumpWin::AfterMessage(const MSG& msg) {
  ObserverList<Observer>::Iterator it(observers_);
  while (Observer* observer = it.GetNext())
    observer->AfterMessage(msg);
}

void MessagePumpWin::RunWithMessageDispatcher(WorkSource* delegate,
                                              MessageDispatcher* dispatcher) {
  RunState state;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  state.quit_flag = false;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;

  RunState* const previous_state = state_;
  state_ = &state;
  PumpLoop();
  state_ = previous_state;
}

void MessagePumpWin::Run(WorkSource* delegate) {
  RunWithMessageDispatcher(delegate, nullptr);
}

void MessagePumpWin::Quit() {
  CHECK_OR_RETURN(state_, );
  state_->quit_flag = true;
}

// static
int MessagePumpWin::DelayMsUntil(const Time& next_delayed_time,
                                 const Time& now) {
  if (next_delayed_time.is_null())
    return -1;
  const double ms = std::ceil((next_delayed_time - now).InMillisecondsF());
  if (ms <= 0)
    return 0;
  if (ms >= std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  return static_cast<int>(ms);
}

int MessagePumpWin::CurrentDelayMs() const {
  if (next_delayed_time_.is_null())
    return -1;
  return DelayMsUntil(next_delayed_time_, Time::Now());
}

// ---------------------------------------------------------------------------
// MessagePumpForUI

MessagePumpForUI::MessagePumpForUI() {
  HINSTANCE instance = GetModuleHandleW(nullptr);

  // The class stays registered for the process; a second pump (on another
  // thread) finds it there, and its registration fails harmlessly.
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &WndProcThunk;
  wc.hInstance = instance;
  wc.lpszClassName = kWndClass;
  RegisterClassExW(&wc);

  message_hwnd_ = CreateWindowExW(0, kWndClass, nullptr, 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, instance, nullptr);
  CHECK_OR_RETURN(message_hwnd_, );
  // The window procedure finds its pump here, and only here: the wParam of
  // a posted message is whatever its sender chose.
  SetWindowLongPtrW(message_hwnd_, GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(this));
}

MessagePumpForUI::~MessagePumpForUI() {
  if (!message_hwnd_)
    return;
  // The last reference may be a posting thread's, after the loop is gone;
  // there the window cannot be destroyed and lives on until its thread
  // ends. Without its pump in the user data it ignores every message.
  SetWindowLongPtrW(message_hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(message_hwnd_);
}

// static
UINT MessagePumpForUI::TimerPeriodMs(int delay_ms) {
  if (delay_ms < static_cast<int>(USER_TIMER_MINIMUM))
    return USER_TIMER_MINIMUM;
  return static_cast<UINT>(delay_ms);
}

void MessagePumpForUI::RequestWakeup() {
  if (wakeup_pending_.exchange(1))
    return;  // A work message is already on its way.
  if (PostMessageW(message_hwnd_, kMsgHaveWork, reinterpret_cast<WPARAM>(this),
                   0)) {
    return;
  }
  // No message is in flight (the queue may be full): the next request must
  // try again, or the loop would never be woken by a post again.
  wakeup_pending_.store(0);
}

void MessagePumpForUI::RequestDelayedWakeup(const Time& delayed_work_time) {
  next_delayed_time_ = delayed_work_time;
  const int delay_msec = CurrentDelayMs();
  CHECK(delay_msec >= 0);
  // One timer per pump, its id the pump's address: setting it again
  // replaces it.
  SetTimer(message_hwnd_, reinterpret_cast<UINT_PTR>(this),
           TimerPeriodMs(delay_msec), nullptr);
}

void MessagePumpForUI::PumpOutPendingPaintMessages() {
  if (!state_)
    return;

  const bool old_windows = WindowsRelease() <= WINREL_2000;
  int peeks_with_message = 0;
  while (peeks_with_message < kMaxPaintPeeks) {
    MSG msg;
    const BOOL found =
        old_windows
            ? PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)
            : PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT);
    if (!found)
      break;
    ++peeks_with_message;
    ProcessMessageHelper(msg);
    if (state_->quit_flag)
      break;
  }
  RecordPaintPeeks(peeks_with_message);
}

// static
LRESULT CALLBACK MessagePumpForUI::WndProcThunk(HWND hwnd,
                                                UINT message,
                                                WPARAM wparam,
                                                LPARAM lparam) {
  auto* const pump = reinterpret_cast<MessagePumpForUI*>(
      GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (pump && wparam == reinterpret_cast<WPARAM>(pump)) {
    switch (message) {
      case kMsgHaveWork:
        pump->HandleWorkMessage();
        break;
      case WM_TIMER:
        pump->HandleTimerMessage();
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool MessagePumpForUI::IsForgedWorkMessage(const MSG& msg) const {
  return msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_ &&
         msg.wParam != reinterpret_cast<WPARAM>(this);
}

void MessagePumpForUI::PumpLoop() {
  for (;;) {
    bool more_work_is_plausible = ProcessNextWindowsMessage();
    if (state_->quit_flag)
      break;

    more_work_is_plausible |= state_->delegate->RunImmediateWork();
    if (state_->quit_flag)
      break;

    more_work_is_plausible |=
        state_->delegate->RunDueDelayedWork(&next_delayed_time_);
    // All delayed work is done: the timer has nothing left to back.
    if (more_work_is_plausible && next_delayed_time_.is_null())
      KillTimer(message_hwnd_, reinterpret_cast<UINT_PTR>(this));
    if (state_->quit_flag)
      break;
    if (more_work_is_plausible)
      continue;

    more_work_is_plausible = state_->delegate->RunIdleWork();
    if (state_->quit_flag)
      break;
    if (more_work_is_plausible)
      continue;

    WaitForWork();
  }
}

void MessagePumpForUI::HandleWorkMessage() {
  // Not running (a message box of our own thread dispatched it, say): the
  // tasks wait for the next run.
  if (!state_) {
    wakeup_pending_.store(0);
    return;
  }
  ProcessPumpReplacementMessage();
  if (state_->delegate->RunImmediateWork())
    RequestWakeup();
}

void MessagePumpForUI::HandleTimerMessage() {
  KillTimer(message_hwnd_, reinterpret_cast<UINT_PTR>(this));
  if (!state_)
    return;
  state_->delegate->RunDueDelayedWork(&next_delayed_time_);
  if (!next_delayed_time_.is_null())
    RequestDelayedWakeup(next_delayed_time_);
}

bool MessagePumpForUI::ProcessNextWindowsMessage() {
  // PeekMessageW handles sent messages inside and reports none of them, so
  // their presence counts as work done: look again rather than sleep.
  const DWORD queue_status = GetQueueStatus(QS_SENDMESSAGE);
  const bool sent_messages_in_queue =
      (HIWORD(queue_status) & QS_SENDMESSAGE) != 0;

  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    return ProcessMessageHelper(msg);
  return sent_messages_in_queue;
}

bool MessagePumpForUI::ProcessMessageHelper(const MSG& msg) {
  if (msg.message == WM_QUIT) {
    // Ends this run, and is posted again so that the loop outside sees it
    // too.
    state_->quit_flag = true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }

  if (msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_) {
    if (IsForgedWorkMessage(msg))
      return true;  // Dropped.
    return ProcessPumpReplacementMessage();
  }

  BeforeMessage(msg);
  if (state_->dispatcher) {
    if (!state_->dispatcher->Dispatch(msg))
      state_->quit_flag = true;
  } else {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  AfterMessage(msg);
  return true;
}

bool MessagePumpForUI::ProcessPumpReplacementMessage() {
  MSG msg;
  bool have_message = false;
  do {
    have_message = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
    // Forged work messages are dropped here too; only this pump's own can be
    // the one that the flag forbids.
  } while (have_message && IsForgedWorkMessage(msg));
  CHECK(!have_message || kMsgHaveWork != msg.message ||
        msg.hwnd != message_hwnd_);

  // The work message is off the queue: the next request posts a new one.
  const int32_t old_have_work = wakeup_pending_.exchange(0);
  CHECK(old_have_work);

  if (!have_message)
    return false;

  // The message may enter a native modal loop; a new work message keeps the
  // tasks running in there.
  RequestWakeup();
  return ProcessMessageHelper(msg);
}

void MessagePumpForUI::WaitForWork() {
  const int delay = CurrentDelayMs();
  const DWORD timeout = delay < 0 ? INFINITE : static_cast<DWORD>(delay);

  const DWORD result = MsgWaitForMultipleObjectsEx(
      0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result == WAIT_OBJECT_0) {
    // Mouse input of another thread's window that shares this thread's
    // input state wakes the wait but is not ours to take: wait for a message
    // of our own instead of spinning.
    const DWORD queue_status = GetQueueStatus(QS_MOUSE);
    MSG msg;
    if ((HIWORD(queue_status) & QS_MOUSE) &&
        !PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST,
                      PM_NOREMOVE)) {
      WaitMessage();
    }
    return;
  }

  const DWORD error = GetLastError();
  // The condition is WAIT_FAILED spelled out, as the check has always read.
  CHECK(((DWORD)0xFFFFFFFF) != result) << error;
}

}  // namespace base
