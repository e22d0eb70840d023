#ifndef BASE_WAITABLE_EVENT_H_
#define BASE_WAITABLE_EVENT_H_

#include <cstddef>

namespace base {

class TimeDelta;

// A signal between threads: the owner of one unnamed Windows event object.
//
// The kind is fixed at construction. A manual-reset event stays signalled
// until Reset; an automatic-reset event is consumed by the wait that it
// releases (IsSet counts as such a wait), so one Signal releases exactly one
// waiter. Failed system calls are checked assertions; after one the waits
// answer false (WaitMany: 0).
//
// Any thread may signal, reset or wait at any time; the event object does
// the synchronisation. The object must not be destroyed while another thread
// waits on it. Not copyable.
class WaitableEvent {
 public:
  // Windows limits a wait for any of many objects to this many.
  static constexpr size_t kMaxWaitMany = 64;

  WaitableEvent(bool manual_reset, bool initially_signaled);
  // Adopts `handle` (a Windows event HANDLE), which must not be null.
  explicit WaitableEvent(void* handle);
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;
  ~WaitableEvent();

  // Gives up the handle: the caller owns it from now on, and this object
  // holds the invalid handle value (all bits set) and closes nothing.
  void* Release();

  void Reset();
  void Signal();

  // A wait that does not block: true when the event was signalled.
  bool IsSet();

  // Waits without a time limit; true when the event was signalled.
  bool Wait();

  // Waits at most `max_time`, rounded up to whole milliseconds; true when
  // signalled, false on time-out. Waits beyond the longest finite wait of
  // the platform (0xFFFFFFFE ms, about 49.7 days) wait that long; a
  // negative time is a failed check and polls.
  bool WaitFor(const TimeDelta& max_time);

  // Waits without a time limit for any one of `count` events (at most
  // kMaxWaitMany) and returns the index of the signalled one; when several
  // are signalled, the lowest index. Too many events is a failed check that
  // waits for nothing and returns 0.
  static size_t WaitMany(WaitableEvent** events, size_t count);

  // The event's HANDLE, for pumps that wait on it among other objects.
  void* handle() const { return handle_; }

 private:
  void* handle_;
};

}  // namespace base

#endif  // BASE_WAITABLE_EVENT_H_
