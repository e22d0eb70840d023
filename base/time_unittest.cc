#include "base/time.h"

#include <windows.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kEpoch = Time::kUnixEpochOffset;

// "Tue, 15 Nov 1994 08:12:31 GMT" in microseconds since 1970.
constexpr int64_t kNov1994Unix = 784887151000000;

const std::vector<std::string> kNoMessages;

// ---------------------------------------------------------------------------
// Durations and value conversions.

TEST(TimeDeltaTest, ReadersTruncateTowardZero) {
  const TimeDelta minus =
      TimeDelta::FromMicroseconds(-(Time::kMicrosecondsPerDay + 1));
  EXPECT_EQ(minus.InDays(), -1);
  EXPECT_EQ(minus.InHours(), -24);
  EXPECT_EQ(minus.InMilliseconds(), -86400000);
  EXPECT_EQ(TimeDelta::FromMicroseconds(-1999).InMilliseconds(), -1);
  EXPECT_EQ(TimeDelta::FromMicroseconds(1999).InMilliseconds(), 1);
  EXPECT_DOUBLE_EQ(TimeDelta::FromMicroseconds(1500).InMillisecondsF(), 1.5);
  EXPECT_DOUBLE_EQ(TimeDelta::FromMilliseconds(-2500).InSecondsF(), -2.5);
}

TEST(TimeDeltaTest, MillisecondsSaturateInsteadOfWrapping) {
  EXPECT_EQ(TimeDelta::FromMilliseconds(kInt64Max / 1000).InMicroseconds(),
            kInt64Max / 1000 * 1000);
  EXPECT_EQ(TimeDelta::FromMilliseconds(kInt64Max / 1000 + 1).InMicroseconds(),
            kInt64Max);
  EXPECT_EQ(TimeDelta::FromMilliseconds(kInt64Min).InMicroseconds(), kInt64Min);
}

// Sums and differences of every time type stop at the ends of the 64-bit
// range instead of wrapping: a deadline "never" must not come at once.
TEST(TimeDeltaTest, ArithmeticSaturatesAtTheLimits) {
  struct Case {
    const char* what;
    int64_t a;
    char op;  // '+' or '-'.
    int64_t b;
    int64_t expected;
  };
  const Case kCases[] = {
      {"ordinary sum", 5, '+', -7, -2},
      {"ordinary difference", 5, '-', 7, -2},
      {"deadline that never comes", 86400000000, '+', kInt64Max, kInt64Max},
      {"largest plus one", kInt64Max, '+', 1, kInt64Max},
      {"largest plus itself", kInt64Max, '+', kInt64Max, kInt64Max},
      {"smallest plus minus one", kInt64Min, '+', -1, kInt64Min},
      {"smallest plus itself", kInt64Min, '+', kInt64Min, kInt64Min},
      {"largest plus smallest", kInt64Max, '+', kInt64Min, -1},
      {"smallest minus one", kInt64Min, '-', 1, kInt64Min},
      {"largest minus minus one", kInt64Max, '-', -1, kInt64Max},
      {"zero minus smallest", 0, '-', kInt64Min, kInt64Max},
      {"minus one minus smallest, exactly largest", -1, '-', kInt64Min,
       kInt64Max},
      {"smallest minus largest", kInt64Min, '-', kInt64Max, kInt64Min},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const TimeDelta delta_a = TimeDelta::FromMicroseconds(c.a);
    const TimeDelta delta_b = TimeDelta::FromMicroseconds(c.b);
    const Time time_a = Time::FromInternalValue(c.a);
    const TimeTicks ticks_a = TimeTicks::FromInternalValue(c.a);
    if (c.op == '+') {
      EXPECT_EQ((delta_a + delta_b).InMicroseconds(), c.expected);
      TimeDelta accumulated = delta_a;
      accumulated += delta_b;
      EXPECT_EQ(accumulated.InMicroseconds(), c.expected);
      EXPECT_EQ((time_a + delta_b).ToInternalValue(), c.expected);
      EXPECT_EQ((ticks_a + delta_b).ToInternalValue(), c.expected);
    } else {
      EXPECT_EQ((delta_a - delta_b).InMicroseconds(), c.expected);
      EXPECT_EQ((time_a - delta_b).ToInternalValue(), c.expected);
      EXPECT_EQ((time_a - Time::FromInternalValue(c.b)).InMicroseconds(),
                c.expected);
      EXPECT_EQ((ticks_a - delta_b).ToInternalValue(), c.expected);
      EXPECT_EQ((ticks_a - TimeTicks::FromInternalValue(c.b)).InMicroseconds(),
                c.expected);
    }
  }
  static_assert(
      (TimeTicks::FromInternalValue(1) + TimeDelta::FromMicroseconds(kInt64Max))
              .ToInternalValue() == kInt64Max,
      "the operators stay usable in constant expressions");
}

