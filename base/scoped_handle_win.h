#ifndef BASE_SCOPED_HANDLE_WIN_H_
#define BASE_SCOPED_HANDLE_WIN_H_

#include <windows.h>

namespace base {

// The owning holder of one kernel handle: closes it when replaced or
// destroyed. INVALID_HANDLE_VALUE is never held (the holder stays empty).
// Movable, not copyable; the holder itself is not thread-safe.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) { Set(handle); }
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Take()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept;
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Close(); }

  // Closes the current handle, then holds `handle`. Setting the handle
  // already held changes nothing.
  void Set(HANDLE handle);
  // Closes the handle, if any; the holder is empty afterwards.
  void Close();
  // Gives up ownership without closing.
  HANDLE Take();

  HANDLE get() const { return handle_; }
  bool is_valid() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;  // Null when empty.
};

}  // namespace base

#endif  // BASE_SCOPED_HANDLE_WIN_H_
