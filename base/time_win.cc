#include "base/time.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <limits>

#include "base/cpu.h"
#include "base/lock_impl.h"
#include "base/logging.h"
#include "base/platform_thread.h"
#include "base/singleton.h"

namespace base {

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// File times count 100-ns units.
constexpr int64_t kFileTimeUnitsPerMicrosecond = 10;

// ---------------------------------------------------------------------------
// File times.

// False when `file_time` is beyond the signed 64-bit range, where the
// platform's own conversions refuse it too.
bool FileTimeToMicroseconds(const FILETIME& file_time, int64_t* us) {
  const uint64_t units =
      (static_cast<uint64_t>(file_time.dwHighDateTime) << 32) |
      file_time.dwLowDateTime;
  if (units > static_cast<uint64_t>(kInt64Max))
    return false;
  *us = static_cast<int64_t>(units) / kFileTimeUnitsPerMicrosecond;
  return true;
}

// False for a negative time (misuse) or one too large for a file time.
bool MicrosecondsToFileTime(int64_t us, FILETIME* file_time) {
  CHECK_OR_RETURN(us >= 0, false,
                  "Time is less than 0, negative values are not "
                  "representable in FILETIME");
  if (us > kInt64Max / kFileTimeUnitsPerMicrosecond)
    return false;
  const uint64_t units = static_cast<uint64_t>(us) * 10;
  file_time->dwLowDateTime = static_cast<DWORD>(units);
  file_time->dwHighDateTime = static_cast<DWORD>(units >> 32);
  return true;
}

// ---------------------------------------------------------------------------
// Calendar fields.

// Narrows one field into a SYSTEMTIME field; false when it does not fit
// unchanged, so that year 67536 is refused instead of read as 2000.
bool NarrowField(int value, WORD* field) {
  if (value < 0 || value > 0xFFFF)
    return false;
  *field = static_cast<WORD>(value);
  return true;
}

bool FieldsToSystemTime(const Time::Fields& fields, SYSTEMTIME* system_time) {
  // The conversion ignores the day of the week, so it is passed on narrowed
  // but not checked: a caller that leaves it unset, or at -1, still gets the
  // time of the date it gave.
  system_time->wDayOfWeek = static_cast<WORD>(fields.day_of_week);
  return NarrowField(fields.year, &system_time->wYear) &&
         NarrowField(fields.month, &system_time->wMonth) &&
         NarrowField(fields.day_of_month, &system_time->wDay) &&
         NarrowField(fields.hour, &system_time->wHour) &&
         NarrowField(fields.minute, &system_time->wMinute) &&
         NarrowField(fields.second, &system_time->wSecond) &&
         NarrowField(fields.millisecond, &system_time->wMilliseconds);
}

// ---------------------------------------------------------------------------
// The millisecond clock.

uint32_t SystemTickCount() {
  return timeGetTime();
}

std::atomic<TimeTicks::TickFunctionType> g_tick_function{&SystemTickCount};

// The link to the power-state monitor that clocks attach to when they are
// made; null until a monitor is linked into the program.
std::atomic<time_internal::TickClockPowerLink*> g_power_link{nullptr};

// The 32-bit millisecond tick made monotonic over its wraps: each reading
// below the previous one adds 2^32 ms. Holds the 1-ms multimedia timer
// period while the machine runs on AC power, so that the tick has
// millisecond resolution. One per process (a Singleton); any thread may
// read it.
class WrapSafeTickClock final
    : public time_internal::TickClockPowerLink::Client {
 public:
  WrapSafeTickClock()
      : power_link_(g_power_link.load(std::memory_order_acquire)) {
    // Registers with the power-state monitor, when there is one, and takes
    // its battery flag; the monitor assumes AC power until told otherwise.
    const bool on_battery = power_link_ && power_link_->Attach(this);
    SetFineTimerPeriod(!on_battery);
  }
  WrapSafeTickClock(const WrapSafeTickClock&) = delete;
  WrapSafeTickClock& operator=(const WrapSafeTickClock&) = delete;
  // Leaves the power-state monitor first, so that no late notification
  // takes the period again; then every timeBeginPeriod is matched before
  // the process ends.
  ~WrapSafeTickClock() {
    if (power_link_)
      power_link_->Detach(this);
    SetFineTimerPeriod(false);
  }

  TimeTicks Now() {
    // The tick source is read under the lock, so that `last_seen_` stays in
    // step with the readings and two threads never both count one wrap.
    LockGuard guard(lock_);
    const uint32_t now = g_tick_function.load(std::memory_order_acquire)();
    if (now < last_seen_)
      rollover_ += TimeDelta::FromMilliseconds(int64_t{1} << 32);
    last_seen_ = now;
    return TimeTicks() + TimeDelta::FromMilliseconds(now) + rollover_;
  }

  void PowerSourceChanged(bool on_battery) override {
    SetFineTimerPeriod(!on_battery);
  }

  bool fine_period_on() {
    LockGuard guard(lock_);
    return fine_period_on_;
  }

 private:
  void SetFineTimerPeriod(bool enabled) {
    LockGuard guard(lock_);
    if (enabled == fine_period_on_)
      return;
    if (enabled) {
      timeBeginPeriod(1);
    } else {
      timeEndPeriod(1);
    }
    fine_period_on_ = enabled;
  }

  time_internal::TickClockPowerLink* const power_link_;  // Null: none.
  Lock lock_;
  TimeDelta rollover_;           // Time lost to wraps so far. Guarded by lock_.
  uint32_t last_seen_ = 0;       // The last tick read. Guarded by lock_.
  bool fine_period_on_ = false;  // 1-ms period requested. Guarded by lock_.
};

// ---------------------------------------------------------------------------
// The performance-counter clock.

bool SystemCounterFrequency(int64_t* counts_per_second) {
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency))
    return false;
  *counts_per_second = frequency.QuadPart;
  return true;
}