TEST(TimeTest, UnixSecondsMapOntoTheInternalEpoch) {
  struct Case {
    int64_t seconds;
    int64_t internal;  // 0: the null time.
  };
  const Case kCases[] = {
      {0, 0},
      {1, 11644473601000000},
      {-1, kEpoch - 1000000},
      {784887151, kNov1994Unix + kEpoch},
      // 1601-01-01 00:00:00 itself is the null time; before it, no time.
      {-11644473599, 1000000},
      {-11644473601, 0},
      // Multiplying by 10^6 or adding the offset leaves 64 bits.
      {kInt64Max / 1000000, 0},
      {kInt64Max, 0},
      {kInt64Min, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.seconds);
    const Time time = Time::FromUnixSeconds(c.seconds);
    EXPECT_EQ(time.ToInternalValue(), c.internal);
    if (c.internal != 0) {
      EXPECT_EQ(time.ToUnixSeconds(), c.seconds);
    }
  }
  EXPECT_EQ(Time().ToUnixSeconds(), 0);
}

TEST(TimeTest, SecondsFKeepMicrosecondsAndRefuseWhatDoesNotFit) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const double kInfinity = std::numeric_limits<double>::infinity();
  struct Case {
    double seconds;
    int64_t internal;  // 0: the null time.
  };
  const Case kCases[] = {
      // 0.0 is the Unix epoch, not the null time.
      {0.0, kEpoch},
      {1.5, kEpoch + 1500000},
      {-0.25, kEpoch - 250000},
      // A present-day time to the microsecond: the offset is added in
      // integers, where a double would already round to 2 us.
      {784887151.0000305, kNov1994Unix + kEpoch + 30},
      {-11644473600.0, 0},
      {-11644473601.0, 0},
      {1e300, 0},
      {-1e300, 0},
      {9223372036854.775807, 0},
      {kNaN, 0},
      {kInfinity, 0},
      {-kInfinity, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(Time::FromSecondsF(c.seconds).ToInternalValue(), c.internal);
  }
  EXPECT_EQ(Time().ToSecondsF(), 0.0);
  EXPECT_DOUBLE_EQ(Time::FromInternalValue(kEpoch + 1500000).ToSecondsF(), 1.5);
}

FILETIME MakeFileTime(uint64_t units) {
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(units);
  file_time.dwHighDateTime = static_cast<DWORD>(units >> 32);
  return file_time;
}

uint64_t FileTimeUnits(const FILETIME& file_time) {
  return (static_cast<uint64_t>(file_time.dwHighDateTime) << 32) |
         file_time.dwLowDateTime;
}

TEST(TimeTest, FileTimesAreTenthsOfMicroseconds) {
  EXPECT_EQ(Time::FromFileTime(MakeFileTime(116444736000000000)),
            Time::FromSecondsF(0.0));
  // Truncated to whole microseconds; back again times ten.
  const Time time = Time::FromFileTime(MakeFileTime(116444736000000019));
  EXPECT_EQ(time.ToInternalValue(), kEpoch + 1);
  EXPECT_EQ(FileTimeUnits(time.ToFileTime()), 116444736000000010u);
  // The largest file time the platform converts, and the first beyond it.
  EXPECT_EQ(Time::FromFileTime(MakeFileTime(kInt64Max)).ToInternalValue(),
            kInt64Max / 10);
  EXPECT_TRUE(Time::FromFileTime(MakeFileTime(uint64_t{1} << 63)).is_null());
  EXPECT_TRUE(Time::FromFileTime(MakeFileTime(~uint64_t{0})).is_null());
}

