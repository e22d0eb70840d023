#ifndef BASE_REF_COUNTED_H_
#define BASE_REF_COUNTED_H_

#include <atomic>
#include <cstdint>

#include "base/thread_collision_warner.h"

// Reference-counted objects and the holder of one reference.
//
// An object derives from SharedCounted<T> (one thread) or
// SharedCountedSafe<T> (any threads) and starts with a count of 0; the
// Release that brings the count back to 0 deletes it, exactly once. Using
// the object's count after that, and deleting it any other way, are failed
// checks. Owners normally hold a shared_ref<T> rather than calling AddRef and
// Release themselves.

namespace base {

// The count of an object used on one thread only; no locking.
class SharedCountedBase {
 public:
  SharedCountedBase(const SharedCountedBase&) = delete;
  SharedCountedBase& operator=(const SharedCountedBase&) = delete;

  void AddRef();
  // True when this was the last reference: the caller deletes the object.
  bool Release();

 protected:
  SharedCountedBase() = default;
  ~SharedCountedBase();

 private:
  int32_t ref_count_ = 0;
  bool in_dtor_ = false;  // Set by the Release that reached 0.
  // Constructed and destroyed with the object; the count does not enter it.
  ThreadCollisionChecker collision_checker_;
};

// The count of an object shared between threads: changed only by atomic
// adds, so that releases on two threads at once free the object once.
class SharedCountedSafeBase {
 public:
  SharedCountedSafeBase(const SharedCountedSafeBase&) = delete;
  SharedCountedSafeBase& operator=(const SharedCountedSafeBase&) = delete;

  void AddRef();
  // True for exactly one caller, the one that released the last reference:
  // it deletes the object.
  bool Release();

 protected:
  SharedCountedSafeBase() = default;
  ~SharedCountedSafeBase();

 private:
  std::atomic<int32_t> ref_count_{0};
  // Written only by the Release that reached 0, when no other reference is
  // left to race with it.
  bool in_dtor_ = false;
};

// Base of a single-thread reference-counted `T`; deletes it as a `T`.
template <typename T>
class SharedCounted : public SharedCountedBase {
 public:
  void AddRef() { SharedCountedBase::AddRef(); }
  void Release() {
    if (SharedCountedBase::Release())
      delete static_cast<T*>(this);
  }

 protected:
  SharedCounted() = default;
  ~SharedCounted() = default;
};

// Base of a reference-counted `T` that any thread may hold and release.
template <typename T>
class SharedCountedSafe : public SharedCountedSafeBase {
 public:
  void AddRef() { SharedCountedSafeBase::AddRef(); }
  void Release() {
    if (SharedCountedSafeBase::Release())
      delete static_cast<T*>(this);
  }

 protected:
  SharedCountedSafe() = default;
  ~SharedCountedSafe() = default;
};

// Holds one reference to a `T`, or null. Copying takes another reference;
// the holder itself is a plain value for one thread at a time.
template <typename T>
class shared_ref {
 public:
  shared_ref() = default;
  shared_ref(T* object) : object_(object) {
    if (object_)
      object_->AddRef();
  }
  shared_ref(const shared_ref& other) : shared_ref(other.object_) {}
  ~shared_ref() {
    if (object_)
      object_->Release();
  }

  // The new object's reference is taken before the old one is released, so
  // that assigning an object to its own holder never frees it.
  shared_ref& operator=(T* object) {
    if (object)
      object->AddRef();
    if (object_)
      object_->Release();
    object_ = object;
    return *this;
  }
  shared_ref& operator=(const shared_ref& other) {
    return *this = other.object_;
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

}  // namespace base

#endif  // BASE_REF_COUNTED_H_
