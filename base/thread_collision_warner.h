#ifndef BASE_THREAD_COLLISION_WARNER_H_
#define BASE_THREAD_COLLISION_WARNER_H_

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/platform_thread.h"

namespace base {

// Told when a second thread enters a section meant for one.
class CollisionReporter {
 public:
  virtual ~CollisionReporter() = default;
  // Called on the thread that entered second.
  virtual void warn() = 0;
};

// The default reporter: the fatal checked failure "Thread Collision".
class FatalCollisionReporter : public CollisionReporter {
 public:
  void warn() override;
};

// Checks that an object meant for one thread at a time is not entered by
// two: Enter (or EnterReentrant) at the start of each guarded section, Leave
// at its end. A thread that enters while another is inside is reported to
// the reporter, once per such entry, and counted in like any other entry;
// the owner is cleared when the last entered section is left.
//
// Owns its reporter, so it is not copyable. Any thread may enter and leave;
// the owner and the nesting count change only by atomic operations.
class ThreadCollisionChecker {
 public:
  // Reports through a FatalCollisionReporter.
  ThreadCollisionChecker();
  // Reports through `reporter`; null takes the fatal one.
  explicit ThreadCollisionChecker(std::unique_ptr<CollisionReporter> reporter);
  ThreadCollisionChecker(const ThreadCollisionChecker&) = delete;
  ThreadCollisionChecker& operator=(const ThreadCollisionChecker&) = delete;
  ~ThreadCollisionChecker();

  // Enters a section that not even the owning thread may enter again.
  void Enter();
  // Enters a section that the owning thread may enter again.
  void EnterReentrant();
  void Leave();

 private:
  // Takes the section for the calling thread; returns the previous owner
  // (0 when there was none).
  PlatformThreadId TakeOwnership(PlatformThreadId caller);

  std::atomic<PlatformThreadId> owner_thread_id_{0};  // 0 when none inside.
  std::atomic<int32_t> counter_{0};                   // Entries not yet left.
  const std::unique_ptr<CollisionReporter> reporter_;
};

}  // namespace base

#endif  // BASE_THREAD_COLLISION_WARNER_H_
