#ifndef BASE_IO_COMPLETION_PUMP_WIN_H_
#define BASE_IO_COMPLETION_PUMP_WIN_H_

#include <windows.h>

#include <list>

#include "base/message_pump_win.h"
#include "base/scoped_handle_win.h"

namespace base {

class IOCompletionHandler;

// What a handler passes as the OVERLAPPED of each asynchronous operation on
// a file attached to an I/O pump. The record must stay alive until the
// operation's completion has been delivered. A handler that goes away
// before then sets `handler` to null and leaves the record to the pump,
// which deletes it when the completion arrives: such a record must have
// been made with `new IORequest`.
struct IORequest {
  OVERLAPPED overlapped;  // First, so that the system hands back our address.
  IOCompletionHandler* handler;
};

// Receives the completions of the operations on the files it was attached
// with. Called on the pump's thread.
class IOCompletionHandler {
 public:
  virtual ~IOCompletionHandler() = default;
  // `error` is 0 for success, else the system error code; a failed
  // operation reports 0 bytes.
  virtual void HandleIOCompletion(IORequest* context,
                                  DWORD bytes_transfered,
                                  DWORD error) = 0;
};

// The pump of an I/O loop: interleaves the loop's tasks with the
// completions of asynchronous operations on the files attached to it. It
// waits on one I/O completion port; each file is associated with the port
// under its handler's address, and the pump's own wake-ups arrive as
// packets addressed to the pump itself (at most one at a time).
//
// Made, run and destroyed on one thread, where all completions are
// delivered; RequestWakeup may come from any thread, and operations may be
// started on any thread. The loop cannot be run nested.
class MessagePumpForIO : public MessagePumpWin {
 public:
  // A completion taken off the port.
  struct IOItem {
    IOCompletionHandler* handler;  // The completion key.
    IORequest* context;            // The OVERLAPPED.
    DWORD bytes_transfered;
    DWORD error;  // 0 for success.
  };

  MessagePumpForIO();
  ~MessagePumpForIO() override;

  void RequestWakeup() override;
  void RequestDelayedWakeup(const Time& delayed_work_time) override;

  // Sends the completions of `file_handle`'s operations to `handler`. The
  // file must have been opened for overlapped I/O.
  void AttachIOHandler(HANDLE file_handle, IOCompletionHandler* handler);

  // Waits up to `timeout` ms for a completion and delivers it. With a
  // `filter`, only that handler's completions are delivered; others taken
  // meanwhile are kept, in order, for a later call. True when something was
  // done (a completion delivered, kept or disposed of, or a wake-up taken),
  // false when nothing came in time.
  bool AwaitIOCompletion(DWORD timeout, IOCompletionHandler* filter);

  // The completion port, for tests that queue packets of their own.
  HANDLE completion_port() const { return port_.get(); }

 private:
  void PumpLoop() override;
  void WaitForWork();
  // Takes the next completion off the port; false when none came in time.
  bool GetIOItem(DWORD timeout, IOItem* item);
  // Moves the first kept completion for `filter` (any, without one) into
  // `item`.
  bool MatchCompletedIOItem(IOCompletionHandler* filter, IOItem* item);
  // Consumes the pump's own wake-up packet; false for any other.
  bool ProcessInternalIOItem(const IOItem& item);

  OwnedHandle port_;
  // Completions taken while waiting for another handler's; first in, first
  // out.
  std::list<IOItem> completed_io_;
};

}  // namespace base

#endif  // BASE_IO_COMPLETION_PUMP_WIN_H_