int64_t SystemCounter() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return count.QuadPart;
}

// The two halves of the counter source. Tests replace them before the clock
// is created, while no clock reads them.
std::atomic<bool (*)(int64_t*)> g_counter_frequency{&SystemCounterFrequency};
std::atomic<int64_t (*)()> g_counter{&SystemCounter};

// The performance counter as microseconds, checked against the millisecond
// clock. The counter is not used where it cannot be had, nor on the one
// processor family whose counter is known to drift. One per process (a
// Singleton); its fields are fixed at creation, so any thread may read it.
class CounterTickClock {
 public:
  CounterTickClock() {
    int64_t frequency = 0;
    if (!g_counter_frequency.load(std::memory_order_acquire)(&frequency) ||
        frequency <= 0) {
      return;
    }
    counts_per_second_ = frequency;
    skew_ = CounterNow() - ReliableNow();
    // The counter of family 15 (0Fh) processors of this vendor drifts. Later
    // families of the vendor report 15 in the base family field too and
    // add the rest in the extended field; their counters are sound.
    const CpuIdentity cpu;
    if (cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15 &&
        cpu.ext_family() == 0) {
      counts_per_second_ = 0;
    }
  }
  CounterTickClock(const CounterTickClock&) = delete;
  CounterTickClock& operator=(const CounterTickClock&) = delete;

  TimeTicks Now() const {
    if (counts_per_second_ == 0)
      return TimeTicks::Now();
    const int64_t now = CounterNow();
    CHECK(now - ReliableNow() - skew_ < kMaxTimeDrift);
    return TimeTicks::FromInternalValue(now);
  }

 private:
  // Counter readings may lead the millisecond clock by less than this.
  static constexpr int64_t kMaxTimeDrift = 50000;  // Microseconds.

  // The count in microseconds, exact in integers: whole seconds and the
  // remainder are scaled apart, so nothing overflows and no precision is
  // lost however long the machine has been up.
  int64_t CounterNow() const {
    const int64_t count = g_counter.load(std::memory_order_acquire)();
    return count / counts_per_second_ * Time::kMicrosecondsPerSecond +
           count % counts_per_second_ * Time::kMicrosecondsPerSecond /
               counts_per_second_;
  }

  static int64_t ReliableNow() { return TimeTicks::Now().ToInternalValue(); }

  int64_t counts_per_second_ = 0;  // 0: the counter is not used.
  int64_t skew_ = 0;  // Counter minus millisecond clock at creation, in us.
};

// ---------------------------------------------------------------------------
// The wall clock.

// The system time and the millisecond tick read at the last
// synchronisation. A 32-bit processor cannot replace the two 64-bit values
// in one store, so readers go by a sequence count: a writer makes it odd
// while it writes, and a reader that saw it odd, or saw it change, reads
// again. Constant-initialised, so it works from any static initialiser.
class ClockBase {
 public:
  struct Snapshot {
    int64_t wall_us;  // 0: never synchronised.
    TimeTicks ticks;
  };

  Snapshot Read() const {
    for (;;) {
      const uint32_t before = sequence_.load(std::memory_order_acquire);
      if (before & 1) {
        PlatformThread::YieldThread();
        continue;
      }
      const Snapshot snapshot = {
          wall_us_.load(std::memory_order_relaxed),
          TimeTicks::FromInternalValue(ticks_.load(std::memory_order_relaxed))};
      std::atomic_thread_fence(std::memory_order_acquire);
      if (sequence_.load(std::memory_order_relaxed) == before)
        return snapshot;
    }
  }

  void Write(const Snapshot& snapshot) {
    uint32_t sequence = sequence_.load(std::memory_order_relaxed);
    while ((sequence & 1) ||
           !sequence_.compare_exchange_weak(sequence, sequence + 1,
                                            std::memory_order_relaxed)) {
      if (sequence & 1) {
        PlatformThread::YieldThread();
        sequence = sequence_.load(std::memory_order_relaxed);
      }
    }
    std::atomic_thread_fence(std::memory_order_release);
    wall_us_.store(snapshot.wall_us, std::memory_order_relaxed);
    ticks_.store(snapshot.ticks.ToInternalValue(), std::memory_order_relaxed);
    sequence_.store(sequence + 2, std::memory_order_release);
  }

