#ifndef BASE_THREAD_LOCAL_H_
#define BASE_THREAD_LOCAL_H_

namespace base {

namespace internal {

// The platform half of ThreadSlotPointer: one platform TLS index per call
// to AllocateSlot. Failures are reported through checked assertions.
struct ThreadSlotPointerPlatform {
  // The index that stands for "none": a failed allocation.
  static constexpr unsigned long kNoSlot = 0xFFFFFFFFul;

  static unsigned long AllocateSlot();
  static void FreeSlot(unsigned long slot);
  // Null for kNoSlot.
  static void* GetValueFromSlot(unsigned long slot);
  static void SetValueInSlot(unsigned long slot, void* value);
};

}  // namespace internal

// A pointer with a separate value in every thread, each object on a platform
// TLS index of its own (allocated by the constructor, freed by the
// destructor). The pointer reads null in every thread that has not set it.
// It owns nothing: values are not destroyed when a thread ends (see
// ThreadStorage for slots with destructors). Any thread may Get and Set its
// own value; construct and destroy the object while no thread uses it.
template <typename T>
class ThreadSlotPointer {
 public:
  ThreadSlotPointer()
      : slot_(internal::ThreadSlotPointerPlatform::AllocateSlot()) {}
  ThreadSlotPointer(const ThreadSlotPointer&) = delete;
  ThreadSlotPointer& operator=(const ThreadSlotPointer&) = delete;
  ~ThreadSlotPointer() { internal::ThreadSlotPointerPlatform::FreeSlot(slot_); }

  T* Get() const {
    return static_cast<T*>(
        internal::ThreadSlotPointerPlatform::GetValueFromSlot(slot_));
  }

  void Set(T* value) {
    internal::ThreadSlotPointerPlatform::SetValueInSlot(
        slot_, const_cast<void*>(static_cast<const void*>(value)));
  }

 private:
  unsigned long slot_;
};

}  // namespace base

#endif  // BASE_THREAD_LOCAL_H_