TEST(TimeTest, TimesWithoutAFileTimeGiveZero) {
  // Too large for 100-ns units: refused quietly, not wrapped.
  EXPECT_EQ(
      FileTimeUnits(Time::FromInternalValue(kInt64Max / 10 + 1).ToFileTime()),
      0u);
  EXPECT_EQ(FileTimeUnits(Time::FromInternalValue(kInt64Max / 10).ToFileTime()),
            static_cast<uint64_t>(kInt64Max / 10 * 10));

  test_support::ScopedCheckRecorder recorder;
  EXPECT_EQ(FileTimeUnits(Time::FromInternalValue(-1).ToFileTime()), 0u);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{
                "Check failed: us >= 0. Time is less than 0, negative values "
                "are not representable in FILETIME"});
}

// ---------------------------------------------------------------------------
// Calendar fields.

std::string Describe(const Time::Fields& f) {
  return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" +
         std::to_string(f.day_of_month) + " (" + std::to_string(f.day_of_week) +
         ") " + std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" +
         std::to_string(f.second) + "." + std::to_string(f.millisecond);
}

TEST(TimeTest, CalendarFieldsRoundTrip) {
  struct Case {
    Time::Fields fields;
    int64_t internal;  // -1: not checked against a literal.
  };
  const Case kCases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 1}, 1000},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, kEpoch},
      {{1994, 11, 2, 15, 8, 12, 31, 0}, kNov1994Unix + kEpoch},
      {{2000, 2, 2, 29, 23, 59, 59, 999}, -1},
      {{2038, 1, 2, 19, 3, 14, 8, 0}, -1},
      {{30827, 12, 5, 31, 23, 59, 59, 999}, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(Describe(c.fields));
    const Time utc = Time::FromUTCFields(c.fields);
    if (c.internal != -1) {
      EXPECT_EQ(utc.ToInternalValue(), c.internal);
    }
    Time::Fields back = {};
    utc.ToUTCFields(&back);
    EXPECT_EQ(Describe(back), Describe(c.fields));

    // Local fields come back as given (the first case only in zones west
    // of UTC, where it is still after 1601 in UTC).
    if (c.internal == 1000)
      continue;
    const Time local = Time::FromLocalFields(c.fields);
    local.ToLocalFields(&back);
    EXPECT_EQ(Describe(back), Describe(c.fields));
  }
}

