#ifndef BASE_MESSAGE_LOOP_WIN_H_
#define BASE_MESSAGE_LOOP_WIN_H_

#include <windows.h>

#include "base/io_completion_pump_win.h"
#include "base/message_loop.h"
#include "base/message_pump_win.h"

namespace base {

// A loop of type TYPE_UI, whose tasks are interleaved with the thread's
// window messages. Same thread rules as MessageLoop.
class MessageLoopForUI : public MessageLoop {
 public:
  MessageLoopForUI() : MessageLoop(TYPE_UI) {}

  using MessageLoop::Run;
  // A run whose window messages go to `message_dispatcher` instead of being
  // translated and dispatched.
  void Run(MessageDispatcher* message_dispatcher);

  void AddObserver(MessagePumpWin::Observer* observer);
  void RemoveObserver(MessagePumpWin::Observer* observer);
  void BeforeMessage(const MSG& msg);
  void AfterMessage(const MSG& msg);
  void PumpOutPendingPaintMessages();

 private:
  MessagePumpForUI* pump_ui() const;
};

// A loop of type TYPE_IO, whose tasks are interleaved with the completions
// of asynchronous I/O. Same thread rules as MessageLoop; it cannot be run
// nested.
class MessageLoopForIO : public MessageLoop {
 public:
  MessageLoopForIO() : MessageLoop(TYPE_IO) {}

  void AttachIOHandler(HANDLE file, IOCompletionHandler* handler);
  bool AwaitIOCompletion(DWORD timeout, IOCompletionHandler* filter);

 private:
  MessagePumpForIO* pump_io() const;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_WIN_H_
