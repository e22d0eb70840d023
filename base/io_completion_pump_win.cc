#include "base/io_completion_pump_win.h"

#include "base/logging.h"

namespace base {

MessagePumpForIO::MessagePumpForIO()
    : port_(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)) {
  // Written out so that the report names the holder's test as it has
  // always read.
  if (!port_.is_valid())
    LOG(FATAL) << "Check failed: port_.IsValid(). ";
}

MessagePumpForIO::~MessagePumpForIO() = default;

void MessagePumpForIO::RequestWakeup() {
  if (wakeup_pending_.exchange(1))
    return;  // A wake-up packet is already in the port.
  const BOOL ret = PostQueuedCompletionStatus(
      port_.get(), 0, reinterpret_cast<ULONG_PTR>(this),
      reinterpret_cast<OVERLAPPED*>(this));
  // Without a packet in the port, the next request must post again.
  if (!ret)
    wakeup_pending_.store(0);
  CHECK(ret);
}

void MessagePumpForIO::RequestDelayedWakeup(const Time& delayed_work_time) {
  // Only the pump's own thread calls this, so it is not waiting, and its
  // next wait uses the new time.
  next_delayed_time_ = delayed_work_time;
}

void MessagePumpForIO::AttachIOHandler(HANDLE file_handle,
                                       IOCompletionHandler* handler) {
  const HANDLE port = CreateIoCompletionPort(
      file_handle, port_.get(), reinterpret_cast<ULONG_PTR>(handler), 1);
  if (port != port_.get())
    LOG(FATAL) << "Check failed: port == port_.Get(). ";
}

void MessagePumpForIO::PumpLoop() {
  for (;;) {
    bool more_work_is_plausible = state_->delegate->RunImmediateWork();
    if (state_->quit_flag)
      break;

    // At most one completion that is already there, without waiting.
    more_work_is_plausible |= AwaitIOCompletion(0, nullptr);
    if (state_->quit_flag)
      break;

    more_work_is_plausible |=
        state_->delegate->RunDueDelayedWork(&next_delayed_time_);
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

void MessagePumpForIO::WaitForWork() {
  // A nested run would take completions meant for the handlers of the run
  // below it.
  CHECK(state_->run_depth == 1) << "Cannot nest an IO message loop!";

  const int delay = CurrentDelayMs();
  const DWORD timeout = delay < 0 ? INFINITE : static_cast<DWORD>(delay);
  AwaitIOCompletion(timeout, nullptr);
}

bool MessagePumpForIO::AwaitIOCompletion(DWORD timeout,
                                         IOCompletionHandler* filter) {
  IOItem item;
  if (completed_io_.empty() || !MatchCompletedIOItem(filter, &item)) {
    if (!GetIOItem(timeout, &item))
      return false;
    if (ProcessInternalIOItem(item))
      return true;
    // A packet without an OVERLAPPED was queued by someone else; it carries
    // no request of ours.
    if (!item.context)
      return true;
  }

  if (!item.context->handler) {
    // Its handler is gone and left the request to us.
    delete item.context;
    return true;
  }

  if (filter && item.handler != filter) {
    completed_io_.push_back(item);
    return true;
  }

  CHECK(item.context->handler == item.handler);
  item.handler->HandleIOCompletion(item.context, item.bytes_transfered,
                                   item.error);
  return true;
}

bool MessagePumpForIO::GetIOItem(DWORD timeout, IOItem* item) {
  *item = IOItem();
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  if (!GetQueuedCompletionStatus(port_.get(), &item->bytes_transfered, &key,
                                 &overlapped, timeout)) {
    if (!overlapped)
      return false;  // Nothing was taken: a time-out, or the port failed.
    // A failed operation.
    item->error = GetLastError();
    item->bytes_transfered = 0;
  }
  item->handler = reinterpret_cast<IOCompletionHandler*>(key);
  item->context = reinterpret_cast<IORequest*>(overlapped);
  return true;
}

bool MessagePumpForIO::MatchCompletedIOItem(IOCompletionHandler* filter,
                                            IOItem* item) {
  CHECK_OR_RETURN(!completed_io_.empty(), false);
  for (auto it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool MessagePumpForIO::ProcessInternalIOItem(const IOItem& item) {
  const void* const self = this;
  if (self != static_cast<const void*>(item.context) ||
      self != static_cast<const void*>(item.handler)) {
    return false;
  }
  // The wake-up packet is taken: the next request posts a new one.
  CHECK(!item.bytes_transfered);
  wakeup_pending_.store(0);
  return true;
}

}  // namespace base
