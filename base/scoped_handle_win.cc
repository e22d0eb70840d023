#include "base/scoped_handle_win.h"

#include "base/logging.h"

namespace base {

OwnedHandle& OwnedHandle::operator=(OwnedHandle&& other) noexcept {
  if (this != &other)
    Set(other.Take());
  return *this;
}

void OwnedHandle::Set(HANDLE handle) {
  // Closing the handle that is being set again would leave the holder with
  // a dead number, which a later close would take from whatever object
  // reuses it.
  if (handle == handle_)
    return;
  Close();
  if (handle != INVALID_HANDLE_VALUE)
    handle_ = handle;
}

void OwnedHandle::Close() {
  if (!handle_)
    return;
  if (!CloseHandle(handle_))
    NOTREACHED();
  handle_ = nullptr;
}

HANDLE OwnedHandle::Take() {
  HANDLE handle = handle_;
  handle_ = nullptr;
  return handle;
}

}  // namespace base
