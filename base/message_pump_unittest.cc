#include "base/message_pump_win.h"

#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/histogram.h"
#include "base/message_loop_win.h"
#include "base/message_pump_default.h"
#include "base/platform_thread.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_tasks.h"

namespace base {
namespace {

using test_support::NewTask;

class MessagePumpTest : public testing::Test {
 protected:
  // Clocks and the per-thread loop slot are process-wide objects.
  AtExitManager exit_manager_;
};

// Work that runs nothing and ends the run at its first idle moment.
class QuitWhenIdle : public MessagePump::WorkSource {
 public:
  explicit QuitWhenIdle(MessagePump* pump) : pump_(pump) {}

  bool RunImmediateWork() override {
    ++immediate_calls;
    return false;
  }
  bool RunDueDelayedWork(Time* next_delayed_work_time) override {
    *next_delayed_work_time = Time();
    return false;
  }
  bool RunIdleWork() override {
    pump_->Quit();
    return false;
  }

  int immediate_calls = 0;

 private:
  MessagePump* const pump_;
};

TEST_F(MessagePumpTest, DefaultPumpRunsAgainAfterItsRunEnded) {
  shared_ref<MessagePumpDefault> pump(new MessagePumpDefault);
  QuitWhenIdle work(pump.get());
  pump->Run(&work);
  pump->Run(&work);
  EXPECT_EQ(work.immediate_calls, 2);

  // A Quit outside Run ends the next run at once, and only that one.
  test_support::ScopedCheckRecorder recorder;
  pump->Quit();
  pump->Run(&work);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: keep_running_. Quit must "
                                     "have been called outside of Run!"});
  EXPECT_EQ(work.immediate_calls, 3);
  pump->Run(&work);
  EXPECT_EQ(work.immediate_calls, 4);
  EXPECT_EQ(recorder.messages().size(), 1U);
}

TEST(MessagePumpWinTest, DelayIsRoundedUpAndNeverNegative) {
  struct Case {
    int64_t ahead_us;  // From now to the delayed time.
    int delay_ms;
  };
  const Case kCases[] = {
      {5200, 6},  {5000, 5},
      {1, 1},     {0, 0},
      {-3000, 0}, {-1, 0},
      {999, 1},   {int64_t{30} * 24 * 3600 * 1000000, INT_MAX},
  };
  const Time now = Time::FromInternalValue(int64_t{13} * 1000000 * 1000000);
  for (const Case& c : kCases) {
    EXPECT_EQ(MessagePumpWin::DelayMsUntil(
                  now + TimeDelta::FromMicroseconds(c.ahead_us), now),
              c.delay_ms)
        << c.ahead_us << " us ahead";
  }
  // No delayed time at all.
  EXPECT_EQ(MessagePumpWin::DelayMsUntil(Time(), now), -1);
}

TEST(MessagePumpWinTest, TimerRunsNoFasterThanTheSystemMinimum) {
  struct Case {
    int delay_ms;
    UINT period_ms;
  };
  const Case kCases[] = {{0, 10},  {3, 10},  {6, 10},
                         {10, 10}, {11, 11}, {250, 250}};
  for (const Case& c : kCases)
    EXPECT_EQ(MessagePumpForUI::TimerPeriodMs(c.delay_ms), c.period_ms)
        << c.delay_ms;
}

// A UI loop whose pump a test may look at.
class InspectableUILoop : public MessageLoopForUI {
 public:
  MessagePumpForUI* ui_pump() const {
    return static_cast<MessagePumpForUI*>(pump().get());
  }
};

// Takes the work messages off the calling thread's queue; the first one is
// kept in `first`.
int TakeWorkMessages(HWND hwnd, MSG* first) {
  int count = 0;
  MSG msg;
  while (PeekMessageW(&msg, hwnd, MessagePumpForUI::kMsgHaveWork,
                      MessagePumpForUI::kMsgHaveWork, PM_REMOVE)) {
    if (count++ == 0)
      *first = msg;
  }
  return count;
}

// Posts `count` tasks, and asks for a wake-up after each.
class TaskPoster : public PlatformThread::Body {
 public:
  TaskPoster(InspectableUILoop* loop, int count, int* deleted)
      : loop_(loop), count_(count), deleted_(deleted) {}

