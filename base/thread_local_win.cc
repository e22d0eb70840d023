#include "base/thread_local.h"

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace internal {

static_assert(ThreadSlotPointerPlatform::kNoSlot == TLS_OUT_OF_INDEXES,
              "kNoSlot must be the platform's failed index");

unsigned long ThreadSlotPointerPlatform::AllocateSlot() {
  const DWORD slot = TlsAlloc();
  CHECK(slot != TLS_OUT_OF_INDEXES);
  return slot;
}

void ThreadSlotPointerPlatform::FreeSlot(unsigned long slot) {
  // A failed allocation was reported when it happened; there is nothing to
  // give back.
  if (slot == kNoSlot)
    return;
  if (!TlsFree(slot))
    NOTREACHED() << "Failed to deallocate tls slot with TlsFree().";
}

void* ThreadSlotPointerPlatform::GetValueFromSlot(unsigned long slot) {
  if (slot == kNoSlot)
    return nullptr;
  return TlsGetValue(slot);
}

void ThreadSlotPointerPlatform::SetValueInSlot(unsigned long slot,
                                               void* value) {
  if (!TlsSetValue(slot, value))
    NOTREACHED() << "Failed to TlsSetValue().";
}

}  // namespace internal
}  // namespace base
