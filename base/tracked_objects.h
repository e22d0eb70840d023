#ifndef BASE_TRACKED_OBJECTS_H_
#define BASE_TRACKED_OBJECTS_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/lock_impl.h"
#include "base/task.h"
#include "base/time.h"
#include "base/tracked.h"

namespace base {
class MessageLoop;
class WaitableEvent;
}  // namespace base

// Task tracking: per source location and per thread, how many tracked
// objects (tasks) were born and how long those that died lived.
//
// Every thread that makes or destroys tracked objects while tracking is on
// gets one ThreadData record, found through a thread slot and chained into a
// process-wide list. A record holds a birth map (for each place at which
// objects were born on its thread, one Births counter) and a death map (for
// each birth counter whose objects died on its thread, the number of deaths
// and their summed lifetimes). A thread writes only its own maps, so
// counting needs no lock once a place has been seen; other threads copy the
// maps under the record's lock.
//
// Tasks reach these records through the TrackingHooks seam of
// base/tracked.h, installed when tracking starts.

namespace tracked_objects {

class Comparator;
class Snapshot;
class ThreadData;

// The deaths of objects born at one place that died on one thread: their
// number, summed lifetimes, and the sum of the squares of the lifetimes in
// whole milliseconds. A plain copyable value.
class DeathData {
 public:
  DeathData() = default;
  // `count` objects with no lifetime: objects still alive.
  explicit DeathData(int count) : count_(count) {}
  DeathData(int count, base::TimeDelta total_life, int64_t squared_life)
      : count_(count), total_life_(total_life), squared_life_(squared_life) {}

  // One more death after `duration`; the square adds the whole
  // milliseconds (truncated) squared.
  void AddLife(const base::TimeDelta& duration);

  int count() const { return count_; }
  base::TimeDelta total_life() const { return total_life_; }
  int64_t squared_life() const { return squared_life_; }

  // The total life in whole milliseconds divided by the count, truncated
  // toward zero; 0 when there are no deaths.
  int MeanLifeMs() const;
  // The spread of the lifetimes in milliseconds around MeanLifeMs(); 0 when
  // there are no deaths.
  double StandardDeviation() const;

  void AddDeaths(const DeathData& other);

  // Appends "(1)Life in <mean>ms " for one death, "(<count>)Lives
  // <mean>ms/life " for more, and nothing for none.
  void Write(std::string* output) const;

  void Clear();

 private:
  int count_ = 0;
  base::TimeDelta total_life_;
  int64_t squared_life_ = 0;  // ms².
};

// The order of places in every map keyed by Location: by line, then by the
// address of the file-name string, then by that of the function name. Two
// places are one key only when they use the very same literals and line.
struct LocationOrder {
  bool operator()(const Location& left, const Location& right) const;
};

// A place of birth and the record of the thread that counts births there.
class BirthOnThread {
 public:
  // The birth thread is the calling thread's record (null when it has
  // none).
  explicit BirthOnThread(const Location& location);
  BirthOnThread(const BirthOnThread&) = delete;
  BirthOnThread& operator=(const BirthOnThread&) = delete;

  const Location& location() const { return place_; }
  const ThreadData* birth_thread() const { return birth_thread_; }

 private:
  const Location place_;
  const ThreadData* const birth_thread_;
};

// The births counted at one place on one thread. Made by that thread's
// BirthRecordFor and owned by its record until ResetTrackingData; death
// maps and snapshots point at it. The count is the thread's own, except
// that a birth may be forgotten (moved to another place) from any thread.
class Births : public BirthOnThread {
 public:
  explicit Births(const Location& location) : BirthOnThread(location) {}

  void CountBirth() { births_.fetch_add(1, std::memory_order_relaxed); }
  void UncountBirth() { births_.fetch_sub(1, std::memory_order_relaxed); }
  int birth_count() const { return births_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> births_{0};
};

// One thread's tracking record, and the process-wide switch and list of
// all records.
//
// A record is made by its thread (current()) and lives, with its data, in
// the list until ResetTrackingData, also after its thread has ended. Its
// own thread counts births and deaths on it; any thread may read it through
// the copy operations and ThreadName(). A record knows its thread's message
// loop while the loop lives: it takes the loop up at its next birth or
// death once the loop exists, and forgets it, keeping the thread's name,
// when the loop is destroyed.
class ThreadData {
 public:
  using BirthTable = std::map<Location, Births*, LocationOrder>;
  using DeathTable = std::map<const Births*, DeathData>;

  enum Status {
    UNINITIALIZED = 0,  // Never started, or reset.
    ACTIVE = 1,         // Counting.
    SHUTDOWN = 2,       // Existing records count; no new ones are made.
  };

  ThreadData(const ThreadData&) = delete;
  ThreadData& operator=(const ThreadData&) = delete;

  // The calling thread's record, made on first use; null while tracking was
  // never started, and for a thread without one once it has stopped.
  static ThreadData* current();

  // This thread's counter for `location`, made on first use. On the
  // record's own thread; the caller counts the birth.
  Births* BirthRecordFor(const Location& location);

  // Counts one death, after `duration`, of an object born at `lifetimes`.
  // On the record's own thread: the thread where the object died.
  void CountDeath(const Births& lifetimes, const base::TimeDelta& duration);

  // The newest record; the list runs from it through next().
  static ThreadData* first();
  ThreadData* next() const { return next_; }

  // The thread's loop while the record knows one, else null. Only the
  // record's own thread may use the loop it names.
  base::MessageLoop* message_loop() const;