  void RunThread() override {
    for (int i = 0; i < count_; ++i) {
      int* const deleted = deleted_;
      loop_->QueueTask(
          CURRENT_LOCATION,
          new test_support::FunctionTask(nullptr, [deleted] { ++*deleted; }));
      loop_->ui_pump()->RequestWakeup();
    }
  }

 private:
  InspectableUILoop* const loop_;
  const int count_;
  int* const deleted_;  // Counted on the loop's thread.
};

TEST_F(MessagePumpTest, ThousandPostsWhileTheLoopSleepsLeaveOneWorkMessage) {
  constexpr int kPosts = 1000;
  int deleted = 0;
  {
    InspectableUILoop loop;
    TaskPoster poster(&loop, kPosts, &deleted);
    ThreadHandle thread = nullptr;
    ASSERT_TRUE(PlatformThread::Create(0, &poster, &thread));
    PlatformThread::Join(thread);

    MSG work = {};
    EXPECT_EQ(TakeWorkMessages(loop.ui_pump()->message_hwnd(), &work), 1);
    EXPECT_EQ(work.wParam, reinterpret_cast<WPARAM>(loop.ui_pump()));
    // Until the message is handled, no other is posted.
    EXPECT_TRUE(loop.ui_pump()->wakeup_pending());
  }
  // None of the posts was lost.
  EXPECT_EQ(deleted, kPosts);
}

TEST_F(MessagePumpTest, ForgedWorkMessagesAreIgnored) {
  // A work message with another wParam, as any process on the desktop may
  // post one, before or after the pump's own.
  struct Case {
    const char* name;
    bool forged_first;
    bool with_task;
  };
  const Case kCases[] = {
      {"forged alone", true, false},
      {"forged before a real one", true, true},
      {"forged after a real one", false, true},
  };
  for (const Case& c : kCases) {
    InspectableUILoop loop;
    const HWND hwnd = loop.ui_pump()->message_hwnd();
    auto forge = [hwnd] {
      return PostMessageW(hwnd, MessagePumpForUI::kMsgHaveWork, 0x1234, 0);
    };
    bool ran = false;
    if (c.forged_first) {
      ASSERT_TRUE(forge()) << c.name;
    }
    if (c.with_task)
      loop.QueueTask(CURRENT_LOCATION, NewTask([&ran] { ran = true; }));
    if (!c.forged_first) {
      ASSERT_TRUE(forge()) << c.name;
    }

    // Outside a run, the window procedure ignores it as well.
    SendMessageW(hwnd, MessagePumpForUI::kMsgHaveWork, 0x1234, 0);
    EXPECT_EQ(loop.ui_pump()->wakeup_pending(), c.with_task) << c.name;

    // A forged message taken for the pump's own would fail the pump's
    // checks, which fail the test.
    loop.RunUntilDrained();
    EXPECT_EQ(ran, c.with_task) << c.name;
    EXPECT_FALSE(loop.ui_pump()->wakeup_pending()) << c.name;
    MSG left;
    EXPECT_FALSE(PeekMessageW(&left, hwnd, 0, 0, PM_REMOVE)) << c.name;
  }
}

TEST_F(MessagePumpTest, FailedWakeupPostLeavesNoWakeupPending) {
  shared_ref<MessagePumpForUI> pump(new MessagePumpForUI);
  // Without its window the post fails, as it does when the queue is full.
  ASSERT_TRUE(DestroyWindow(pump->message_hwnd()));
  pump->RequestWakeup();
  EXPECT_FALSE(pump->wakeup_pending());
}

TEST_F(MessagePumpTest, QuitMessageEndsTheInnermostRunAndIsPostedAgain) {
  InspectableUILoop loop;
  std::string order;
  loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                   order += "<";
                   loop.QueueTask(CURRENT_LOCATION,
                                  NewTask([] { PostQuitMessage(7); }));
                   loop.SetNestableTasksAllowed(true);
                   loop.Run();
                   order += ">";
                 }));
  // Ends when the quit message, posted again by the nested run, reaches it.
  loop.Run();
  EXPECT_EQ(order, "<>");

  MSG quit;
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7U);
}

// Notes the application messages it sees, before and after each.
class MessageLog : public MessagePumpWin::Observer, public MessageDispatcher {
 public:
  explicit MessageLog(UINT refuse) : refuse_(refuse) {}