TEST(TimeTest, FieldsOutOfRangeAreRefusedNotWrapped) {
  const Time::Fields kValid = {2000, 1, 6, 1, 0, 0, 0, 0};
  struct Case {
    const char* what;
    int Time::Fields::*field;
    int value;
  };
  const Case kCases[] = {
      // 67536 narrowed to 16 bits is 2000.
      {"year 67536", &Time::Fields::year, 67536},
      {"year -1", &Time::Fields::year, -1},
      {"year 1600", &Time::Fields::year, 1600},
      {"month 13", &Time::Fields::month, 13},
      {"month 65537", &Time::Fields::month, 65537},
      {"hour 24", &Time::Fields::hour, 24},
      {"millisecond 1000", &Time::Fields::millisecond, 1000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Time::Fields fields = kValid;
    fields.*c.field = c.value;
    test_support::ScopedCheckRecorder recorder;
    EXPECT_TRUE(Time::FromUTCFields(fields).is_null());
    EXPECT_TRUE(Time::FromLocalFields(fields).is_null());
    const std::vector<std::string> expected(
        2, "Check failed: false. Unable to convert time");
    EXPECT_EQ(recorder.messages(), expected);
  }
}

// The platform's conversion ignores the day of the week, so any value in
// it, including one the caller never set, gives the same time.
TEST(TimeTest, DayOfWeekIsNotChecked) {
  // 2000-01-01 12:30:00 UTC.
  const Time::Fields kFields = {2000, 1, 6, 1, 12, 30, 0, 0};
  const int64_t kInternal = 946729800 * Time::kMicrosecondsPerSecond + kEpoch;
  const Time local = Time::FromLocalFields(kFields);
  const int kDays[] = {0, 3, 7, -1, 0x10000, INT_MIN, INT_MAX};
  for (const int day : kDays) {
    SCOPED_TRACE(day);
    Time::Fields fields = kFields;
    fields.day_of_week = day;
    test_support::ScopedCheckRecorder recorder;
    EXPECT_EQ(Time::FromUTCFields(fields).ToInternalValue(), kInternal);
    EXPECT_EQ(Time::FromLocalFields(fields), local);
    EXPECT_EQ(recorder.messages(), kNoMessages);
  }
}

// A record declared without an initialiser starts at zero, whatever the
// memory under it held.
TEST(TimeTest, FieldsStartAtZero) {
  alignas(Time::Fields) unsigned char storage[sizeof(Time::Fields)];
  memset(storage, 0xa5, sizeof(storage));
  const Time::Fields* fields = new (storage) Time::Fields;
  EXPECT_EQ(Describe(*fields), "0-0-0 (0) 0:0:0.0");
}

TEST(TimeTest, TimesWithoutACalendarFormGiveZeroFields) {
  struct Case {
    int64_t internal;
    std::vector<std::string> messages;
  };
  const std::string kUnable =
      "Check failed: false. Unable to convert time, don't know why";
  const Case kCases[] = {
      {-1,
       {"Check failed: us >= 0. Time is less than 0, negative values are not "
        "representable in FILETIME",
        kUnable}},
      {kInt64Max, {kUnable}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.internal);
    for (const bool local : {false, true}) {
      test_support::ScopedCheckRecorder recorder;
      Time::Fields fields = {1, 2, 3, 4, 5, 6, 7, 8};
      if (local) {
        Time::FromInternalValue(c.internal).ToLocalFields(&fields);
      } else {
        Time::FromInternalValue(c.internal).ToUTCFields(&fields);
      }
      EXPECT_EQ(Describe(fields), Describe(Time::Fields{}));
      EXPECT_EQ(recorder.messages(), c.messages);
    }
  }
}

TEST(TimeTest, StartOfLocalDayIsLocalMidnight) {
  const Time::Fields kDay = {2008, 3, 0, 9, 0, 0, 0, 0};
  const Time midnight = Time::FromLocalFields(kDay);
  const TimeDelta kOffsets[] = {
      TimeDelta(),
      TimeDelta::FromMicroseconds(1),
      TimeDelta::FromMilliseconds(12 * 3600 * 1000 + 34567),
      TimeDelta::FromMicroseconds(Time::kMicrosecondsPerDay - 1),
  };
  for (const TimeDelta offset : kOffsets) {
    SCOPED_TRACE(offset.InMicroseconds());
    EXPECT_EQ((midnight + offset).StartOfLocalDay(), midnight);
  }
  // The next local day starts anew.
  EXPECT_EQ((midnight + TimeDelta::FromMicroseconds(Time::kMicrosecondsPerDay))
                .StartOfLocalDay(),
            midnight + TimeDelta::FromMicroseconds(Time::kMicrosecondsPerDay));
}

// ---------------------------------------------------------------------------
// Parsing.

TEST(TimeTest, FromStringReadsDatesAndRefusesTheRest) {
  struct Case {
    const wchar_t* text;
    bool parsed;
    int64_t internal;
  };
  const Case kCases[] = {
      {L"", false, 0},
      {L"   ", false, 0},
      {L"Tue, 15 Nov 1994 08:12:31 GMT", true, kNov1994Unix + kEpoch},
      {L"Tue, 15 Nov 1994 09:12:31 +0100", true, kNov1994Unix + kEpoch},
      {L"15 Nov 1994 03:12:31 EST", true, kNov1994Unix + kEpoch},
      {L"Thu, 01 Jan 1970 00:00:00 GMT", true, kEpoch},
      {L"not a date", false, 0},
      {L"\u00c4\u00e4 31:99", false, 0},
      // Before 1601 there is no time value; 1601-01-01 00:00 is the null
      // time.
      {L"1 Jan 1600 00:00:00 GMT", false, 0},
      {L"31 Dec 1600 23:59:59 GMT", false, 0},
      {L"1 Jan 1601 00:00:00 GMT", false, 0},
      {L"1 Jan 1601 00:00:01 GMT", true, 1000000},
      // The parser's largest year, and years beyond it.
      {L"1 Jan 32767 00:00:00 GMT", true, 983503900800000000},
      {L"1 Jan 32768 00:00:00 GMT", false, 0},
      {L"1 Jan 99999 00:00:00 GMT", false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
    const Time kUntouched = Time::FromInternalValue(42);
    Time parsed = kUntouched;
    EXPECT_EQ(Time::FromString(c.text, &parsed), c.parsed);
    EXPECT_EQ(parsed.ToInternalValue(),
              c.parsed ? c.internal : kUntouched.ToInternalValue());
  }
}

TEST(TimeTest, FromStringWithoutTextOrResultIsMisuse) {
  test_support::ScopedCheckRecorder recorder;
  Time parsed;
  EXPECT_FALSE(Time::FromString(nullptr, &parsed));
  EXPECT_FALSE(Time::FromString(L"1 Jan 2000", nullptr));
  const std::vector<std::string> expected(
      2, "Check failed: (time_string != NULL) && (parsed_time != NULL). ");
  EXPECT_EQ(recorder.messages(), expected);
}

// Cases that depend on the local time zone. Wine takes its zone from the
// TZ variable of the process that starts it, so the build registers these
// cases once more for each of two fixed zones (see base/CMakeLists.txt) and
// names the zone in KELVO_TEST_TIME_ZONE. Zones without daylight saving
// keep the platform's conversion (which applies the zone's current offset
// to any date) and the parser's (which applies the offset of that date) in
// step; a run in the machine's own zone skips these cases.
class LocalTimeTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("KELVO_TEST_TIME_ZONE"))
      GTEST_SKIP() << "runs under a fixed TZ (base_time_unittests.LocalTime.*)";
  }
};

