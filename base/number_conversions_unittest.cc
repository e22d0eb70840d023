#include "base/number_conversions.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_strings.h"

namespace base {
namespace {

using namespace std::string_literals;

using test_support::WidenBytes;

uint64_t BitsOf(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

TEST(FormatIntTest, WritesPlainDecimalDigits) {
  struct Case {
    std::string formatted;
    const char* expected;
  };
  const Case kCases[] = {
      {FormatInt(0), "0"},
      {FormatInt(-1), "-1"},
      {FormatInt(INT_MAX), "2147483647"},
      {FormatInt(INT_MIN), "-2147483648"},
      {FormatUint(0), "0"},
      {FormatUint(UINT_MAX), "4294967295"},
      {FormatInt64(INT64_MIN), "-9223372036854775808"},
      {FormatInt64(INT64_MAX), "9223372036854775807"},
      {FormatInt64(-100), "-100"},
      {FormatUint64(UINT64_MAX), "18446744073709551615"},
      {FormatUint64(10), "10"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(c.formatted, c.expected);

  EXPECT_EQ(FormatIntWide(INT_MIN), L"-2147483648");
  EXPECT_EQ(FormatUintWide(UINT_MAX), L"4294967295");
  EXPECT_EQ(FormatInt64Wide(INT64_MIN), L"-9223372036854775808");
  EXPECT_EQ(FormatUint64Wide(UINT64_MAX), L"18446744073709551615");
}

TEST(FormatIntTest, EveryPowerOfTenAndItsNeighboursReadsBack) {
  std::vector<int64_t> values = {INT64_MIN, INT64_MAX, INT64_MIN + 1, 0};
  for (int64_t power = 1; power <= INT64_MAX / 10; power *= 10) {
    for (const int64_t value : {power - 1, power, power + 1})
      values.insert(values.end(), {value, -value});
  }
  for (const int64_t value : values) {
    SCOPED_TRACE(value);
    int64_t parsed = 0;
    EXPECT_TRUE(ParseInt64(FormatInt64(value), &parsed));
    EXPECT_EQ(parsed, value);
    EXPECT_TRUE(ParseInt64(FormatInt64Wide(value), &parsed));
    EXPECT_EQ(parsed, value);
    if (value >= INT_MIN && value <= INT_MAX) {
      const int narrow_value = static_cast<int>(value);
      int parsed_int = 0;
      EXPECT_TRUE(ParseInt(FormatInt(narrow_value), &parsed_int));
      EXPECT_EQ(parsed_int, narrow_value);
      EXPECT_TRUE(ParseInt(FormatIntWide(narrow_value), &parsed_int));
      EXPECT_EQ(parsed_int, narrow_value);
    }
    if (value >= 0) {
      EXPECT_EQ(FormatUint64(static_cast<uint64_t>(value)), FormatInt64(value));
    }
  }
}

struct IntParseCase {
  std::string text;
  bool ok;
  int64_t value;
};

// Runs every case through the parser and its value-only form, narrow and
// wide: each must answer `ok` and leave `value`, starting from -5.
template <typename T, size_t N, typename Parse, typename ParseValue>
void ExpectIntParses(const IntParseCase (&cases)[N],
                     Parse parse,
                     ParseValue parse_value) {
  for (const IntParseCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const std::wstring wide = WidenBytes(c.text);
    T value = -5;
    EXPECT_EQ(parse(c.text, &value), c.ok);
    EXPECT_EQ(value, c.value);
    value = -5;
    EXPECT_EQ(parse(wide, &value), c.ok);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(parse_value(c.text), c.value);
    EXPECT_EQ(parse_value(wide), c.value);
  }
}

TEST(ParseIntTest, AcceptsOnlyWholeDecimalNumbersInRange) {
  const IntParseCase kCases[] = {
      {"12", true, 12},
      {"+7", true, 7},
      {"-2147483648", true, INT_MIN},
      {"2147483647", true, INT_MAX},
      {"007", true, 7},
      {" 12", false, 12},
      {"\t12", false, 12},
      {"12 ", false, 12},
      {"", false, 0},
      {"12a", false, 12},
      {"a12", false, 0},
      {"-", false, 0},
      {"0x10", false, 0},
      {"1\0"
       "2"s,
       false, 1},
      // Out of range: false with the clamped value.
      {"99999999999", false, INT_MAX},
      {"2147483648", false, INT_MAX},
      {"-2147483649", false, INT_MIN},
  };
  ExpectIntParses<int>(
      kCases,
      [](const auto& text, int* value) { return ParseInt(text, value); },
      [](const auto& text) { return ParseIntValue(text); });
  // Wide whitespace is no more accepted in front than ASCII whitespace.
  int value = 0;
  EXPECT_FALSE(ParseInt(L"\u300012", &value));
  EXPECT_FALSE(ParseInt(L"\u00a012", &value));
}

TEST(ParseInt64Test, AcceptsOnlyWholeDecimalNumbersInRange) {
  const IntParseCase kCases[] = {
      {"12", true, 12},
      {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775807", true, INT64_MAX},
      {"4294967296", true, 4294967296LL},
      {" 1", false, 1},
      {"1 ", false, 1},
      {"", false, 0},
      {"9223372036854775808", false, INT64_MAX},
      {"-9223372036854775809", false, INT64_MIN},
  };
  ExpectIntParses<int64_t>(
      kCases,
      [](const auto& text, int64_t* value) { return ParseInt64(text, value); },
      [](const auto& text) { return ParseInt64Value(text); });
}

TEST(ParseHexIntTest, ReadsUnsigned32BitHexBitForBit) {
  const IntParseCase kCases[] = {
      {"ff", true, 255},
      {"0xFF", true, 255},
      {"0X1a", true, 26},
      {"7fffffff", true, INT_MAX},
      {"80000000", true, INT_MIN},
      {"FFFFFFFF", true, -1},
      // The conversion negates a signed text in unsigned arithmetic.
      {"-1", true, -1},
      {"", false, 0},
      {" ff", false, 255},
      {"ff ", false, 255},
      {"0x", false, 0},
      {"fg", false, 15},
      {"100000000", false, -1},
  };
  ExpectIntParses<int>(
      kCases,
      [](const auto& text, int* value) { return ParseHexInt(text, value); },
      [](const auto& text) { return ParseHexIntValue(text); });
}

TEST(FormatDoubleTest, WritesTheShortestDigitsInTheirLayout) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case kCases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {0.1, ".1"},
      {0.5, ".5"},
      {-2.5, "-2.5"},
      {0.001, ".001"},
      {0.0001, ".0001"},
      {1e-05, "1e-05"},
      {-1.5e-7, "-1.5e-07"},
      {123.45, "123.45"},
      {123456, "123456"},
      {100000, "100000"},
      {1e6, "1e+06"},
      {1234567, "1234567"},
      {12300000, "12300000"},
      {1.5e20, "1.5e+20"},
      {1e21, "1e+21"},
      {1.0 / 3, ".3333333333333333"},
      {9007199254740993.0, "9007199254740992"},
      {1e300, "1e+300"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {DBL_MIN, "2.2250738585072014e-308"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FormatDouble(c.value), c.expected);
    EXPECT_EQ(FormatDoubleWide(c.value), WidenBytes(c.expected));
  }
}

TEST(FormatDoubleTest, EveryFiniteTextReadsBackToTheSameDouble) {
  std::vector<double> values = {
      0.0,
      -0.0,
      0.1,
      1.0 / 3,
      2.0 / 3,
      1e23,
      5e-324,
      -5e-324,
      1e-310,  // Below the normal range.
      DBL_MIN,
      std::nextafter(DBL_MIN, 0.0),
      DBL_MAX,
      -DBL_MAX,
      9007199254740993.0,
  };
  // A fixed sequence of bit patterns over every exponent, subnormals
  // included.
  std::mt19937_64 bits(20240611);
  for (int i = 0; i < 20000; ++i) {
    const double value = DoubleFromBits(bits());
    if (std::isfinite(value))
      values.push_back(value);
  }
  for (const double value : values) {
    const std::string text = FormatDouble(value);
    SCOPED_TRACE(text);
    double parsed = 0;
    EXPECT_TRUE(ParseDouble(text, &parsed));
    EXPECT_EQ(BitsOf(parsed), BitsOf(value));
    parsed = 0;
    EXPECT_TRUE(ParseDouble(FormatDoubleWide(value), &parsed));
    EXPECT_EQ(BitsOf(parsed), BitsOf(value));
  }
}

TEST(ParseDoubleTest, AcceptsOnlyWholeNumbersThatKeepTheirValue) {
  const double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string text;
    bool ok;
    double value;
  };
  const Case kCases[] = {
      {"1.5", true, 1.5},
      {"-0.25", true, -0.25},
      {"+1", true, 1},
      {".5", true, 0.5},
      {"1e10", true, 1e10},
      {"1E-3", true, 1e-3},
      {"0x10", true, 16},
      {"Infinity", true, kInf},
      {"-inf", true, -kInf},
      // Correctly rounded: the last digit of a long text still counts.
      {"9007199254740993.0000000001", true, 9007199254740994.0},
      {"2.2250738585072011e-308", true, 2.2250738585072011e-308},
      {"4.9e-324", true, 5e-324},
      {"", false, 0},
      {" 1", false, 1},
      {"\n1", false, 1},
      {"1 ", false, 1},
      {"1,5", false, 1},
      {"abc", false, 0},
      {"1.5\0"
       "7"s,
       false, 1.5},
      // Out of range: the value is lost to infinity or 0.
      {"1e400", false, kInf},
      {"-1e400", false, -kInf},
      {"1e-400", false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    double value = -5;
    EXPECT_EQ(ParseDouble(c.text, &value), c.ok);
    EXPECT_EQ(value, c.value);
    value = -5;
    EXPECT_EQ(ParseDouble(WidenBytes(c.text), &value), c.ok);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(ParseDoubleValue(c.text), c.value);
    EXPECT_EQ(ParseDoubleValue(WidenBytes(c.text)), c.value);
  }
  EXPECT_TRUE(std::isnan(ParseDoubleValue("NaN")));
}

TEST(ParseDoubleTest, NonAsciiWideTextIsAPlainFailure) {
  // Outside a recorder, a failed check would fail this test.
  const std::wstring kTexts[] = {L"1\u00b75", L"\uff11", L"1.5\u3000",
                                 L"\u00e9"};
  for (const std::wstring& text : kTexts) {
    double value = -5;
    EXPECT_FALSE(ParseDouble(text, &value));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ParseDoubleValue(text), 0);
  }
}

TEST(HexTest, EncodesUpperCaseAndDecodesEitherCase) {
  const uint8_t kBytes[] = {0x00, 0x0A, 0xFF, 0x7F, 0x80, 0x5c};
  EXPECT_EQ(EncodeHex(kBytes, sizeof(kBytes)), "000AFF7F805C");
  EXPECT_EQ(EncodeHex(kBytes, 0), "");

  std::vector<uint8_t> every_byte;
  for (int i = 0; i < 256; ++i)
    every_byte.push_back(static_cast<uint8_t>(i));
  const std::string text = EncodeHex(every_byte.data(), every_byte.size());
  ASSERT_EQ(text.size(), 512u);
  std::vector<uint8_t> decoded;
  EXPECT_TRUE(DecodeHex(text, &decoded));
  EXPECT_EQ(decoded, every_byte);
  std::string lower = text;
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  decoded.clear();
  EXPECT_TRUE(DecodeHex(WidenBytes(lower), &decoded));
  EXPECT_EQ(decoded, every_byte);
}

TEST(HexTest, DecodeAnswersFalseAndKeepsWhatCameBefore) {
  struct Case {
    std::wstring text;
    bool ok;
    std::vector<uint8_t> bytes;
  };
  const Case kCases[] = {
      {L"0aFf", true, {0x0A, 0xFF}},
      {L"00", true, {0x00}},
      {L"", false, {}},
      {L"abc", false, {}},
      {L"0g", false, {}},
      {L"0a0g12", false, {0x0A}},
      {L"0a\0"s
       "1",
       false,
       {0x0A}},
      {L"0a\0"s
       "1a",
       false,
       {}},  // Odd length.
      {L"-1", false, {}},
      // Wide units are compared whole: none of these is a digit.
      {{0x130, 0x141}, false, {}},
      {{L'0', 0xFF10}, false, {}},
      {{0x1030, 0x1031}, false, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    std::vector<uint8_t> wide_bytes;
    EXPECT_EQ(DecodeHex(c.text, &wide_bytes), c.ok);
    EXPECT_EQ(wide_bytes, c.bytes);
    bool all_below_0x100 = true;
    std::string narrow;
    for (const wchar_t unit : c.text) {
      all_below_0x100 = all_below_0x100 && unit < 0x100;
      narrow.push_back(static_cast<char>(unit));
    }
    if (all_below_0x100) {
      std::vector<uint8_t> narrow_bytes;
      EXPECT_EQ(DecodeHex(narrow, &narrow_bytes), c.ok);
      EXPECT_EQ(narrow_bytes, c.bytes);
    }
  }
}

TEST(HexTest, DecodeWantsAnEmptyOutput) {
  test_support::ScopedCheckRecorder recorder;
  std::vector<uint8_t> bytes = {1, 2};
  EXPECT_FALSE(DecodeHex("0a", &bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2}));
  const std::vector<std::string> expected = {
      "Check failed: output->size() == 0. "};
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(DataUnitsTest, ChoosesTheUnitByItsThreshold) {
  struct Case {
    int64_t bytes;
    DataUnits units;
  };
  const Case kCases[] = {
      {0, DATA_UNITS_BYTE},
      {3071, DATA_UNITS_BYTE},
      {3072, DATA_UNITS_KILOBYTE},
      {2097151, DATA_UNITS_KILOBYTE},
      {2097152, DATA_UNITS_MEGABYTE},
      {1073741823, DATA_UNITS_MEGABYTE},
      {1073741824, DATA_UNITS_GIGABYTE},
      {INT64_MAX, DATA_UNITS_GIGABYTE},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(ChooseDataUnits(c.bytes), c.units) << c.bytes;
}

TEST(DataUnitsTest, FormatsCountsAndRatesInTheGivenUnit) {
  const int64_t kKiB = 1024;
  const int64_t kMiB = 1024 * kKiB;
  const int64_t kGiB = 1024 * kMiB;
  struct Case {
    int64_t bytes;
    DataUnits units;
    const wchar_t* number;
    const wchar_t* count_suffix;
    const wchar_t* rate_suffix;
  };
  const Case kCases[] = {
      {0, DATA_UNITS_BYTE, L"0", L"B", L"B/s"},
      {1536, DATA_UNITS_BYTE, L"1536", L"B", L"B/s"},
      {2048, DATA_UNITS_KILOBYTE, L"2", L"kB", L"kB/s"},
      {1536, DATA_UNITS_KILOBYTE, L"1.5", L"kB", L"kB/s"},
      {1024, DATA_UNITS_KILOBYTE, L"1", L"kB", L"kB/s"},
      // The tenths digit is truncated for the test: 1.07 shows as "1"...
      {1100, DATA_UNITS_KILOBYTE, L"1", L"kB", L"kB/s"},
      {1996, DATA_UNITS_KILOBYTE, L"1.9", L"kB", L"kB/s"},
      // ...and rounded by the one-decimal format: 1.96 shows as "2.0".
      {2007, DATA_UNITS_KILOBYTE, L"2.0", L"kB", L"kB/s"},
      {150, DATA_UNITS_KILOBYTE, L"0.1", L"kB", L"kB/s"},
      {50, DATA_UNITS_KILOBYTE, L"0", L"kB", L"kB/s"},
      {kMiB, DATA_UNITS_KILOBYTE, L"1024", L"kB", L"kB/s"},
      {5 * kMiB / 2, DATA_UNITS_MEGABYTE, L"2.5", L"MB", L"MB/s"},
      {3 * kGiB / 2, DATA_UNITS_GIGABYTE, L"1.5", L"GB", L"GB/s"},
      {kMiB, DATA_UNITS_GIGABYTE, L"0", L"GB", L"GB/s"},
      // Counts shown in bytes are exact, however large.
      {9007199254740993LL, DATA_UNITS_BYTE, L"9007199254740993", L"B", L"B/s"},
      {INT64_MAX, DATA_UNITS_BYTE, L"9223372036854775807", L"B", L"B/s"},
      {INT64_MAX, DATA_UNITS_KILOBYTE, L"9007199254740992", L"kB", L"kB/s"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " in unit " << c.units);
    const std::wstring number = c.number;
    EXPECT_EQ(FormatByteCount(c.bytes, c.units, false), number);
    EXPECT_EQ(FormatByteCount(c.bytes, c.units, true),
              number + L" " + c.count_suffix);
    EXPECT_EQ(FormatByteRate(c.bytes, c.units, false), number);
    EXPECT_EQ(FormatByteRate(c.bytes, c.units, true),
              number + L" " + c.rate_suffix);
  }
}

TEST(DataUnitsTest, NegativeCountsAndUnknownUnitsFailAndGiveNothing) {
  test_support::ScopedCheckRecorder recorder;
  EXPECT_EQ(ChooseDataUnits(-1), DATA_UNITS_BYTE);
  EXPECT_EQ(FormatByteCount(-1, DATA_UNITS_BYTE, true), L"");
  EXPECT_EQ(FormatByteRate(INT64_MIN, DATA_UNITS_KILOBYTE, true), L"");
  EXPECT_EQ(FormatByteCount(5, static_cast<DataUnits>(4), true), L"");
  EXPECT_EQ(FormatByteRate(5, static_cast<DataUnits>(-1), true), L"");
  const std::string kNegative = "Check failed: false. Negative bytes value";
  const std::string kUnknownUnit =
      "Check failed: units >= DATA_UNITS_BYTE && units <= "
      "DATA_UNITS_GIGABYTE. ";
  const std::vector<std::string> expected = {kNegative, kNegative, kNegative,
                                             kUnknownUnit, kUnknownUnit};
  EXPECT_EQ(recorder.messages(), expected);
}

}  // namespace
}  // namespace base
