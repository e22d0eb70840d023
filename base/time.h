#ifndef BASE_TIME_H_
#define BASE_TIME_H_

#include <cstdint>
#include <limits>

// Time values and the clocks behind them.
//
// `Time` is a point in wall-clock time, `TimeDelta` a signed duration and
// `TimeTicks` a point on a monotonic clock; all three are whole microseconds
// in a signed 64-bit count. `Time` counts from 1601-01-01 00:00:00 UTC, the
// epoch of Windows file times, and its value 0 is the null time ("no time
// given"). `TimeTicks` counts from an arbitrary origin (the system's start).
//
// Conversions refuse what they cannot represent: input out of range gives
// the null time (or false), never a value wrapped into range. Sums and
// differences saturate at the ends of the 64-bit range, so that a deadline
// "never" (now plus the largest duration) stays in the future. All functions
// may be called from any thread. The clocks are process-wide objects created
// on first use and destroyed by the at-exit manager, which must exist when
// they are first read.

// The platform's file-time record; only the Windows half of this unit and
// its callers, which include <windows.h>, need its definition.
struct _FILETIME;

namespace base {

namespace time_internal {

// `a` + `b` and `a` - `b`, held at the largest or smallest 64-bit value
// where the exact result lies beyond it.
constexpr int64_t SaturatedAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b < 0 ? std::numeric_limits<int64_t>::min()
                 : std::numeric_limits<int64_t>::max();
  }
  return sum;
}

constexpr int64_t SaturatedSub(int64_t a, int64_t b) {
  int64_t difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) {
    return b < 0 ? std::numeric_limits<int64_t>::max()
                 : std::numeric_limits<int64_t>::min();
  }
  return difference;
}

}  // namespace time_internal

// A signed duration in microseconds. Copyable value type.
class TimeDelta {
 public:
  constexpr TimeDelta() = default;

  // Counts beyond the range of 64-bit microseconds (about 292 000 years)
  // saturate at the largest or smallest duration.
  static TimeDelta FromMilliseconds(int64_t ms);
  static constexpr TimeDelta FromMicroseconds(int64_t us) {
    return TimeDelta(us);
  }

  // Whole units, truncated toward zero.
  int64_t InDays() const;
  int64_t InHours() const;
  int64_t InMinutes() const;
  int64_t InSeconds() const;
  int64_t InMilliseconds() const;
  double InSecondsF() const;
  double InMillisecondsF() const;
  constexpr int64_t InMicroseconds() const { return delta_; }

  // Saturating, as are the sums and differences of the other types.
  constexpr TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(time_internal::SaturatedAdd(delta_, other.delta_));
  }
  constexpr TimeDelta operator-(TimeDelta other) const {
    return TimeDelta(time_internal::SaturatedSub(delta_, other.delta_));
  }
  TimeDelta& operator+=(TimeDelta other) { return *this = *this + other; }

  constexpr bool operator==(TimeDelta other) const {
    return delta_ == other.delta_;
  }
  constexpr bool operator!=(TimeDelta other) const {
    return delta_ != other.delta_;
  }
  constexpr bool operator<(TimeDelta other) const {
    return delta_ < other.delta_;
  }
  constexpr bool operator<=(TimeDelta other) const {
    return delta_ <= other.delta_;
  }
  constexpr bool operator>(TimeDelta other) const {
    return delta_ > other.delta_;
  }
  constexpr bool operator>=(TimeDelta other) const {
    return delta_ >= other.delta_;
  }

 private:
  constexpr explicit TimeDelta(int64_t us) : delta_(us) {}

  int64_t delta_ = 0;
};

// A point in wall-clock time: microseconds since 1601-01-01 00:00:00 UTC.
// Copyable value type; 0 is the null time.
class Time {
 public:
  static constexpr int64_t kMillisecondsPerSecond = 1000;
  static constexpr int64_t kMicrosecondsPerMillisecond = 1000;
  static constexpr int64_t kMicrosecondsPerSecond = 1000000;
  static constexpr int64_t kMicrosecondsPerMinute = 60000000;
  static constexpr int64_t kMicrosecondsPerHour = 3600000000;
  static constexpr int64_t kMicrosecondsPerDay = 86400000000;
  // From 1601-01-01 to the Unix epoch, 1970-01-01: 369 years with 89 leap
  // days.
  static constexpr int64_t kUnixEpochOffset =
      ((1970 - 1601) * 365 + 89) * kMicrosecondsPerDay;

