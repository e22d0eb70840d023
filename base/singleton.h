#ifndef BASE_SINGLETON_H_
#define BASE_SINGLETON_H_

#include <atomic>
#include <cstdint>

#include "base/at_exit.h"
#include "base/platform_thread.h"

namespace base {

// The lazily created, process-wide single instance of `Type`.
//
// `get()` creates the instance on first use, on whichever thread asks first,
// without a lock: the first caller claims the instance word and builds the
// object while later callers yield until its address appears. The instance
// is destroyed by the at-exit manager (which must exist when it is created);
// a later `get()` then creates a fresh one. Any thread may call `get()`.
template <typename Type>
class Singleton {
 public:
  Singleton() = delete;

  static Type* get() {
    uintptr_t value = instance_.load(std::memory_order_acquire);
    if (value != kEmpty && value != kBeingCreated)
      return reinterpret_cast<Type*>(value);

    uintptr_t expected = kEmpty;
    if (instance_.compare_exchange_strong(expected, kBeingCreated,
                                          std::memory_order_acq_rel)) {
      Type* const instance = new Type();
      instance_.store(reinterpret_cast<uintptr_t>(instance),
                      std::memory_order_release);
      AtExitManager::RegisterCallback(&OnExit, nullptr);
      return instance;
    }

    while ((value = instance_.load(std::memory_order_acquire)) ==
           kBeingCreated) {
      PlatformThread::YieldThread();
    }
    return reinterpret_cast<Type*>(value);
  }

 private:
  static constexpr uintptr_t kEmpty = 0;
  static constexpr uintptr_t kBeingCreated = 1;

  static void OnExit(void*) {
    delete reinterpret_cast<Type*>(instance_.exchange(kEmpty));
  }

  // 0: not created; 1: being created; otherwise the instance's address.
  static inline std::atomic<uintptr_t> instance_{kEmpty};
};

}  // namespace base

#endif  // BASE_SINGLETON_H_
