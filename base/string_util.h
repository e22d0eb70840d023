#ifndef BASE_STRING_UTIL_H_
#define BASE_STRING_UTIL_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/string16.h"

// Basic character handling: whitespace sets, trimming and collapsing, ASCII,
// UTF-8 and Latin-1 tests, narrowing and widening, ASCII case folding and the
// comparisons built on it, and the portability test for wide printf formats.
// Then the production of text: printf-style formatting into growing strings,
// numbered placeholders in message templates and a bounded copy. (Numbers,
// byte counts and hexadecimal to and from text are in
// base/number_conversions.h.)
//
// Free functions on caller-owned strings; outputs passed by pointer are
// replaced, except where a function says that it appends (AppendFormat, the
// placeholder offsets). No state; any thread may call them.

namespace base {

// The 27 wide whitespace code points, zero-terminated.
extern const wchar_t kSpaceCharsWide[];
// Tab, line feed, vertical tab, form feed, carriage return, space.
extern const char kSpaceCharsASCII[];

// Which ends of a string to trim, and which ends were trimmed.
enum TrimSides {
  TRIM_NOTHING = 0,
  TRIM_FRONT = 1 << 0,
  TRIM_BACK = 1 << 1,
  TRIM_BOTH = TRIM_FRONT | TRIM_BACK,
};

// Trims every character of `set` (zero-terminated) from both ends of
// `input`; true when anything was removed.
bool TrimChars(const std::wstring& input,
               const wchar_t set[],
               std::wstring* output);
bool TrimChars(const std::string& input, const char set[], std::string* output);

// Trims whitespace from the requested `sides`. An input made only of
// whitespace yields an empty output and reports exactly the sides asked for.
TrimSides TrimSpaces(const std::wstring& input,
                     TrimSides sides,
                     std::wstring* output);
// Narrow: the same as TrimSpacesASCII.
TrimSides TrimSpaces(const std::string& input,
                     TrimSides sides,
                     std::string* output);
TrimSides TrimSpacesASCII(const std::string& input,
                          TrimSides sides,
                          std::string* output);

// True for the members of kSpaceCharsWide, and for U+0000.
bool IsSpaceChar(wchar_t c);

// Drops leading and trailing whitespace and turns every inner run into one
// blank; with `drop_runs_with_line_breaks`, an inner run that holds a line
// feed or carriage return is dropped entirely, joining its neighbours.
std::wstring CollapseSpaces(const std::wstring& text,
                            bool drop_runs_with_line_breaks);

// True when every unit is below 0x80.
bool IsStringASCII(const std::string& str);
bool IsStringASCII(const std::wstring& str);

// True when the bytes are well-formed UTF-8 without surrogates, code points
// above U+10FFFF or the non-characters U+FFFE, U+FFFF and their counterparts
// in the supplementary planes. Overlong forms are invalid; NUL is valid.
bool IsValidUtf8(const std::string& str);
// The same test on a wide string whose units each carry one byte. Range
// tests compare the whole unit (0x141 is no lead byte); the continuation
// test looks at a unit's low eight bits.
bool IsValidUtf8Units(const std::wstring& str);

// True when every unit is at most 0xFF.
bool IsLatin1Only(const std::wstring& wide);
// Copies each unit of `wide` as one byte into `latin1`. At the first unit
// above 0xFF answers false and leaves `latin1` empty.
bool Latin1FromWide(const std::wstring& wide, std::string* latin1);

// Unit-for-unit conversions of ASCII-only strings. A non-ASCII input fails a
// check; where the process goes on, each non-ASCII unit becomes '?'.
std::string AsciiFromWide(const std::wstring& wide);
std::wstring WideFromAscii(const std::string& ascii);
std::string AsciiFromUtf16(const string16& utf16);
string16 Utf16FromAscii(const std::string& ascii);

// 'A' to 'Z' become 'a' to 'z'; every other value is returned unchanged.
char ToLowerAsciiChar(char c);
wchar_t ToLowerAsciiChar(wchar_t c);
void LowerAsciiInPlace(std::string* str);

// True when `a`, folded to lower case, equals `b`, a zero-terminated literal
// the caller gives in lower case (an upper-case letter in `b` never matches).
bool EqualsLowerAscii(const std::string& a, const char* b);
bool EqualsLowerAscii(const std::wstring& a, const char* b);
bool EqualsLowerAscii(std::string::const_iterator a_begin,
                      std::string::const_iterator a_end,
                      const char* b);
bool EqualsLowerAscii(std::wstring::const_iterator a_begin,
                      std::wstring::const_iterator a_end,
                      const char* b);
bool EqualsLowerAscii(const char* a_begin, const char* a_end, const char* b);
bool EqualsLowerAscii(const wchar_t* a_begin,
                      const wchar_t* a_end,
                      const char* b);

// Prefix tests; without case sensitivity only 'A' to 'Z' are folded.
bool HasPrefixAscii(const std::string& str,
                    const std::string& search,
                    bool case_sensitive);
bool HasPrefix(const std::wstring& str,
               const std::wstring& search,
               bool case_sensitive);

// False when the format uses a conversion whose meaning differs between
// platforms' wide printf: %s or %c without 'l', or %S, %C, %F, %D, %O, %U.
bool IsWprintfFormatPortable(const wchar_t* format);

// Process-wide empty strings, for callers that must return a reference that
// outlives a temporary. Created on first use, destroyed at exit.
const std::string& EmptyNarrowString();
const std::wstring& EmptyWideString();
const string16& EmptyString16();

// printf-style formatting into strings, through FormatIntoBuffer
// (base/string_util_win.h, which documents the formatter's conversions).
// Output of any length is produced: up to 1023 units from a stack buffer,
// longer output from one exactly sized heap buffer. Output that would need
// more than 32 MiB units, or a formatting error, logs a warning and leaves
// the destination unchanged. Wide formats must pass
// IsWprintfFormatPortable.
[[gnu::format(gnu_printf, 2, 0)]] void AppendFormatV(std::string* destination,
                                                     const char* format,
                                                     va_list arguments);
void AppendFormatV(std::wstring* destination,
                   const wchar_t* format,
                   va_list arguments);
[[gnu::format(gnu_printf, 2, 3)]] void AppendFormat(std::string* destination,
                                                    const char* format,
                                                    ...);
void AppendFormat(std::wstring* destination, const wchar_t* format, ...);
[[gnu::format(gnu_printf, 1, 2)]] std::string FormatString(const char* format,
                                                           ...);
std::wstring FormatString(const wchar_t* format, ...);
// Clears `destination`, then appends; returns it.
[[gnu::format(gnu_printf, 2, 3)]] const std::string&
FormatStringInto(std::string* destination, const char* format, ...);
const std::wstring& FormatStringInto(std::wstring* destination,
                                     const wchar_t* format,
                                     ...);

// Replaces "$1" to "$4" in `format` with the substitutions (the ones not
// given are empty) and "$$" with "$"; a '$' at the very end is dropped.
// Any other unit after '$' fails a check and is kept as written, with its
// '$'. With `offsets`, the output position of every substitution is
// appended to it, ordered by placeholder number; for repeats of one
// placeholder the later occurrence comes first ("$1-$1" gives 2, 0).
string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                const string16& b,
                                const string16& c,
                                const string16& d,
                                std::vector<size_t>* offsets = nullptr);
string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                const string16& b,
                                const string16& c,
                                std::vector<size_t>* offsets = nullptr);
string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                const string16& b,
                                std::vector<size_t>* offsets = nullptr);
// For a format with exactly one placeholder; another count fails a check.
// `offset`, when given, receives the first offset of the ordered list and
// is left alone when the format held no placeholder.
string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                size_t* offset = nullptr);

// Copies the zero-terminated `source` into `destination`, at most
// `destination_size` - 1 units and a terminator (nothing at all when the
// size is 0). Answers the length of `source`: an answer of
// `destination_size` or more means the copy was cut short.
size_t CopyBounded(char* destination,
                   const char* source,
                   size_t destination_size);
size_t CopyBounded(wchar_t* destination,
                   const wchar_t* source,
                   size_t destination_size);

}  // namespace base

#endif  // BASE_STRING_UTIL_H_
