#include "base/number_conversions.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <type_traits>

#include "base/logging.h"
#include "base/string_util.h"

namespace base {

namespace {

// Digits from the least significant end, backwards from the buffer's last
// cell; 3 cells per byte of the type and one to spare are always enough.
template <typename Str, typename Int>
Str IntToText(Int value) {
  using Unsigned = std::make_unsigned_t<Int>;
  using Char = typename Str::value_type;
  bool negative = false;
  Unsigned magnitude = static_cast<Unsigned>(value);
  if constexpr (std::is_signed_v<Int>) {
    if (value < 0) {
      negative = true;
      // Unsigned negation, so that the most negative value converts too.
      magnitude = static_cast<Unsigned>(0) - magnitude;
    }
  }
  std::array<Char, 3 * sizeof(Int) + 1> outbuf;
  auto it = outbuf.end();
  do {
    --it;
    CHECK(it != outbuf.begin());
    *it = static_cast<Char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) {
    --it;
    CHECK(it != outbuf.begin());
    *it = static_cast<Char>('-');
  }
  return Str(it, outbuf.end());
}

// The C runtime's conversions skip leading whitespace; these tell what they
// would skip, so that such text can be refused.
bool IsLeadingSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsLeadingSpace(wchar_t c) {
  return std::iswspace(c) != 0;
}

// True when the conversion that stopped at `end` took the whole of `text`
// and did not start by skipping whitespace.
template <typename Char>
bool TookWholeText(const std::basic_string<Char>& text, const Char* end) {
  return !text.empty() && end == text.c_str() + text.size() &&
         !IsLeadingSpace(text[0]);
}

// Runs `convert` (a strtol-like call) over `text` with errno cleared;
// `*converted` receives its result, the answer tells whether the text was
// exactly one number and the conversion reported no error.
template <typename Char, typename Result, typename Convert>
bool ConvertWhole(const std::basic_string<Char>& text,
                  Convert convert,
                  Result* converted) {
  errno = 0;
  Char* end = nullptr;
  *converted = convert(text.c_str(), &end);
  return errno == 0 && TookWholeText(text, end);
}

// On this platform long is 32 bits, so strtol and strtoul range-check
// exactly the int values.
static_assert(sizeof(long) == sizeof(int), "long must be 32 bits");

template <typename Char, typename Convert>
bool ParseIntImpl(const std::basic_string<Char>& text,
                  Convert convert,
                  int* value) {
  long converted = 0;
  const bool ok = ConvertWhole(
      text, [&](const Char* s, Char** e) { return convert(s, e, 10); },
      &converted);
  *value = static_cast<int>(converted);
  return ok;
}

template <typename Char, typename Convert>
bool ParseInt64Impl(const std::basic_string<Char>& text,
                    Convert convert,
                    int64_t* value) {
  long long converted = 0;
  const bool ok = ConvertWhole(
      text, [&](const Char* s, Char** e) { return convert(s, e, 10); },
      &converted);
  *value = converted;
  return ok;
}

template <typename Char, typename Convert>
bool ParseHexIntImpl(const std::basic_string<Char>& text,
                     Convert convert,
                     int* value) {
  unsigned long converted = 0;
  const bool ok = ConvertWhole(
      text, [&](const Char* s, Char** e) { return convert(s, e, 16); },
      &converted);
  *value = static_cast<int>(converted);
  return ok;
}

// The shortest round-trip digits of a finite `value` (ignoring its sign)
// and the position of the decimal point relative to them.
void ShortestDigits(double value, std::string* digits, int* decimal_point) {
  // Scientific form: d[.ddd]e+xx or d[.ddd]e-xx.
  char text[32];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof(text), std::fabs(value),
                    std::chars_format::scientific);
  CHECK(result.ec == std::errc());
  const char* position = text;
  digits->clear();
  for (; position != result.ptr && *position != 'e'; ++position) {
    if (*position != '.')
      digits->push_back(*position);
  }
  int exponent = 0;
  std::from_chars(position + 1 + (position[1] == '+'), result.ptr, exponent);
  *decimal_point = exponent + 1;
}

template <typename Char>
int HexDigitValue(Char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

template <typename Str>
bool DecodeHexImpl(const Str& text, std::vector<uint8_t>* output) {
  if (!output->empty()) {
    CHECK(output->size() == 0);
    return false;
  }
  if (text.empty() || text.size() % 2 != 0)
    return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigitValue(text[i]);
    const int low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0)
      return false;
    output->push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

// Indexed by DataUnits.
const int64_t kUnitThresholds[] = {0, 3 * 1024, 2 * 1024 * 1024,
                                   1024 * 1024 * 1024};
const wchar_t* const kByteCountSuffixes[] = {L"B", L"kB", L"MB", L"GB"};
const wchar_t* const kByteRateSuffixes[] = {L"B/s", L"kB/s", L"MB/s", L"GB/s"};

std::wstring FormatBytesWithSuffixes(int64_t bytes,
                                     DataUnits units,
                                     bool show_units,
                                     const wchar_t* const suffixes[]) {
  if (bytes < 0) {
    NOTREACHED() << "Negative bytes value";
    return std::wstring();
  }
  // The unit indexes the suffix tables; an unknown one has no text.
  CHECK_OR_RETURN(units >= DATA_UNITS_BYTE && units <= DATA_UNITS_GIGABYTE,
                  std::wstring());
  std::wstring text;
  if (units == DATA_UNITS_BYTE) {
    // The count itself: through a double, counts above 2^53 would lose
    // their last digits and the largest one would overflow on the way back.
    text = FormatString(L"%lld", static_cast<long long>(bytes));
  } else {
    double value = static_cast<double>(bytes);
    for (int step = DATA_UNITS_BYTE; step < units; ++step)
      value /= 1024.0;
    double integer_part;
    const double fraction = std::modf(value, &integer_part);
    // The tenths digit is truncated, not rounded: 1.07 shows as "1", while
    // 1.96 shows as "2.0" because the one-decimal format rounds.
    if (static_cast<int>(fraction * 10) != 0) {
      text = FormatString(L"%.1lf", value);
    } else {
      text = FormatString(L"%lld", static_cast<long long>(value));
    }
  }
  if (show_units) {
    text += L' ';
    text += suffixes[units];
  }
  return text;
}
// The value `parse` leaves behind, whether or not all of `text` was a
// number.
template <typename Value, typename Text>
Value ValueLeftBy(bool (*parse)(const Text&, Value*), const Text& text) {
  Value value;
  parse(text, &value);
  return value;
}

}  // namespace

std::string FormatInt(int value) {
  return IntToText<std::string>(value);
}

std::string FormatUint(unsigned value) {
  return IntToText<std::string>(value);
}

std::string FormatInt64(int64_t value) {
  return IntToText<std::string>(value);
}

std::string FormatUint64(uint64_t value) {
  return IntToText<std::string>(value);
}

std::wstring FormatIntWide(int value) {
  return IntToText<std::wstring>(value);
}

std::wstring FormatUintWide(unsigned value) {
  return IntToText<std::wstring>(value);
}

std::wstring FormatInt64Wide(int64_t value) {
  return IntToText<std::wstring>(value);
}

std::wstring FormatUint64Wide(uint64_t value) {
  return IntToText<std::wstring>(value);
}

std::string FormatDouble(double value) {
  std::string text;
  if (std::signbit(value))
    text += '-';
  if (std::isinf(value))
    return text + "Infinity";
  if (std::isnan(value))
    return text + "NaN";
  std::string digits;
  int decimal_point = 0;
  ShortestDigits(value, &digits, &decimal_point);
  const int count = static_cast<int>(digits.size());
  if (decimal_point <= -4 || decimal_point > count + 5) {
    text += digits[0];
    if (count > 1) {
      text += '.';
      text.append(digits, 1, std::string::npos);
    }
    const int exponent = decimal_point - 1;
    text += exponent < 0 ? "e-" : "e+";
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10)
      text += '0';
    text += FormatInt(magnitude);
  } else if (decimal_point <= 0) {
    text += '.';
    text.append(-decimal_point, '0');
    text += digits;
  } else if (decimal_point < count) {
    text.append(digits, 0, decimal_point);
    text += '.';
    text.append(digits, decimal_point, std::string::npos);
  } else {
    text += digits;
    text.append(decimal_point - count, '0');
  }
  return text;
}

