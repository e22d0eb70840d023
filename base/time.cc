#include "base/time.h"

#include <prtime.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/codepage_conversions.h"
#include "base/logging.h"

namespace base {

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();

// The time `us_since_unix_epoch` after 1970 as a `Time` value, or false when
// it falls before 1601 (file times, calendars and the null time cannot
// stand for it) or beyond the 64-bit range.
bool UnixMicrosecondsToTimeValue(int64_t us_since_unix_epoch, int64_t* value) {
  int64_t sum;
  if (__builtin_add_overflow(us_since_unix_epoch, Time::kUnixEpochOffset,
                             &sum) ||
      sum < 0) {
    return false;
  }
  *value = sum;
  return true;
}

}  // namespace

// static
TimeDelta TimeDelta::FromMilliseconds(int64_t ms) {
  int64_t us;
  if (__builtin_mul_overflow(ms, Time::kMicrosecondsPerMillisecond, &us))
    return TimeDelta(ms < 0 ? kInt64Min : kInt64Max);
  return TimeDelta(us);
}

int64_t TimeDelta::InDays() const {
  return delta_ / Time::kMicrosecondsPerDay;
}

int64_t TimeDelta::InHours() const {
  return delta_ / Time::kMicrosecondsPerHour;
}

int64_t TimeDelta::InMinutes() const {
  return delta_ / Time::kMicrosecondsPerMinute;
}

int64_t TimeDelta::InSeconds() const {
  return delta_ / Time::kMicrosecondsPerSecond;
}

int64_t TimeDelta::InMilliseconds() const {
  return delta_ / Time::kMicrosecondsPerMillisecond;
}

double TimeDelta::InSecondsF() const {
  return static_cast<double>(delta_) / Time::kMicrosecondsPerSecond;
}

double TimeDelta::InMillisecondsF() const {
  return static_cast<double>(delta_) / Time::kMicrosecondsPerMillisecond;
}

// static
Time Time::FromUnixSeconds(int64_t seconds) {
  if (seconds == 0)
    return Time();
  int64_t us;
  int64_t value;
  if (__builtin_mul_overflow(seconds, kMicrosecondsPerSecond, &us) ||
      !UnixMicrosecondsToTimeValue(us, &value)) {
    return Time();
  }
  return Time(value);
}

int64_t Time::ToUnixSeconds() const {
  if (is_null())
    return 0;
  return (us_ - kUnixEpochOffset) / kMicrosecondsPerSecond;
}

// static
Time Time::FromSecondsF(double seconds) {
  // Whole microseconds are taken before the epoch offset is added, in
  // integers: in a double the sum would already have lost microseconds for
  // any present-day time.
  const double us = std::floor(seconds * kMicrosecondsPerSecond);
  // 2^63 is exact as a double; the comparisons are false for NaN.
  constexpr double kTwoToThe63 = 9223372036854775808.0;
  if (!(us >= -kTwoToThe63 && us < kTwoToThe63))
    return Time();
  int64_t value;
  if (!UnixMicrosecondsToTimeValue(static_cast<int64_t>(us), &value))
    return Time();
  return Time(value);
}

double Time::ToSecondsF() const {
  if (is_null())
    return 0.0;
  return static_cast<double>(us_ - kUnixEpochOffset) / kMicrosecondsPerSecond;
}

// static
Time Time::FromUTCFields(const Fields& fields) {
  return FromFields(false, fields);
}

// static
Time Time::FromLocalFields(const Fields& fields) {
  return FromFields(true, fields);
}

void Time::ToUTCFields(Fields* fields) const {
  ToFields(false, fields);
}

void Time::ToLocalFields(Fields* fields) const {
  ToFields(true, fields);
}

Time Time::StartOfLocalDay() const {
  Fields fields;
  ToLocalFields(&fields);
  fields.hour = 0;
  fields.minute = 0;
  fields.second = 0;
  fields.millisecond = 0;
  return FromLocalFields(fields);
}

// static
bool Time::FromString(const wchar_t* time_string, Time* parsed_time) {
  CHECK_OR_RETURN((time_string != NULL) && (parsed_time != NULL), false);
  const std::string utf8 = WideToUtf8(time_string);
  if (utf8.empty())
    return false;
  PRTime result_time = 0;
  if (PR_ParseTimeString(utf8.c_str(), PR_FALSE, &result_time) != PR_SUCCESS)
    return false;
  // The parser reads years up to 32767 and back to year 0; a time before
  // 1601 has no `Time` value (and 1601-01-01 00:00 UTC itself is the null
  // time, which no date means).
  int64_t value;
  if (!UnixMicrosecondsToTimeValue(result_time, &value) || value == 0)
    return false;
  *parsed_time = Time(value);
  return true;
}

}  // namespace base