  // The loop's thread name while the record knows a loop; the name the
  // last one had once it is destroyed; "ThreadWithoutMessageLoop" for a
  // thread that never had one. Any thread.
  std::string ThreadName() const;

  // Copies of the maps, taken under the record's lock; the counts inside
  // may be a moment old. Any thread.
  void CopyBirthRecords(BirthTable* output) const;
  void CopyDeathRecords(DeathTable* output) const;

  // true starts tracking (once; a second start is a failed check); false
  // stops it, keeping what was counted. Always returns true.
  static bool SetTrackingEnabled(bool status);
  // Whether tracking is ACTIVE. Read without a lock.
  static bool IsActive();
  static Status status();

  // Stops tracking and then has every thread with a loop pass through the
  // list lock, so that each has seen the change. Afterwards no thread makes
  // a new record; existing records still count what is reported to them.
  static void StopTrackingOnAllThreads();
  // Marks tracking as shut down; run on every thread by the above.
  static void ShutdownDisablingFurtherTracking();

  // Stops tracking and frees every record with its data, so that tracking
  // can start afresh. For the end of the process, when only the calling
  // thread is left: no other thread may count, report or run a loop, and no
  // tracked object born before may be alive once tracking starts again.
  static void ResetTrackingData();

  // Runs `function` on every thread whose record knows a loop (as a task
  // posted to it) and on the calling thread, and returns when every copy
  // has run, or has been deleted unrun by a loop destroyed first. A thread
  // whose loop is never run nor destroyed keeps the caller waiting.
  static void RunOnAllThreads(void (*function)());

  // The "About Objects" page for `query` (see tracking_report.h), appended
  // to `output`; nothing while tracking is not active.
  static void WriteHtmlReport(const std::string& query, std::string* output);
  // The totals and the groups of snapshots `match_array`, in its order, as
  // `comparator` groups them.
  static void WriteHTMLTotalAndSubtotals(
      const std::vector<Snapshot>& match_array,
      const Comparator& comparator,
      std::string* output);

 private:
  friend class LoopWatcher;

  // The deaths of one birth counter on this thread. Only the owning thread
  // writes them, without the lock; the fields are atomic so that a copy
  // taken meanwhile reads whole values, though perhaps from two moments.
  class DeathCounts {
   public:
    void AddLife(const base::TimeDelta& duration);
    DeathData Read() const;

   private:
    std::atomic<int> count_{0};
    std::atomic<int64_t> total_life_us_{0};
    std::atomic<int64_t> squared_life_{0};
  };

  ThreadData();
  ~ThreadData();

  // The calling thread's record, or null; makes none.
  static ThreadData* FindCurrent();
  // Takes up the thread's loop when the record knows none and the thread
  // has one that is not being destroyed. On the record's own thread.
  void TakeUpLoop();
  // Forgets `loop`, keeping its thread name. On the loop's thread, as it
  // is destroyed.
  void ForgetLoop(const base::MessageLoop* loop);
  // Posts `task` to the record's loop if it knows one (under the lock, so
  // that the loop cannot be destroyed meanwhile). Otherwise the task is
  // deleted here, unrun.
  void PostToLoop(const Location& from_here, base::Task* task);

  ThreadData* next_ = nullptr;  // Set before the record is listed.
  // Written by the owning thread under lock_; read by others under lock_.
  base::MessageLoop* owner_loop_ = nullptr;
  std::map<Location, std::unique_ptr<Births>, LocationOrder> birth_table_;
  std::map<const Births*, DeathCounts> death_table_;
  // The name of the last loop forgotten; empty with !had_loop_.
  std::string last_loop_name_;
  bool had_loop_ = false;
  // Guards insertions into the two maps, owner_loop_, last_loop_name_ and
  // had_loop_, and the copies that other threads take.
  mutable base::Lock lock_;

  // The slot of each thread's record; see tracked_objects.cc.
  class RecordSlot;
  static RecordSlot tls_index_;
  static ThreadData* first_;  // Guarded by list_lock_.
  // Guards first_ and changes of status_; never torn down, so that records
  // can be made before static constructors ran and after destructors did.
  static base::StaticLock list_lock_;
  static std::atomic<Status> status_;
};

// Counts down from a number of callers; the last caller learns that it was
// the last, and frees the counter. Any thread.
class LockedCountdown {
 public:
  explicit LockedCountdown(size_t count);
  LockedCountdown(const LockedCountdown&) = delete;
  LockedCountdown& operator=(const LockedCountdown&) = delete;

  // True for exactly one caller, the last, which must not use the counter
  // afterwards: it is deleted.
  bool LastCaller();

 private:
  size_t remaining_count_;  // Guarded by lock_.
  base::Lock lock_;
};

// One copy of the work of RunOnAllThreads: runs the function, then counts
// down; the last to count down signals the event that the caller waits
// on. A copy deleted unrun (by a loop destroyed with it queued) still counts
// down, so that the caller is not left waiting for it.
class RunOnceAllThreadsDone : public base::Task {
 public:
  RunOnceAllThreadsDone(void (*function)(),
                        base::WaitableEvent* done_event,
                        LockedCountdown* counter);
  ~RunOnceAllThreadsDone() override;

  void Run() override;

 private:
  // Counts down once; later calls do nothing.
  void Finish();

  void (*const function_)();
  base::WaitableEvent* const done_event_;  // Not owned; auto-reset.
  LockedCountdown* counter_;  // Null once counted down; frees itself.
};

}  // namespace tracked_objects

#endif  // BASE_TRACKED_OBJECTS_H_