 private:
  std::atomic<uint32_t> sequence_{0};  // Odd while a writer writes.
  std::atomic<int64_t> wall_us_{0};
  std::atomic<int64_t> ticks_{0};
};

ClockBase g_clock_base;

// The wall time may run on the tick for this long before it is synchronised
// with the system time again.
constexpr int64_t kMaxElapsedBetweenSyncsMs = 60000;

}  // namespace

// static
Time Time::Now() {
  const ClockBase::Snapshot base = g_clock_base.Read();
  if (base.wall_us != 0) {
    const TimeDelta elapsed = TimeTicks::Now() - base.ticks;
    // Real ticks never go back; a replaced tick source may start over.
    if (elapsed >= TimeDelta() &&
        elapsed.InMilliseconds() <= kMaxElapsedBetweenSyncsMs) {
      return Time(base.wall_us + elapsed.InMicroseconds());
    }
  }
  return NowResynced();
}

// static
Time Time::NowResynced() {
  ClockBase::Snapshot base = {0, TimeTicks::Now()};
  FILETIME system_time;
  GetSystemTimeAsFileTime(&system_time);
  FileTimeToMicroseconds(system_time, &base.wall_us);
  g_clock_base.Write(base);
  return Time(base.wall_us);
}

// static
Time Time::FromFileTime(const FILETIME& file_time) {
  int64_t us;
  if (!FileTimeToMicroseconds(file_time, &us))
    return Time();
  return Time(us);
}

FILETIME Time::ToFileTime() const {
  FILETIME file_time = {};
  MicrosecondsToFileTime(us_, &file_time);
  return file_time;
}

// static
Time Time::FromFields(bool is_local, const Fields& fields) {
  SYSTEMTIME system_time;
  FILETIME file_time;
  FILETIME utc_file_time;
  int64_t us;
  if (!FieldsToSystemTime(fields, &system_time) ||
      !SystemTimeToFileTime(&system_time, &file_time)) {
    NOTREACHED() << "Unable to convert time";
    return Time();
  }
  if (!is_local) {
    utc_file_time = file_time;
  } else if (!LocalFileTimeToFileTime(&file_time, &utc_file_time)) {
    NOTREACHED() << "Unable to convert time";
    return Time();
  }
  // A local time just after 1601 in a zone east of UTC falls before 1601.
  if (!FileTimeToMicroseconds(utc_file_time, &us)) {
    NOTREACHED() << "Unable to convert time";
    return Time();
  }
  return Time(us);
}

void Time::ToFields(bool is_local, Fields* fields) const {
  FILETIME file_time;
  SYSTEMTIME system_time;
  bool converted = MicrosecondsToFileTime(us_, &file_time);
  if (converted && is_local) {
    const FILETIME utc_file_time = file_time;
    converted = FileTimeToLocalFileTime(&utc_file_time, &file_time) != 0;
  }
  converted = converted && FileTimeToSystemTime(&file_time, &system_time);
  if (!converted) {
    NOTREACHED() << "Unable to convert time, don't know why";
    *fields = Fields();
    return;
  }
  fields->year = system_time.wYear;
  fields->month = system_time.wMonth;
  fields->day_of_week = system_time.wDayOfWeek;
  fields->day_of_month = system_time.wDay;
  fields->hour = system_time.wHour;
  fields->minute = system_time.wMinute;
  fields->second = system_time.wSecond;
  fields->millisecond = system_time.wMilliseconds;
}

// static
TimeTicks TimeTicks::Now() {
  return Singleton<WrapSafeTickClock>::get()->Now();
}

// static
TimeTicks TimeTicks::PreciseNow() {
  return Singleton<CounterTickClock>::get()->Now();
}

// static
TimeTicks::TickFunctionType TimeTicks::ReplaceTickSource(
    TickFunctionType source) {
  return g_tick_function.exchange(source, std::memory_order_acq_rel);
}

// static
TimeTicks::CounterSource TimeTicks::ReplaceCounterSource(CounterSource source) {
  CounterSource previous;
  previous.frequency =
      g_counter_frequency.exchange(source.frequency, std::memory_order_acq_rel);
  previous.counter =
      g_counter.exchange(source.counter, std::memory_order_acq_rel);
  return previous;
}

namespace time_internal {

TickClockPowerLink* SetTickClockPowerLink(TickClockPowerLink* link) {
  return g_power_link.exchange(link, std::memory_order_acq_rel);
}

bool TickClockHoldsFinePeriod() {
  return Singleton<WrapSafeTickClock>::get()->fine_period_on();
}

}  // namespace time_internal

}  // namespace base
