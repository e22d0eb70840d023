#include "base/lock_impl.h"

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace {

CRITICAL_SECTION* Section(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

Lock::Lock() {
  static_assert(sizeof(section_) >= sizeof(CRITICAL_SECTION),
                "Lock::section_ cannot hold a CRITICAL_SECTION");
  static_assert(alignof(void*) >= alignof(CRITICAL_SECTION),
                "Lock::section_ is under-aligned");
  InitializeCriticalSectionAndSpinCount(Section(section_), 2000);
}

Lock::~Lock() {
  DeleteCriticalSection(Section(section_));
}

void Lock::Acquire() {
  EnterCriticalSection(Section(section_));
  RecordAcquisition();
}

bool Lock::Try() {
  if (!TryEnterCriticalSection(Section(section_)))
    return false;
  RecordAcquisition();
  return true;
}

void Lock::Release() {
  --recursion_count_shadow_;
  CHECK(0 <= recursion_count_shadow_);
  if (recursion_count_shadow_ < 0) {
    // The caller does not hold the lock. Leaving a critical section that is
    // not entered corrupts it, and a count left below 0 would make every
    // later acquisition look unheld: report the misuse once, change nothing.
    recursion_count_shadow_ = 0;
    return;
  }
  owning_thread_id_ = 0;
  LeaveCriticalSection(Section(section_));
}

void Lock::CheckHeldByCaller() const {
  CHECK(recursion_count_shadow_ > 0);
  CHECK_EQ(owning_thread_id_, PlatformThread::CurrentId());
}

void Lock::RecordAcquisition() {
  owning_thread_id_ = PlatformThread::CurrentId();
  CHECK_NE(owning_thread_id_, 0);
  ++recursion_count_shadow_;
  if (recursion_count_shadow_ == 2 && !recursion_warned_) {
    recursion_warned_ = true;
    NOTREACHED();
  }
}

static_assert(sizeof(void*) == sizeof(SRWLOCK), "StaticLock holds an SRWLOCK");
static_assert(sizeof(void*) == sizeof(CONDITION_VARIABLE),
              "StaticCondition holds a CONDITION_VARIABLE");

void StaticLock::Acquire() {
  AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_lock_));
}

void StaticLock::Release() {
  ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_lock_));
}

void StaticCondition::Wait(StaticLock& lock) {
  SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&condition_),
                            reinterpret_cast<SRWLOCK*>(&lock.srw_lock_),
                            INFINITE, 0);
}

void StaticCondition::WakeAll() {
  WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&condition_));
}

}  // namespace base
