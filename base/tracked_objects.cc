#include "base/tracked_objects.h"

#include <cmath>
#include <memory>
#include <utility>

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/string_util.h"
#include "base/thread_local.h"
#include "base/waitable_event.h"

namespace tracked_objects {

using base::MessageLoop;
using base::TimeDelta;

namespace {

// Sums and squares of lifetimes wrap instead of overflowing: only lifetimes
// of centuries would reach the limit, and those are not worth undefined
// behaviour.
int64_t WrappingAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) +
                              static_cast<uint64_t>(b));
}

int64_t WrappingSquare(int64_t a) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) *
                              static_cast<uint64_t>(a));
}

// The bookkeeping that tasks call through the seam of base/tracked.h.
class TrackingHooksImpl : public TrackingHooks {
 public:
  bool IsActive() override { return ThreadData::IsActive(); }
  ThreadData* CurrentThreadData() override { return ThreadData::current(); }
  Births* BirthRecordFor(ThreadData* thread_data,
                         const Location& place) override {
    return thread_data->BirthRecordFor(place);
  }
  void CountBirth(Births* births) override { births->CountBirth(); }
  void UncountBirth(Births* births) override { births->UncountBirth(); }
  const Location& BirthPlace(const Births& births) override {
    return births.location();
  }
  void CountDeath(ThreadData* thread_data,
                  const Births& births,
                  const TimeDelta& lifetime) override {
    thread_data->CountDeath(births, lifetime);
  }
};

// Installed when tracking first starts and never taken down: tasks born
// before may die at any time, up to the very end of the process.
void InstallHooks() {
  static TrackingHooksImpl* const hooks = new TrackingHooksImpl;
  SetTrackingHooks(hooks);
}

}  // namespace

// DeathData -----------------------------------------------------------------

void DeathData::AddLife(const TimeDelta& duration) {
  ++count_;
  total_life_ += duration;
  squared_life_ =
      WrappingAdd(squared_life_, WrappingSquare(duration.InMilliseconds()));
}

int DeathData::MeanLifeMs() const {
  if (count_ == 0)
    return 0;
  return static_cast<int>(total_life_.InMilliseconds() / count_);
}

double DeathData::StandardDeviation() const {
  if (count_ == 0)
    return 0.0;
  const double mean = MeanLifeMs();
  const double variance =
      static_cast<double>(squared_life_) / count_ - mean * mean;
  // Rounding, or a mean truncated to whole milliseconds, may leave a
  // difference just below zero.
  return variance > 0.0 ? std::sqrt(variance) : 0.0;
}

void DeathData::AddDeaths(const DeathData& other) {
  count_ += other.count_;
  total_life_ += other.total_life_;
  squared_life_ = WrappingAdd(squared_life_, other.squared_life_);
}

void DeathData::Write(std::string* output) const {
  if (count_ == 0)
    return;
  if (count_ == 1) {
    base::AppendFormat(output, "(1)Life in %dms ", MeanLifeMs());
    return;
  }
  base::AppendFormat(output, "(%d)Lives %dms/life ", count_, MeanLifeMs());
}

void DeathData::Clear() {
  *this = DeathData();
}

// Places and births ----------------------------------------------------------

bool LocationOrder::operator()(const Location& left,
                               const Location& right) const {
  if (left.line_number() != right.line_number())
    return left.line_number() < right.line_number();
  const std::less<const char*> address_order;
  if (left.file_name() != right.file_name())
    return address_order(left.file_name(), right.file_name());
  return address_order(left.function_name(), right.function_name());
}

BirthOnThread::BirthOnThread(const Location& location)
    : place_(location), birth_thread_(ThreadData::current()) {}

// The loop watcher -----------------------------------------------------------

// Tells a thread's record when its loop is destroyed. One watcher serves
// the process: it is registered once with each loop that a record takes up
// and is never freed, because loops may outlive every record (a reset frees
// the records; the watcher then finds the thread's new record, or none).
class LoopWatcher : public MessageLoop::DestructionObserver {
 public:
  static LoopWatcher* Get() {
    static LoopWatcher* const watcher = new LoopWatcher;
    return watcher;
  }

  // Registers with `loop`, the calling thread's loop, unless it already is.
  void Watch(MessageLoop* loop) {
    if (watched_.Get() == loop)
      return;
    loop->AddDestructionObserver(this);
    watched_.Set(loop);
  }

  void LoopWillBeDestroyed() override {
    MessageLoop* const loop = MessageLoop::current();
    watched_.Set(nullptr);
    if (ThreadData* const record = ThreadData::FindCurrent())
      record->ForgetLoop(loop);
  }

 private:
  // Each thread's loop that the watcher is registered with. A loop that is
  // destroyed clears it, so a new loop at the same address is registered
  // afresh.
  base::ThreadSlotPointer<MessageLoop> watched_;
};

// ThreadData ------------------------------------------------------------------