  // The calendar form of a time; every field starts at 0. The order is that
  // of the platform's SYSTEMTIME record, whose fields are 16 bits wide: a
  // value that does not fit there is out of range.
  struct Fields {
    int year = 0;          // Four digits, e.g. 2007.
    int month = 0;         // 1 to 12.
    int day_of_week = 0;   // 0 to 6, 0 is Sunday. Ignored by FromUTCFields
                           // and FromLocalFields.
    int day_of_month = 0;  // 1 to 31.
    int hour = 0;          // 0 to 23.
    int minute = 0;        // 0 to 59.
    int second = 0;        // 0 to 59.
    int millisecond = 0;   // 0 to 999.
  };

  constexpr Time() = default;

  bool is_null() const { return us_ == 0; }

  // The current wall time: the system time read at the last
  // synchronisation, advanced by the millisecond tick since then. The base
  // is synchronised again on the first call after a minute of ticks.
  static Time Now();
  // Synchronises the clock base with the system time now and returns it.
  static Time NowResynced();

  // Windows file times: 100-ns units since 1601. A file time beyond the
  // signed 64-bit range gives the null time; a time that no file time can
  // hold gives the file time 0 (a negative time is also a failed check).
  static Time FromFileTime(const _FILETIME& file_time);
  _FILETIME ToFileTime() const;

  // Unix times: whole seconds since 1970-01-01 UTC. 0 and the null time
  // map to each other; seconds whose time falls before 1601 or beyond the
  // 64-bit range give the null time.
  static Time FromUnixSeconds(int64_t seconds);
  int64_t ToUnixSeconds() const;

  // Seconds since 1970 as a double, truncated to whole microseconds. 0.0 is
  // the Unix epoch, not the null time. NaN, infinities and values whose time
  // falls before 1601 or beyond the 64-bit range give the null time.
  static Time FromSecondsF(double seconds);
  double ToSecondsF() const;

  // Calendar fields in UTC or in the local time zone. Fields that the
  // platform rejects (a 13th month, a year past 30827 or before 1601, ...)
  // are misuse: a failed check, and the null time.
  static Time FromUTCFields(const Fields& fields);
  static Time FromLocalFields(const Fields& fields);
  // A time that has no calendar form (before 1601, or too large for a file
  // time) is misuse: a failed check, and every field set to 0.
  void ToUTCFields(Fields* fields) const;
  void ToLocalFields(Fields* fields) const;

  // Local midnight of this time's local day.
  Time StartOfLocalDay() const;

  // Parses a textual date such as "Tue, 15 Nov 1994 08:12:31 GMT"; a date
  // without a zone is read as local time. Returns false, leaving
  // `parsed_time` unchanged, when the text is empty or not a date, or names
  // a time before 1601 or beyond the range of `Time`.
  static bool FromString(const wchar_t* time_string, Time* parsed_time);

  static constexpr Time FromInternalValue(int64_t us) { return Time(us); }
  constexpr int64_t ToInternalValue() const { return us_; }

  constexpr Time operator+(TimeDelta delta) const {
    return Time(time_internal::SaturatedAdd(us_, delta.InMicroseconds()));
  }
  constexpr Time operator-(TimeDelta delta) const {
    return Time(time_internal::SaturatedSub(us_, delta.InMicroseconds()));
  }
  constexpr TimeDelta operator-(Time other) const {
    return TimeDelta::FromMicroseconds(
        time_internal::SaturatedSub(us_, other.us_));
  }

  constexpr bool operator==(Time other) const { return us_ == other.us_; }
  constexpr bool operator!=(Time other) const { return us_ != other.us_; }
  constexpr bool operator<(Time other) const { return us_ < other.us_; }
  constexpr bool operator<=(Time other) const { return us_ <= other.us_; }
  constexpr bool operator>(Time other) const { return us_ > other.us_; }
  constexpr bool operator>=(Time other) const { return us_ >= other.us_; }

 private:
  constexpr explicit Time(int64_t us) : us_(us) {}

  static Time FromFields(bool is_local, const Fields& fields);
  void ToFields(bool is_local, Fields* fields) const;

  int64_t us_ = 0;
};

