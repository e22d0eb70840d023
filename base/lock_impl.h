#ifndef BASE_LOCK_IMPL_H_
#define BASE_LOCK_IMPL_H_

#include "base/platform_thread.h"

namespace base {

// A mutual-exclusion lock held by one thread at a time.
//
// Built on a critical section that spins 2000 times before it blocks. The
// lock keeps its own bookkeeping of the owning thread and the recursion
// depth, so that misuse (recursive acquisition, releasing a lock not held) is
// reported through a checked assertion instead of silently working here and
// failing elsewhere. The first recursive acquisition of each lock is reported
// once. Not copyable; any thread may acquire it.
class Lock {
 public:
  Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock();

  void Acquire();
  // Returns false at once, changing nothing, when another thread holds the
  // lock.
  bool Try();
  void Release();

  // Asserts that the calling thread holds the lock.
  void CheckHeldByCaller() const;

 private:
  // Bookkeeping after the critical section was entered.
  void RecordAcquisition();

  // The platform's CRITICAL_SECTION, kept opaque so that this header does
  // not bring in the Windows headers; lock_impl_win.cc checks the size.
  alignas(void*) unsigned char section_[48];
  PlatformThreadId owning_thread_id_ = 0;  // 0 while released.
  int recursion_count_shadow_ = 0;         // Acquisitions not yet released.
  bool recursion_warned_ = false;          // Recursion is reported once.
};

// Holds `lock` for the lifetime of the guard.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
  ~LockGuard() {
    lock_.CheckHeldByCaller();
    lock_.Release();
  }

 private:
  Lock& lock_;
};

// A lock for process-wide state that must work before static constructors
// run and after static destructors ran: constant-initialised (a global
// `StaticLock` needs no constructor to run) and never torn down. Built on a
// slim reader/writer lock taken exclusively; it keeps no bookkeeping and
// takes no logging lock, so code on the crash path may use it. Not
// recursive. Any thread may acquire it.
class StaticLock {
 public:
  constexpr StaticLock() = default;
  StaticLock(const StaticLock&) = delete;
  StaticLock& operator=(const StaticLock&) = delete;

  void Acquire();
  void Release();

 private:
  friend class StaticCondition;
  // The platform's SRWLOCK, one pointer wide; all zeros is its initial
  // state. Kept opaque so that this header brings in no Windows headers.
  void* srw_lock_ = nullptr;
};

// Holds a StaticLock for the lifetime of the guard.
class StaticLockGuard {
 public:
  explicit StaticLockGuard(StaticLock& lock) : lock_(lock) { lock_.Acquire(); }
  StaticLockGuard(const StaticLockGuard&) = delete;
  StaticLockGuard& operator=(const StaticLockGuard&) = delete;
  ~StaticLockGuard() { lock_.Release(); }

 private:
  StaticLock& lock_;
};

// A condition variable to wait on under a StaticLock, constant-initialised
// and never torn down like the lock. Waiters re-test their condition after
// every wake-up.
class StaticCondition {
 public:
  constexpr StaticCondition() = default;
  StaticCondition(const StaticCondition&) = delete;
  StaticCondition& operator=(const StaticCondition&) = delete;

  // Releases `lock`, which the caller holds, until woken, then takes it
  // again.
  void Wait(StaticLock& lock);
  void WakeAll();

 private:
  void* condition_ = nullptr;  // The platform's CONDITION_VARIABLE.
};

}  // namespace base

#endif  // BASE_LOCK_IMPL_H_
