#include "base/waitable_event.h"

#include <windows.h>

#include <cmath>

#include "base/logging.h"
#include "base/time.h"

namespace base {

static_assert(WaitableEvent::kMaxWaitMany == MAXIMUM_WAIT_OBJECTS,
              "kMaxWaitMany must be the platform's limit");

namespace {

// INFINITE is all bits set, so the longest finite wait is one below it.
constexpr DWORD kLongestFiniteWaitMs = INFINITE - 1;

// `max_time` rounded up to whole milliseconds, held within the finite
// waits: a longer wait must neither wrap to a short one nor become endless.
DWORD TimeoutInMilliseconds(const TimeDelta& max_time) {
  const double ms = std::ceil(max_time.InMillisecondsF());
  if (!(ms > 0))
    return 0;
  if (ms >= kLongestFiniteWaitMs)
    return kLongestFiniteWaitMs;
  return static_cast<DWORD>(ms);
}

}  // namespace

WaitableEvent::WaitableEvent(bool manual_reset, bool initially_signaled)
    : handle_(
          CreateEventW(nullptr, manual_reset, initially_signaled, nullptr)) {
  CHECK(handle_);
}

WaitableEvent::WaitableEvent(void* handle) : handle_(handle) {
  CHECK(handle) << "Tried to create WaitableEvent from NULL handle";
}

WaitableEvent::~WaitableEvent() {
  // Nothing to close after Release, or after a failed creation.
  if (handle_ && handle_ != INVALID_HANDLE_VALUE)
    CloseHandle(handle_);
}

void* WaitableEvent::Release() {
  void* const handle = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  return handle;
}

void WaitableEvent::Reset() {
  ResetEvent(handle_);
}

void WaitableEvent::Signal() {
  SetEvent(handle_);
}

bool WaitableEvent::IsSet() {
  return WaitFor(TimeDelta());
}

bool WaitableEvent::Wait() {
  const DWORD result = WaitForSingleObject(handle_, INFINITE);
  CHECK(result == WAIT_OBJECT_0) << "WaitForSingleObject failed";
  return result == WAIT_OBJECT_0;
}

bool WaitableEvent::WaitFor(const TimeDelta& max_time) {
  CHECK(max_time >= TimeDelta::FromMicroseconds(0));
  const DWORD result =
      WaitForSingleObject(handle_, TimeoutInMilliseconds(max_time));
  switch (result) {
    case WAIT_OBJECT_0:
      return true;
    case WAIT_TIMEOUT:
      return false;
  }
  NOTREACHED() << "WaitForSingleObject failed";
  return false;
}

// static
size_t WaitableEvent::WaitMany(WaitableEvent** events, size_t count) {
  CHECK_OR_RETURN(
      count <= MAXIMUM_WAIT_OBJECTS, 0,
      "Can only wait on " << MAXIMUM_WAIT_OBJECTS << " with WaitMany");
  HANDLE handles[MAXIMUM_WAIT_OBJECTS] = {};
  for (size_t i = 0; i < count; ++i)
    handles[i] = events[i]->handle();

  const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(count),
                                              handles, FALSE, INFINITE);
  if (result < WAIT_OBJECT_0 + count)
    return result - WAIT_OBJECT_0;
  // Read before the message is made, which may change it.
  const DWORD error = GetLastError();
  NOTREACHED() << "WaitForMultipleObjects failed: " << error;
  return 0;
}

}  // namespace base
