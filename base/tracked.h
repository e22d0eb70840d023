#ifndef BASE_TRACKED_H_
#define BASE_TRACKED_H_

#include <string>

#include "base/time.h"

// Where tracked objects (tasks) come from, and the base class through which
// they report their births and deaths to the task-tracking data.

namespace tracked_objects {

// A place in the source: function, file and line. A plain copyable value.
// The strings are not owned; they are literals that live as long as the
// program, and they are never null.
class Location {
 public:
  Location(const char* function_name, const char* file_name, int line_number)
      : function_name_(function_name),
        file_name_(file_name),
        line_number_(line_number) {}

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  // -1 for a location that was never set.
  int line_number() const { return line_number_; }

  // Appends "<file>[<line>] " (the word "line" instead of the file name when
  // `display_filename` is false), then, when `display_function_name` is
  // true, the escaped function name and a blank.
  void Write(bool display_filename,
             bool display_function_name,
             std::string* output) const;

  // Appends the function name with "<" and ">" written as "&lt;" and
  // "&gt;", for HTML pages.
  void WriteEscapedFunctionName(std::string* output) const;

 private:
  const char* function_name_;
  const char* file_name_;
  int line_number_;
};

// The location of the code that uses it. The compiler's fullest function
// name is used: it is qualified, so that report pages can tell the Run of
// one class from another's.
#define CURRENT_LOCATION \
  ::tracked_objects::Location(__PRETTY_FUNCTION__, __FILE__, __LINE__)

class Births;      // A birth counter of the task-tracking data.
class ThreadData;  // A thread's record in the task-tracking data.

// The task-tracking data as tracked objects reach it. Tasks sit below the
// tracking data, so the data installs these hooks (SetTrackingHooks) rather
// than being called by name; with none installed tracking is off and tracked
// objects record nothing. Every operation may be called on any thread and
// works on the record of the thread it names or of the calling thread.
class TrackingHooks {
 public:
  virtual ~TrackingHooks() = default;

  // Whether tracking is active. Read at every birth and death, without a
  // lock.
  virtual bool IsActive() = 0;
  // The calling thread's record, or null when it has none (a thread that
  // was never registered when tracking stopped).
  virtual ThreadData* CurrentThreadData() = 0;
  // `thread_data`'s counter of births at `place`, created on first use.
  virtual Births* BirthRecordFor(ThreadData* thread_data,
                                 const Location& place) = 0;
  virtual void CountBirth(Births* births) = 0;
  // Forgets one birth; may be called on another thread than the one the
  // counter belongs to.
  virtual void UncountBirth(Births* births) = 0;
  // The place whose births `births` counts.
  virtual const Location& BirthPlace(const Births& births) = 0;
  // Records on `thread_data` one death of an object born at `births` that
  // lived `lifetime`.
  virtual void CountDeath(ThreadData* thread_data,
                          const Births& births,
                          const base::TimeDelta& lifetime) = 0;
};

// Installs `hooks` (null: none) and returns the previous ones. Hooks must
// stay valid while any tracked object may still reach them, which in
// practice is the rest of the process.
TrackingHooks* SetTrackingHooks(TrackingHooks* hooks);

// The base of every task: remembers when the object was born and, while
// tracking is active, where (the counter of its birth place). A new object
// is counted at the placeholder place ("NoFunctionName" in
// "NeedToSetBirthPlace", line -1) until its poster records the real place;
// its death is counted, with its lifetime, on the thread that destroys it.
//
// Not copyable: a copy would count a death that had no birth. Each call
// touches only the calling thread's tracking record, except that moving a
// birth forgets it on the record where it was counted before.
class TrackedBirth {
 public:
  TrackedBirth();
  TrackedBirth(const TrackedBirth&) = delete;
  TrackedBirth& operator=(const TrackedBirth&) = delete;
  virtual ~TrackedBirth();

  // Counts this object's birth at `from_here` on the calling thread's
  // record, forgetting the birth counted before. Nothing happens while
  // tracking is off, nor on a thread without a tracking record.
  void RecordBirthPlace(const Location& from_here);

  // Makes the lifetime count from now, for objects that wait long before
  // they become active.
  void RestartBirthClock();

  // True while the object has no counted birth place, or is counted at the
  // placeholder place.
  bool HasNoBirthPlace() const;

  base::Time birth_time() const { return birth_time_; }

 private:
  Births* birth_record_ = nullptr;  // Null while tracking is off.
  base::Time birth_time_;
};

}  // namespace tracked_objects

#endif  // BASE_TRACKED_H_