std::wstring FormatDoubleWide(double value) {
  return WideFromAscii(FormatDouble(value));
}

bool ParseInt(const std::string& text, int* value) {
  return ParseIntImpl(text, std::strtol, value);
}

bool ParseInt(const std::wstring& text, int* value) {
  return ParseIntImpl(text, std::wcstol, value);
}

bool ParseInt64(const std::string& text, int64_t* value) {
  return ParseInt64Impl(text, std::strtoll, value);
}

bool ParseInt64(const std::wstring& text, int64_t* value) {
  return ParseInt64Impl(text, std::wcstoll, value);
}

bool ParseHexInt(const std::string& text, int* value) {
  return ParseHexIntImpl(text, std::strtoul, value);
}

bool ParseHexInt(const std::wstring& text, int* value) {
  return ParseHexIntImpl(text, std::wcstoul, value);
}

bool ParseDouble(const std::string& text, double* value) {
  // The C99 conversion of the mingw-w64 runtime, called by name: it rounds
  // correctly, which the C runtime DLL's strtod does not always do.
  errno = 0;
  char* end = nullptr;
  *value = __mingw_strtod(text.c_str(), &end);
  // The conversion reports a range error also for a value below the normal
  // range that it represented with fewer digits of precision. FormatDouble
  // writes such values too, and they must read back; only a result of 0 or
  // infinity means that the value was lost.
  const bool in_range =
      errno == 0 || (errno == ERANGE && *value != 0 && !std::isinf(*value));
  return in_range && TookWholeText(text, end);
}

