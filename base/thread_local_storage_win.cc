#include "base/thread_local_storage.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "base/logging.h"

namespace base {

namespace {

// The number of slots that have been handed out so far, bounded by the
// table's size.
int UsedSlotCount(int high_water_mark) {
  return std::min(high_water_mark, kThreadLocalStorageSize);
}

}  // namespace

std::atomic<unsigned long> ThreadStorage::tls_key_{TLS_OUT_OF_INDEXES};
std::atomic<int> ThreadStorage::tls_max_{1};
std::atomic<ThreadStorage::Destructor>
    ThreadStorage::destructors_[kThreadLocalStorageSize];

void** ThreadStorage::CreateTable() {
  unsigned long key = tls_key_.load(std::memory_order_acquire);
  if (key == TLS_OUT_OF_INDEXES) {
    const DWORD value = TlsAlloc();
    CHECK_OR_RETURN(value != TLS_OUT_OF_INDEXES, nullptr);
    // Another thread may have installed its index meanwhile; then its index
    // is the one, and ours goes back.
    if (tls_key_.compare_exchange_strong(key, value,
                                         std::memory_order_acq_rel)) {
      key = value;
    } else {
      TlsFree(value);
    }
  }
  // Only reached from a thread without a table.
  CHECK(TlsGetValue(tls_key_) == NULL);

  auto table = std::make_unique<void*[]>(kThreadLocalStorageSize);
  if (!TlsSetValue(key, table.get()))
    return nullptr;
  return table.release();
}

void** ThreadStorage::Table() {
  const unsigned long key = tls_key_.load(std::memory_order_acquire);
  if (key != TLS_OUT_OF_INDEXES) {
    if (void* table = TlsGetValue(key))
      return static_cast<void**>(table);
  }
  return CreateTable();
}

void ThreadStorage::RunDestructors() {
  const unsigned long key = tls_key_.load(std::memory_order_acquire);
  if (key == TLS_OUT_OF_INDEXES)
    return;
  void** const table = static_cast<void**>(TlsGetValue(key));
  if (!table)
    return;

  // One pass, by increasing slot number, null values included. The table
  // stays installed while destructors run, so that one that reads or writes
  // a slot finds this thread's values instead of making a new table that
  // nobody would free. Each entry is cleared before its destructor sees the
  // value, so no destructor meets a value twice: one that leaves a marker in
  // its own slot is not called again with the marker.
  for (int slot = 0; slot < UsedSlotCount(tls_max_.load()); ++slot) {
    const Destructor destructor = destructors_[slot].load();
    if (!destructor)
      continue;
    void* const value = table[slot];
    table[slot] = nullptr;
    destructor(value);
  }

  TlsSetValue(key, nullptr);
  std::unique_ptr<void*[]> release(table);
}

ThreadStorage::Key::Key(Destructor destructor) {
  initialized_ = false;
  Initialize(destructor);
}

bool ThreadStorage::Key::Initialize(Destructor destructor) {
  if (!Table())
    return false;
  // The counter never passes the table's size, however often callers try.
  int slot = tls_max_.load();
  do {
    if (slot >= kThreadLocalStorageSize) {
      NOTREACHED();
      return false;
    }
  } while (!tls_max_.compare_exchange_weak(slot, slot + 1));

  destructors_[slot].store(destructor);
  slot_ = slot;
  initialized_ = true;
  return true;
}

void ThreadStorage::Key::Free() {
  if (slot_ >= 0 && slot_ < kThreadLocalStorageSize)
    destructors_[slot_].store(nullptr);
  initialized_ = false;
}

void* ThreadStorage::Key::Get() const {
  CHECK_OR_RETURN(slot_ >= 0 && slot_ < kThreadLocalStorageSize, nullptr);
  void** const table = Table();
  return table ? table[slot_] : nullptr;
}

void ThreadStorage::Key::Set(void* value) {
  CHECK_OR_RETURN(slot_ >= 0 && slot_ < kThreadLocalStorageSize, );
  void** const table = Table();
  if (table)
    table[slot_] = value;
}

// Called by the loader on every thread and process event of the image.
struct ThreadStorageExitHook {
  static void NTAPI OnThreadEvent(PVOID /*module*/,
                                  DWORD reason,
                                  PVOID /*reserved*/) {
    // A thread's end, or the process's end for the thread that ends it:
    // other threads are gone by then without a notification.
    if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH)
      ThreadStorage::RunDestructors();
  }
};

}  // namespace base

// The entry in the image's TLS callback table. The runtime bounds that table
// with the sections .CRT$XLA and .CRT$XLZ and the linker orders the .CRT$XL*
// sections by name, so this pointer lands inside it. It sits in the same
// object file as the Key code: every program that uses a Key links it.
extern "C" {
__attribute__((section(".CRT$XLB"), used))
PIMAGE_TLS_CALLBACK kelvo_thread_storage_exit_callback =
    &base::ThreadStorageExitHook::OnThreadEvent;
}