  void BeforeMessage(const MSG& msg) override { Note("b", msg); }
  void AfterMessage(const MSG& msg) override { Note("a", msg); }
  bool Dispatch(const MSG& msg) override {
    Note("d", msg);
    return msg.message != refuse_;
  }

  std::string log;

 private:
  void Note(const char* what, const MSG& msg) {
    if (msg.message >= WM_APP && msg.message < WM_APP + 10)
      log += what + std::to_string(msg.message - WM_APP) + " ";
  }

  const UINT refuse_;
};

TEST_F(MessagePumpTest, DispatcherThatRefusesAMessageEndsTheRun) {
  InspectableUILoop loop;
  MessageLog log(WM_APP + 2);
  loop.AddObserver(&log);
  for (UINT message : {WM_APP + 1, WM_APP + 2, WM_APP + 3})
    ASSERT_TRUE(PostMessageW(nullptr, message, 0, 0));

  loop.Run(&log);
  // The refused message's observers still hear of it.
  EXPECT_EQ(log.log, "b1 d1 a1 b2 d2 a2 ");
  MSG left;
  ASSERT_TRUE(PeekMessageW(&left, nullptr, WM_APP, WM_APP + 9, PM_REMOVE));
  EXPECT_EQ(left.message, static_cast<UINT>(WM_APP + 3));
  loop.RemoveObserver(&log);
}

TEST_F(MessagePumpTest, TasksRunInsideAForeignMessageLoop) {
  InspectableUILoop loop;
  std::string order;
  loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                   loop.SetNestableTasksAllowed(true);
                   loop.QueueTask(CURRENT_LOCATION,
                                  NewTask([&] { order += "i"; }));
                   loop.QueueDelayedTask(CURRENT_LOCATION, NewTask([&] {
                                           order += "d";
                                           PostQuitMessage(0);
                                         }),
                                         15);
                   // A loop of someone else's, like a menu's or a message
                   // box's: the work message and the timer reach the pump
                   // through its window.
                   MSG msg;
                   while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                     TranslateMessage(&msg);
                     DispatchMessageW(&msg);
                   }
                   order += "|";
                 }));
  loop.RunUntilDrained();
  EXPECT_EQ(order, "id|");
}

// A visible window that counts its paint messages.
class PaintedWindow {
 public:
  PaintedWindow() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KelvoPaintedWindow";
    RegisterClassExW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0,
                            0, 50, 50, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  PaintedWindow(const PaintedWindow&) = delete;
  PaintedWindow& operator=(const PaintedWindow&) = delete;
  ~PaintedWindow() { DestroyWindow(hwnd_); }

  HWND hwnd() const { return hwnd_; }
  int paints = 0;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd,
                                  UINT message,
                                  WPARAM wparam,
                                  LPARAM lparam) {
    if (message == WM_PAINT) {
      auto* const self = reinterpret_cast<PaintedWindow*>(
          GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (self)
        ++self->paints;
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
};

TEST_F(MessagePumpTest, PendingPaintMessagesArePumpedOutDuringATask) {
  HistogramRegistry registry;
  InspectableUILoop loop;
  PaintedWindow window;
  ASSERT_TRUE(window.hwnd());
  int paints_in_task = -1;
  loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                   window.paints = 0;
                   InvalidateRect(window.hwnd(), nullptr, FALSE);
                   loop.PumpOutPendingPaintMessages();
                   paints_in_task = window.paints;
                 }));
  loop.RunUntilDrained();
  EXPECT_EQ(paints_in_task, 1);
  // The pump counted the messages that it found.
  Histogram* const peeks = HistogramRegistry::FindHistogram(
      "Loop.PumpOutPendingPaintMessages Peeks");
  ASSERT_TRUE(peeks);
  Histogram::SampleCounts samples;
  peeks->CopySamples(&samples);
  EXPECT_EQ(samples.TotalCount(), 1);
  EXPECT_EQ(samples.sum(), 1);

  // Outside a run, nothing is pumped, nor counted.
  InvalidateRect(window.hwnd(), nullptr, FALSE);
  window.paints = 0;
  loop.PumpOutPendingPaintMessages();
  EXPECT_EQ(window.paints, 0);
  peeks->CopySamples(&samples);
  EXPECT_EQ(samples.TotalCount(), 1);
  ValidateRect(window.hwnd(), nullptr);
}

}  // namespace
}  // namespace base