// A thread slot that can be allocated and freed again: each start of
// tracking gets a fresh platform index, whose value is empty in every
// thread, so that no thread finds a record freed by a reset. The holder is
// constant-initialised, so that current() may be called before static
// constructors ran.
class ThreadData::RecordSlot {
 public:
  constexpr RecordSlot() = default;

  // False when the slot is already allocated.
  bool Initialize() {
    if (initialized())
      return false;
    slot_.store(new base::ThreadSlotPointer<ThreadData>,
                std::memory_order_release);
    return true;
  }
  bool initialized() const {
    return slot_.load(std::memory_order_acquire) != nullptr;
  }
  void Free() { delete slot_.exchange(nullptr, std::memory_order_acq_rel); }

  // Both only while initialized().
  ThreadData* Get() const {
    return slot_.load(std::memory_order_acquire)->Get();
  }
  void Set(ThreadData* record) {
    slot_.load(std::memory_order_acquire)->Set(record);
  }

 private:
  std::atomic<base::ThreadSlotPointer<ThreadData>*> slot_{nullptr};
};

ThreadData::RecordSlot ThreadData::tls_index_;
ThreadData* ThreadData::first_ = nullptr;
base::StaticLock ThreadData::list_lock_;
std::atomic<ThreadData::Status> ThreadData::status_{UNINITIALIZED};

void ThreadData::DeathCounts::AddLife(const TimeDelta& duration) {
  // Only the owning thread writes, so reading, adding and storing back
  // loses nothing.
  DeathData sum = Read();
  sum.AddLife(duration);
  count_.store(sum.count(), std::memory_order_relaxed);
  total_life_us_.store(sum.total_life().InMicroseconds(),
                       std::memory_order_relaxed);
  squared_life_.store(sum.squared_life(), std::memory_order_relaxed);
}

DeathData ThreadData::DeathCounts::Read() const {
  return DeathData(count_.load(std::memory_order_relaxed),
                   TimeDelta::FromMicroseconds(
                       total_life_us_.load(std::memory_order_relaxed)),
                   squared_life_.load(std::memory_order_relaxed));
}

ThreadData::ThreadData() = default;
ThreadData::~ThreadData() = default;

// static
ThreadData* ThreadData::current() {
  if (!tls_index_.initialized())
    return nullptr;
  if (ThreadData* const record = tls_index_.Get())
    return record;

  ThreadData* const record = new ThreadData;
  bool listed = false;
  {
    base::StaticLockGuard guard(list_lock_);
    if (status_.load() == ACTIVE) {
      record->next_ = first_;
      first_ = record;  // The list owns it from now on.
      listed = true;
    }
  }
  if (!listed) {
    delete record;  // Too late: tracking has stopped.
    return nullptr;
  }
  tls_index_.Set(record);
  record->TakeUpLoop();
  return record;
}

// static
ThreadData* ThreadData::FindCurrent() {
  return tls_index_.initialized() ? tls_index_.Get() : nullptr;
}

void ThreadData::TakeUpLoop() {
  // Only this thread writes owner_loop_, so it reads it without the lock.
  if (owner_loop_)
    return;
  MessageLoop* const loop = MessageLoop::current();
  // A dying loop still is the thread's loop while it deletes its tasks,
  // whose deaths come here; it must not be taken up again once forgotten.
  if (!loop || loop->being_destroyed())
    return;
  LoopWatcher::Get()->Watch(loop);
  base::LockGuard guard(lock_);
  owner_loop_ = loop;
}

void ThreadData::ForgetLoop(const MessageLoop* loop) {
  base::LockGuard guard(lock_);
  if (owner_loop_ != loop)
    return;
  last_loop_name_ = loop->thread_name();
  had_loop_ = true;
  owner_loop_ = nullptr;
}

Births* ThreadData::BirthRecordFor(const Location& location) {
  TakeUpLoop();
  const auto found = birth_table_.find(location);
  if (found != birth_table_.end())
    return found->second.get();

  auto births = std::make_unique<Births>(location);
  Births* const result = births.get();
  base::LockGuard guard(lock_);
  birth_table_.emplace(location, std::move(births));
  return result;
}

void ThreadData::CountDeath(const Births& lifetimes,
                            const TimeDelta& duration) {
  TakeUpLoop();
  const auto found = death_table_.find(&lifetimes);
  if (found != death_table_.end()) {
    found->second.AddLife(duration);
    return;
  }
  base::LockGuard guard(lock_);
  death_table_[&lifetimes].AddLife(duration);
}

// static
ThreadData* ThreadData::first() {
  base::StaticLockGuard guard(list_lock_);
  return first_;
}

MessageLoop* ThreadData::message_loop() const {
  base::LockGuard guard(lock_);
  return owner_loop_;
}

std::string ThreadData::ThreadName() const {
  base::LockGuard guard(lock_);
  if (owner_loop_)
    return owner_loop_->thread_name();
  if (had_loop_)
    return last_loop_name_;
  return "ThreadWithoutMessageLoop";
}

void ThreadData::CopyBirthRecords(BirthTable* output) const {
  base::LockGuard guard(lock_);
  for (const auto& [location, births] : birth_table_)
    (*output)[location] = births.get();
}

