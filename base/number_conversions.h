#ifndef BASE_NUMBER_CONVERSIONS_H_
#define BASE_NUMBER_CONVERSIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Numbers to and from text: decimal integers, the shortest text of a double
// that reads back to the same double, byte counts and byte rates for
// display, and hexadecimal encoding of bytes.
//
// Free functions; they keep no state, allocate only the strings they return
// and may be called from any thread (the parsers use the calling thread's
// errno).

namespace base {

// Decimal text: no grouping, no '+', no leading zeros; the most negative
// values convert correctly.
std::string FormatInt(int value);
std::string FormatUint(unsigned value);
std::string FormatInt64(int64_t value);
std::string FormatUint64(uint64_t value);
std::wstring FormatIntWide(int value);
std::wstring FormatUintWide(unsigned value);
std::wstring FormatInt64Wide(int64_t value);
std::wstring FormatUint64Wide(uint64_t value);

// The shortest digits that read back to `value`, laid out without a zero
// before the point (".5", ".001"), in exponent form when the point lies 4 or
// more places before the digits or more than 5 places after them ("1e-05",
// "1.5e+20", "1e+06"), else plainly ("123.45", "100000"). Also "-0",
// "Infinity", "-Infinity" and "NaN". ParseDouble reads every such text back
// to the same double.
std::string FormatDouble(double value);
std::wstring FormatDoubleWide(double value);

// Each parser stores what the C runtime's conversion produced (for an
// overflow its clamped value) and answers true only when the whole text was
// one number in range: not empty, no leading whitespace, nothing after the
// number (an embedded NUL ends it). Signs are accepted.
//
// 32-bit signed decimal.
bool ParseInt(const std::string& text, int* value);
bool ParseInt(const std::wstring& text, int* value);
// 64-bit signed decimal.
bool ParseInt64(const std::string& text, int64_t* value);
bool ParseInt64(const std::wstring& text, int64_t* value);
// 32-bit unsigned hexadecimal, with or without "0x", stored bit for bit:
// "FFFFFFFF" and "-1" both give -1.
bool ParseHexInt(const std::string& text, int* value);
bool ParseHexInt(const std::wstring& text, int* value);
// Decimal, exponent, "Infinity", "NaN" and C99 hexadecimal forms, correctly
// rounded. A value too small for the normal range but not 0 is accepted;
// one that would come out 0 or infinite is not. A wide text with a unit
// outside ASCII answers false with 0.
bool ParseDouble(const std::string& text, double* value);
bool ParseDouble(const std::wstring& text, double* value);

// The value the matching parser stores, whatever its answer.
int ParseIntValue(const std::string& text);
int ParseIntValue(const std::wstring& text);
int64_t ParseInt64Value(const std::string& text);
int64_t ParseInt64Value(const std::wstring& text);
int ParseHexIntValue(const std::string& text);
int ParseHexIntValue(const std::wstring& text);
double ParseDoubleValue(const std::string& text);
double ParseDoubleValue(const std::wstring& text);

// Two upper-case hexadecimal digits per byte, high nibble first.
std::string EncodeHex(const void* bytes, size_t size);

// Appends the bytes of pairs of hexadecimal digits (either case) to
// `output`, which must be empty (else a check fails and the answer is
// false, `output` untouched). Empty or odd-length text answers false; at
// the first pair that is not two digits the answer is false and the bytes
// decoded before it stay in `output`.
bool DecodeHex(const std::string& text, std::vector<uint8_t>* output);
bool DecodeHex(const std::wstring& text, std::vector<uint8_t>* output);

// The unit in which a byte count is shown. Any int converts safely; values
// outside the four fail a check where they are used.
enum DataUnits : int {
  DATA_UNITS_BYTE = 0,
  DATA_UNITS_KILOBYTE = 1,
  DATA_UNITS_MEGABYTE = 2,
  DATA_UNITS_GIGABYTE = 3,
};

// The unit to show `bytes` in: kilobytes from 3 kB, megabytes from 2 MB,
// gigabytes from 1 GB (the divisor between units is 1024). A negative count
// fails a check and gives DATA_UNITS_BYTE.
DataUnits ChooseDataUnits(int64_t bytes);

// `bytes` in `units`: with one decimal when the tenths digit of the
// quotient is not 0 ("1.5", and "2.0" for 1.96, which the decimal rounds),
// else the integer part ("1" for 1.07). In bytes, the exact count. With
// `show_units`, a blank and "B", "kB", "MB" or "GB" (byte rates: "B/s",
// "kB/s", ...) follow. A negative count or an unknown unit fails a check
// and gives "".
std::wstring FormatByteCount(int64_t bytes, DataUnits units, bool show_units);
std::wstring FormatByteRate(int64_t bytes_per_second,
                            DataUnits units,
                            bool show_units);

}  // namespace base

#endif  // BASE_NUMBER_CONVERSIONS_H_