TEST_F(LocalTimeTest, StringWithoutZoneIsLocalTime) {
  struct Case {
    const wchar_t* text;
    Time::Fields fields;
  };
  const Case kCases[] = {
      {L"Tue, 15 Nov 1994 08:12:31", {1994, 11, 2, 15, 8, 12, 31, 0}},
      {L"2 Jul 2030 23:59:59", {2030, 7, 2, 2, 23, 59, 59, 0}},
      // Before 1970 the parser takes the zone's offset of 1970.
      {L"15 Mar 1960 12:00:00", {1960, 3, 2, 15, 12, 0, 0, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "'");
    const Time local = Time::FromLocalFields(c.fields);
    // The zone took effect: these zones are not UTC.
    EXPECT_NE(local, Time::FromUTCFields(c.fields));
    Time parsed;
    ASSERT_TRUE(Time::FromString(c.text, &parsed));
    EXPECT_EQ(parsed, local);
  }
}

// ---------------------------------------------------------------------------
// Clocks, driven by replaced sources.

uint32_t g_fake_ms = 0;
int64_t g_fake_count = 0;
bool g_have_counter = true;

uint32_t FakeTick() {
  return g_fake_ms;
}

bool FakeFrequency(int64_t* counts_per_second) {
  *counts_per_second = 10000000;  // 10 MHz, like the counter under Wine.
  return g_have_counter;
}

int64_t FakeCounter() {
  return g_fake_count;
}

// Installs the fake sources; each test gets fresh clocks, which its own
// at-exit manager destroys.
class ClockTest : public testing::Test {
 protected:
  ClockTest()
      : previous_tick_(TimeTicks::ReplaceTickSource(&FakeTick)),
        previous_counter_(
            TimeTicks::ReplaceCounterSource({&FakeFrequency, &FakeCounter})) {
    g_fake_ms = 0;
    g_fake_count = 0;
    g_have_counter = true;
  }
  ~ClockTest() override {
    TimeTicks::ReplaceTickSource(previous_tick_);
    TimeTicks::ReplaceCounterSource(previous_counter_);
    // Later readers of the wall clock start from the real tick.
    Time::NowResynced();
  }

  AtExitManager exit_manager_;
  const TimeTicks::TickFunctionType previous_tick_;
  const TimeTicks::CounterSource previous_counter_;
};

TEST_F(ClockTest, TickWrapsAddTwoToThe32Milliseconds) {
  constexpr int64_t kWrapMs = int64_t{1} << 32;
  struct Case {
    const char* what;
    std::vector<uint32_t> readings;
    std::vector<int64_t> expected_ms;
  };
  const Case kCases[] = {
      {"no wrap", {0x10, 0x10, 0x20}, {0x10, 0x10, 0x20}},
      {"one wrap", {0xFFFFFFF0, 0x00000010}, {0xFFFFFFF0, kWrapMs + 0x10}},
      {"two wraps",
       {0xFFFFFFF0, 0x10, 0x80000000, 0xFFFFFFFF, 0x0, 0x10},
       {0xFFFFFFF0, kWrapMs + 0x10, kWrapMs + 0x80000000, kWrapMs + 0xFFFFFFFF,
        2 * kWrapMs, 2 * kWrapMs + 0x10}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    // A fresh clock for each case: no wraps counted, nothing seen yet.
    AtExitManager case_manager(true);
    for (size_t i = 0; i < c.readings.size(); ++i) {
      g_fake_ms = c.readings[i];
      EXPECT_EQ(TimeTicks::Now().ToInternalValue(), c.expected_ms[i] * 1000)
          << "reading " << i;
    }
  }
}

TEST_F(ClockTest, WallTimeRunsOnTheTickAndResyncsAfterAMinute) {
  g_fake_ms = 5000;
  const Time base = Time::NowResynced();
  g_fake_ms += 60000;
  EXPECT_EQ(Time::Now(), base + TimeDelta::FromMilliseconds(60000));
  // One minute and a millisecond later by the tick: the system time is read
  // again, and it has not moved by a minute.
  g_fake_ms += 1;
  const Time resynced = Time::Now();
  EXPECT_LT(resynced, base + TimeDelta::FromMilliseconds(30000));
  g_fake_ms += 250;
  EXPECT_EQ(Time::Now(), resynced + TimeDelta::FromMilliseconds(250));
}

// Sets both clocks to `uptime_us` after the system's start, the counter
// `counter_lead_us` ahead of the millisecond tick.
void SetUptime(int64_t uptime_us, int64_t counter_lead_us = 0) {
  g_fake_ms = static_cast<uint32_t>(uptime_us / 1000);
  g_fake_count = (uptime_us + counter_lead_us) * 10;
}

TEST_F(ClockTest, CounterClockStaysExactAfterThirtyDays) {
  constexpr int64_t kDayUs = Time::kMicrosecondsPerDay;
  test_support::ScopedCheckRecorder recorder;
  SetUptime(30 * kDayUs);
  EXPECT_EQ(TimeTicks::PreciseNow().ToInternalValue(), 30 * kDayUs);
  const int64_t kLaterUs[] = {
      30 * kDayUs + 1,
      30 * kDayUs + 999999,
      30 * kDayUs + 3 * Time::kMicrosecondsPerHour + 7,
      45 * kDayUs + 123456,
  };
  for (const int64_t uptime_us : kLaterUs) {
    SCOPED_TRACE(uptime_us);
    SetUptime(uptime_us);
    g_fake_count += 9;  // A fraction of a microsecond is dropped.
    EXPECT_EQ(TimeTicks::PreciseNow().ToInternalValue(), uptime_us);
  }
  EXPECT_EQ(recorder.messages(), kNoMessages);
}

TEST_F(ClockTest, CounterFarAheadOfTheMillisecondClockIsAFailedCheck) {
  SetUptime(Time::kMicrosecondsPerHour);
  TimeTicks::PreciseNow();
  test_support::ScopedCheckRecorder recorder;
  // Behind by any amount, or ahead by less than 50 ms, passes.
  SetUptime(2 * Time::kMicrosecondsPerHour, -5000000);
  TimeTicks::PreciseNow();
  SetUptime(2 * Time::kMicrosecondsPerHour, 49999);
  TimeTicks::PreciseNow();
  EXPECT_EQ(recorder.messages(), kNoMessages);
  SetUptime(2 * Time::kMicrosecondsPerHour, 50000);
  EXPECT_EQ(TimeTicks::PreciseNow().ToInternalValue(),
            2 * Time::kMicrosecondsPerHour + 50000);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: now - ReliableNow() - "
                                     "skew_ < kMaxTimeDrift. "});
}

TEST_F(ClockTest, WithoutACounterPreciseTicksAreMillisecondTicks) {
  g_have_counter = false;
  SetUptime(7 * Time::kMicrosecondsPerDay, 123456);
  EXPECT_EQ(TimeTicks::PreciseNow(), TimeTicks::Now());
  EXPECT_EQ(TimeTicks::PreciseNow().ToInternalValue(),
            7 * Time::kMicrosecondsPerDay);
}

TEST(RealClockTest, ClocksRunForward) {
  AtExitManager exit_manager;
  const Time wall = Time::Now();
  const TimeTicks ticks = TimeTicks::Now();
  const TimeTicks precise = TimeTicks::PreciseNow();
  Sleep(20);
  EXPECT_GT(Time::Now(), wall);
  EXPECT_GT(TimeTicks::Now(), ticks);
  EXPECT_GT(TimeTicks::PreciseNow(), precise);
  // The wall clock agrees with the system's to well within its resync
  // period.
  const TimeDelta apart = Time::NowResynced() - Time::Now();
  EXPECT_LT(apart.InMilliseconds(), 1000);
  EXPECT_GT(apart.InMilliseconds(), -1000);
}

}  // namespace
}  // namespace base