void ThreadData::CopyDeathRecords(DeathTable* output) const {
  base::LockGuard guard(lock_);
  for (const auto& [births, deaths] : death_table_)
    (*output)[births] = deaths.Read();
}

// static
bool ThreadData::SetTrackingEnabled(bool status) {
  base::StaticLockGuard guard(list_lock_);
  if (status) {
    CHECK_OR_RETURN(status_ == UNINITIALIZED, true);
    CHECK_OR_RETURN(tls_index_.Initialize(), true);
    InstallHooks();
    status_ = ACTIVE;
    return true;
  }
  CHECK_OR_RETURN(status_ == ACTIVE || status_ == SHUTDOWN, true);
  status_ = SHUTDOWN;
  return true;
}

// static
bool ThreadData::IsActive() {
  return status_.load(std::memory_order_relaxed) == ACTIVE;
}

// static
ThreadData::Status ThreadData::status() {
  return status_.load();
}

// static
void ThreadData::StopTrackingOnAllThreads() {
  SetTrackingEnabled(false);
  RunOnAllThreads(&ShutdownDisablingFurtherTracking);
}

// static
void ThreadData::ShutdownDisablingFurtherTracking() {
  base::StaticLockGuard guard(list_lock_);
  // Tracking that was never started (or was reset) stays ready to start.
  if (status_ != UNINITIALIZED)
    status_ = SHUTDOWN;
}

// static
void ThreadData::ResetTrackingData() {
  SetTrackingEnabled(false);
  ThreadData* list = nullptr;
  {
    base::StaticLockGuard guard(list_lock_);
    list = first_;
    first_ = nullptr;
  }
  while (list) {
    ThreadData* const next = list->next_;
    delete list;  // With its birth counters and both maps.
    list = next;
  }
  CHECK_OR_RETURN(tls_index_.initialized(), );
  tls_index_.Free();
  CHECK_OR_RETURN(!tls_index_.initialized(), );
  base::StaticLockGuard guard(list_lock_);
  status_ = UNINITIALIZED;
}

void ThreadData::PostToLoop(const Location& from_here, base::Task* task) {
  // Declared before the guard, so that a task not posted is deleted (and
  // counts itself down) after the lock is released.
  std::unique_ptr<base::Task> unposted(task);
  base::LockGuard guard(lock_);
  if (!owner_loop_)
    return;
  owner_loop_->QueueTask(from_here, unposted.release());
}

// static
void ThreadData::RunOnAllThreads(void (*function)()) {
  const Location here("tracked_objects::ThreadData::RunOnAllThreads", __FILE__,
                      __LINE__);
  ThreadData* const self = current();
  std::vector<ThreadData*> with_loops;
  for (ThreadData* record = first(); record; record = record->next()) {
    if (record != self && record->message_loop())
      with_loops.push_back(record);
  }

  base::WaitableEvent done(/*manual_reset=*/false,
                           /*initially_signaled=*/false);
  // One share for each loop and one for this thread, which counts down
  // last of the posters: the counter outlives the posting.
  auto* const counter = new LockedCountdown(with_loops.size() + 1);
  for (ThreadData* record : with_loops) {
    auto task =
        std::make_unique<RunOnceAllThreadsDone>(function, &done, counter);
    // The birth is counted here, while no record's lock is held. Posting,
    // under the target record's lock, counts it again at the same place,
    // which then only looks the counter up: it takes no lock of this
    // thread's record, so two threads that run this at once cannot each
    // hold the lock that the other waits for.
    task->RecordBirthPlace(here);
    // A loop destroyed since it was looked at has been forgotten: the task
    // is then deleted unrun and counts down.
    record->PostToLoop(here, task.release());
  }

  {
    RunOnceAllThreadsDone local_task(function, &done, counter);
    local_task.Run();
  }
  done.Wait();
}

// LockedCountdown
// ---------------------------------------------------------------

LockedCountdown::LockedCountdown(size_t count) : remaining_count_(count) {
  CHECK(remaining_count_ > 0);
}

bool LockedCountdown::LastCaller() {
  {
    base::LockGuard guard(lock_);
    if (--remaining_count_ != 0)
      return false;
  }
  delete this;
  return true;
}

// RunOnceAllThreadsDone
// -----------------------------------------------------------

RunOnceAllThreadsDone::RunOnceAllThreadsDone(void (*function)(),
                                             base::WaitableEvent* done_event,
                                             LockedCountdown* counter)
    : function_(function), done_event_(done_event), counter_(counter) {}

RunOnceAllThreadsDone::~RunOnceAllThreadsDone() {
  Finish();
}

void RunOnceAllThreadsDone::Run() {
  function_();
  Finish();
}

void RunOnceAllThreadsDone::Finish() {
  LockedCountdown* const counter = counter_;
  counter_ = nullptr;
  if (counter && counter->LastCaller())
    done_event_->Signal();
}

}  // namespace tracked_objects