// A point on a monotonic clock: microseconds since an arbitrary origin.
// Copyable value type; 0 is the null tick.
class TimeTicks {
 public:
  // The millisecond source behind `Now`: a 32-bit count that wraps about
  // every 49.7 days. Replaceable for tests.
  using TickFunctionType = uint32_t (*)();

  // The performance counter behind `PreciseNow`: `frequency` stores the
  // counts per second and returns false when there is no counter;
  // `counter` reads the count. Replaceable for tests; the clock reads the
  // frequency once, when it is created.
  struct CounterSource {
    bool (*frequency)(int64_t* counts_per_second);
    int64_t (*counter)();
  };

  constexpr TimeTicks() = default;

  // The millisecond clock, protected against the 32-bit wrap: a wrap is
  // seen when a reading is below the previous one, so the clock must be
  // read at least once every 49.7 days.
  static TimeTicks Now();
  // The performance-counter clock where it can be trusted, else `Now()`.
  // A counter running 50 ms or more ahead of the millisecond clock is a
  // failed check.
  static TimeTicks PreciseNow();

  // Installs `source` and returns the previous tick function.
  static TickFunctionType ReplaceTickSource(TickFunctionType source);
  // Installs `source` and returns the previous counter source.
  static CounterSource ReplaceCounterSource(CounterSource source);

  bool is_null() const { return ticks_ == 0; }

  static constexpr TimeTicks FromInternalValue(int64_t us) {
    return TimeTicks(us);
  }
  constexpr int64_t ToInternalValue() const { return ticks_; }

  constexpr TimeTicks operator+(TimeDelta delta) const {
    return TimeTicks(
        time_internal::SaturatedAdd(ticks_, delta.InMicroseconds()));
  }
  constexpr TimeTicks operator-(TimeDelta delta) const {
    return TimeTicks(
        time_internal::SaturatedSub(ticks_, delta.InMicroseconds()));
  }
  constexpr TimeDelta operator-(TimeTicks other) const {
    return TimeDelta::FromMicroseconds(
        time_internal::SaturatedSub(ticks_, other.ticks_));
  }

  constexpr bool operator==(TimeTicks other) const {
    return ticks_ == other.ticks_;
  }
  constexpr bool operator!=(TimeTicks other) const {
    return ticks_ != other.ticks_;
  }
  constexpr bool operator<(TimeTicks other) const {
    return ticks_ < other.ticks_;
  }
  constexpr bool operator<=(TimeTicks other) const {
    return ticks_ <= other.ticks_;
  }
  constexpr bool operator>(TimeTicks other) const {
    return ticks_ > other.ticks_;
  }
  constexpr bool operator>=(TimeTicks other) const {
    return ticks_ >= other.ticks_;
  }

 private:
  constexpr explicit TimeTicks(int64_t us) : ticks_(us) {}

  int64_t ticks_ = 0;
};

namespace time_internal {

// How the millisecond clock follows the machine's power state. The clock
// holds the 1-ms multimedia timer period only on AC power: the finer tick
// keeps the processor from sleeping deeply, which costs a battery dearly.
// What knows the power state (the
// power-state monitor) sits above the clocks, so it plugs in here: it
// installs a link, and every clock made afterwards attaches to it when it
// is created and detaches when it is destroyed. Without a link the clock
// assumes AC power.
class TickClockPowerLink {
 public:
  // The clock's side of the link.
  class Client {
   public:
    // The power source changed; `on_battery` is the new state. Called on
    // whatever thread the link delivers on.
    virtual void PowerSourceChanged(bool on_battery) = 0;

   protected:
    ~Client() = default;
  };

  // Registers `client` for power-source changes and returns whether the
  // machine runs on battery now. Called by a new clock on the thread that
  // first reads it.
  virtual bool Attach(Client* client) = 0;
  // After this `client` is told nothing more. Called by the clock's
  // destructor.
  virtual void Detach(Client* client) = 0;

 protected:
  ~TickClockPowerLink() = default;
};

// Installs `link` (null: none) for the clocks made from now on and returns
// the previous one. The link must stay valid for the rest of the process.
TickClockPowerLink* SetTickClockPowerLink(TickClockPowerLink* link);

// Whether the millisecond clock holds the 1-ms timer period now (making the
// clock if there is none yet).
bool TickClockHoldsFinePeriod();

}  // namespace time_internal

}  // namespace base

#endif  // BASE_TIME_H_
