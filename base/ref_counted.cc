#include "base/ref_counted.h"

#include "base/logging.h"

namespace base {

namespace {

// A plain read: the assertion it serves only catches a count released more
// often than it was taken.
bool AtomicRefCountIsZero(const std::atomic<int32_t>* count) {
  return count->load(std::memory_order_relaxed) == 0;
}

}  // namespace

// A check that fails below returns without touching the count, so that an
// object already on its way to deletion is never handed out for deletion
// again.

void SharedCountedBase::AddRef() {
  CHECK_OR_RETURN(!in_dtor_, );
  ++ref_count_;
}

bool SharedCountedBase::Release() {
  CHECK_OR_RETURN(!in_dtor_, false);
  if (--ref_count_ != 0)
    return false;
  in_dtor_ = true;
  return true;
}

SharedCountedBase::~SharedCountedBase() {
  CHECK(in_dtor_) << "RefCounted object deleted without calling Release()";
}

void SharedCountedSafeBase::AddRef() {
  CHECK_OR_RETURN(!in_dtor_, );
  ref_count_.fetch_add(1, std::memory_order_relaxed);
}

bool SharedCountedSafeBase::Release() {
  CHECK_OR_RETURN(!in_dtor_, false);
  CHECK_OR_RETURN(!AtomicRefCountIsZero(&ref_count_), false);
  // Acquire and release: the thread that deletes the object sees every
  // write that other holders made before they let go.
  if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) != 1)
    return false;
  in_dtor_ = true;
  return true;
}

SharedCountedSafeBase::~SharedCountedSafeBase() {
  CHECK(in_dtor_)
      << "RefCountedThreadSafe object deleted without calling Release()";
}

}  // namespace base