bool ParseDouble(const std::wstring& text, double* value) {
  // Only ASCII text can be a number; anything else is a plain failure, not
  // misuse.
  if (!IsStringASCII(text)) {
    *value = 0;
    return false;
  }
  return ParseDouble(AsciiFromUtf16(text), value);
}

int ParseIntValue(const std::string& text) {
  return ValueLeftBy<int>(&ParseInt, text);
}

int ParseIntValue(const std::wstring& text) {
  return ValueLeftBy<int>(&ParseInt, text);
}

int64_t ParseInt64Value(const std::string& text) {
  return ValueLeftBy<int64_t>(&ParseInt64, text);
}

int64_t ParseInt64Value(const std::wstring& text) {
  return ValueLeftBy<int64_t>(&ParseInt64, text);
}

int ParseHexIntValue(const std::string& text) {
  return ValueLeftBy<int>(&ParseHexInt, text);
}

int ParseHexIntValue(const std::wstring& text) {
  return ValueLeftBy<int>(&ParseHexInt, text);
}

double ParseDoubleValue(const std::string& text) {
  return ValueLeftBy<double>(&ParseDouble, text);
}

double ParseDoubleValue(const std::wstring& text) {
  return ValueLeftBy<double>(&ParseDouble, text);
}

std::string EncodeHex(const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* data = static_cast<const uint8_t*>(bytes);
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[data[i] >> 4]);
    text.push_back(kDigits[data[i] & 0x0F]);
  }
  return text;
}

bool DecodeHex(const std::string& text, std::vector<uint8_t>* output) {
  return DecodeHexImpl(text, output);
}

bool DecodeHex(const std::wstring& text, std::vector<uint8_t>* output) {
  return DecodeHexImpl(text, output);
}

DataUnits ChooseDataUnits(int64_t bytes) {
  if (bytes < 0) {
    NOTREACHED() << "Negative bytes value";
    return DATA_UNITS_BYTE;
  }
  int unit_index = DATA_UNITS_GIGABYTE;
  while (unit_index > DATA_UNITS_BYTE && kUnitThresholds[unit_index] > bytes)
    --unit_index;
  CHECK(unit_index >= DATA_UNITS_BYTE && unit_index <= DATA_UNITS_GIGABYTE);
  return static_cast<DataUnits>(unit_index);
}

std::wstring FormatByteCount(int64_t bytes, DataUnits units, bool show_units) {
  return FormatBytesWithSuffixes(bytes, units, show_units, kByteCountSuffixes);
}

std::wstring FormatByteRate(int64_t bytes_per_second,
                            DataUnits units,
                            bool show_units) {
  return FormatBytesWithSuffixes(bytes_per_second, units, show_units,
                                 kByteRateSuffixes);
}

}  // namespace base
