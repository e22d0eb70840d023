#include "base/thread_collision_warner.h"

#include <utility>

#include "base/logging.h"

namespace base {

void FatalCollisionReporter::warn() {
  NOTREACHED() << "Thread Collision";
}

ThreadCollisionChecker::ThreadCollisionChecker()
    : reporter_(std::make_unique<FatalCollisionReporter>()) {}

ThreadCollisionChecker::ThreadCollisionChecker(
    std::unique_ptr<CollisionReporter> reporter)
    : reporter_(reporter ? std::move(reporter)
                         : std::make_unique<FatalCollisionReporter>()) {}

ThreadCollisionChecker::~ThreadCollisionChecker() = default;

PlatformThreadId ThreadCollisionChecker::TakeOwnership(
    PlatformThreadId caller) {
  PlatformThreadId previous = 0;
  owner_thread_id_.compare_exchange_strong(previous, caller);
  return previous;
}

void ThreadCollisionChecker::Enter() {
  if (TakeOwnership(PlatformThread::CurrentId()) != 0)
    reporter_->warn();
  counter_.fetch_add(1);
}

void ThreadCollisionChecker::EnterReentrant() {
  const PlatformThreadId caller = PlatformThread::CurrentId();
  const PlatformThreadId previous = TakeOwnership(caller);
  if (previous != 0 && previous != caller)
    reporter_->warn();
  counter_.fetch_add(1);
}

void ThreadCollisionChecker::Leave() {
  if (counter_.fetch_sub(1) == 1)
    owner_thread_id_.store(0);
}

}  // namespace base
