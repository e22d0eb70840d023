#include "base/string_util.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <utility>

#include "base/logging.h"
#include "base/singleton.h"
#include "base/string_util_win.h"

namespace base {

const wchar_t kSpaceCharsWide[] = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085,
    0x00A0, 0x1680, 0x180E, 0x2000, 0x2001, 0x2002, 0x2003,
    0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A,
    0x200C, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0};

const char kSpaceCharsASCII[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0};

namespace {

template <typename Char>
bool InSet(Char c, const Char* set) {
  for (; *set; ++set) {
    if (*set == c)
      return true;
  }
  return false;
}

// The one trimming routine behind TrimChars and TrimSpaces.
template <typename Str>
TrimSides TrimInSet(const Str& input,
                    const typename Str::value_type* set,
                    TrimSides sides,
                    Str* output) {
  using Char = typename Str::value_type;
  if (input.empty()) {
    output->clear();
    return TRIM_NOTHING;
  }
  const size_t last = input.size() - 1;
  size_t first_good = 0;
  size_t last_good = last;
  bool found = true;
  if (sides & TRIM_FRONT) {
    first_good = 0;
    while (first_good < input.size() && InSet<Char>(input[first_good], set))
      ++first_good;
    found = first_good < input.size();
  }
  if (found && (sides & TRIM_BACK)) {
    size_t end = input.size();
    while (end > 0 && InSet<Char>(input[end - 1], set))
      --end;
    found = end > 0;
    last_good = end - 1;
  }
  if (!found) {
    output->clear();
    return sides;
  }
  *output = input.substr(first_good, last_good - first_good + 1);
  int result = TRIM_NOTHING;
  if (first_good != 0)
    result |= TRIM_FRONT;
  if (last_good != last)
    result |= TRIM_BACK;
  return static_cast<TrimSides>(result);
}

template <typename Unit>
bool IsAsciiUnit(Unit unit) {
  return static_cast<std::make_unsigned_t<Unit>>(unit) < 0x80;
}

template <typename Str>
bool IsAscii(const Str& str) {
  for (const auto unit : str) {
    if (!IsAsciiUnit(unit))
      return false;
  }
  return true;
}

template <typename To, typename From>
To CopyAsciiUnits(const From& from) {
  To to;
  to.reserve(from.size());
  for (const auto unit : from) {
    to.push_back(
        static_cast<typename To::value_type>(IsAsciiUnit(unit) ? unit : '?'));
  }
  return to;
}

template <typename Iter>
bool EqualsLowerAsciiRange(Iter a_begin, Iter a_end, const char* b) {
  using Unit = std::remove_cv_t<std::remove_reference_t<decltype(*a_begin)>>;
  for (Iter it = a_begin; it != a_end; ++it, ++b) {
    // Both sides as unsigned values, so that a byte above 0x7F in a narrow
    // `a` equals the same byte in `b` instead of its sign-extended self.
    const auto unit =
        static_cast<std::make_unsigned_t<Unit>>(ToLowerAsciiChar(*it));
    if (!*b || unit != static_cast<unsigned char>(*b))
      return false;
  }
  return *b == 0;
}

struct EmptyStrings {
  const std::string narrow;
  const std::wstring wide;
  const string16 utf16;
};

// A unit's value as a non-negative number, whatever the signedness of its
// type.
template <typename Unit>
uint32_t UnitValue(Unit unit) {
  return static_cast<std::make_unsigned_t<Unit>>(unit);
}

bool IsContinuation(uint32_t unit) {
  return (unit & 0xC0) == 0x80;
}

// U+FFFE and U+FFFF, and the code points of every supplementary plane whose
// low 16 bits are FFFE or FFFF, given the units of one whole sequence.
bool IsNonCharacter(const uint32_t* units, size_t length) {
  if (length == 3)
    return units[0] == 0xEF && units[1] == 0xBF &&
           (units[2] == 0xBE || units[2] == 0xBF);
  if (length == 4)
    return (units[1] & 0x0F) == 0x0F && units[2] == 0xBF &&
           (units[3] == 0xBE || units[3] == 0xBF);
  return false;
}

// The length of the well-formed sequence at the start of `units`, or 0 when
// none starts there.
template <typename Unit>
size_t ValidSequenceLength(const Unit* units, size_t available) {
  const uint32_t lead = UnitValue(units[0]);
  if (lead < 0x80)
    return 1;
  if (lead <= 0xC1 || lead > 0xF4)
    return 0;
  const size_t length = (lead & 0xFF) < 0xE0 ? 2 : (lead & 0xFF) < 0xF0 ? 3 : 4;
  if (available < length)
    return 0;
  uint32_t values[4] = {lead};
  for (size_t i = 1; i < length; ++i) {
    values[i] = UnitValue(units[i]);
    if (!IsContinuation(values[i]))
      return 0;
  }
  const uint32_t second = values[1];
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90))
    return 0;  // Overlong.
  if (lead == 0xED && second >= 0xA0)
    return 0;  // A surrogate.
  if (lead == 0xF4 && second >= 0x90)
    return 0;  // Above U+10FFFF.
  return IsNonCharacter(values, length) ? 0 : length;
}

template <typename Str>
bool IsValidUtf8Impl(const Str& str) {
  for (size_t i = 0; i < str.size();) {
    const size_t length = ValidSequenceLength(str.data() + i, str.size() - i);
    if (length == 0)
      return false;
    i += length;
  }
  return true;
}

}  // namespace

bool TrimChars(const std::wstring& input,
               const wchar_t set[],
               std::wstring* output) {
  return TrimInSet(input, set, TRIM_BOTH, output) != TRIM_NOTHING;
}

bool TrimChars(const std::string& input,
               const char set[],
               std::string* output) {
  return TrimInSet(input, set, TRIM_BOTH, output) != TRIM_NOTHING;
}

TrimSides TrimSpaces(const std::wstring& input,
                     TrimSides sides,
                     std::wstring* output) {
  return TrimInSet(input, kSpaceCharsWide, sides, output);
}

TrimSides TrimSpaces(const std::string& input,
                     TrimSides sides,
                     std::string* output) {
  return TrimSpacesASCII(input, sides, output);
}

TrimSides TrimSpacesASCII(const std::string& input,
                          TrimSides sides,
                          std::string* output) {
  return TrimInSet(input, kSpaceCharsASCII, sides, output);
}

bool IsSpaceChar(wchar_t c) {
  // The set's terminator counts, so NUL is whitespace here (not in trims).
  return c == 0 || InSet(c, kSpaceCharsWide);
}

std::wstring CollapseSpaces(const std::wstring& text,
                            bool drop_runs_with_line_breaks) {
  std::wstring result(text.size(), L'\0');
  size_t write = 0;
  bool in_run = true;
  bool removed = true;
  for (const wchar_t c : text) {
    if (IsSpaceChar(c)) {
      if (!in_run) {
        in_run = true;
        result[write++] = L' ';
      }
      if (drop_runs_with_line_breaks && !removed &&
          (c == L'\n' || c == L'\r')) {
        removed = true;
        --write;
      }
    } else {
      in_run = false;
      removed = false;
      result[write++] = c;
    }
  }
  if (in_run && !removed)
    --write;
  result.resize(write);
  return result;
}

bool IsStringASCII(const std::string& str) {
  return IsAscii(str);
}

bool IsStringASCII(const std::wstring& str) {
  return IsAscii(str);
}

bool IsValidUtf8(const std::string& str) {
  return IsValidUtf8Impl(str);
}

bool IsValidUtf8Units(const std::wstring& str) {
  return IsValidUtf8Impl(str);
}

bool IsLatin1Only(const std::wstring& wide) {
  for (const wchar_t unit : wide) {
    if (UnitValue(unit) > 0xFF)
      return false;
  }
  return true;
}

bool Latin1FromWide(const std::wstring& wide, std::string* latin1) {
  latin1->clear();
  std::string bytes(wide.size(), '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    if (UnitValue(wide[i]) > 0xFF)
      return false;
    bytes[i] = static_cast<char>(wide[i]);
  }
  latin1->swap(bytes);
  return true;
}

std::string AsciiFromWide(const std::wstring& wide) {
  CHECK(IsStringASCII(wide));
  return CopyAsciiUnits<std::string>(wide);
}

std::wstring WideFromAscii(const std::string& ascii) {
  CHECK(IsStringASCII(ascii));
  return CopyAsciiUnits<std::wstring>(ascii);
}

std::string AsciiFromUtf16(const string16& utf16) {
  CHECK(IsStringASCII(utf16));
  return CopyAsciiUnits<std::string>(utf16);
}

string16 Utf16FromAscii(const std::string& ascii) {
  CHECK(IsStringASCII(ascii));
  return CopyAsciiUnits<string16>(ascii);
}

char ToLowerAsciiChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

wchar_t ToLowerAsciiChar(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

void LowerAsciiInPlace(std::string* str) {
  for (char& c : *str)
    c = ToLowerAsciiChar(c);
}

bool EqualsLowerAscii(const std::string& a, const char* b) {
  return EqualsLowerAsciiRange(a.begin(), a.end(), b);
}

bool EqualsLowerAscii(const std::wstring& a, const char* b) {
  return EqualsLowerAsciiRange(a.begin(), a.end(), b);
}

bool EqualsLowerAscii(std::string::const_iterator a_begin,
                      std::string::const_iterator a_end,
                      const char* b) {
  return EqualsLowerAsciiRange(a_begin, a_end, b);
}

bool EqualsLowerAscii(std::wstring::const_iterator a_begin,
                      std::wstring::const_iterator a_end,
                      const char* b) {
  return EqualsLowerAsciiRange(a_begin, a_end, b);
}

bool EqualsLowerAscii(const char* a_begin, const char* a_end, const char* b) {
  return EqualsLowerAsciiRange(a_begin, a_end, b);
}

bool EqualsLowerAscii(const wchar_t* a_begin,
                      const wchar_t* a_end,
                      const char* b) {
  return EqualsLowerAsciiRange(a_begin, a_end, b);
}

bool HasPrefixAscii(const std::string& str,
                    const std::string& search,
                    bool case_sensitive) {
  if (case_sensitive)
    return str.compare(0, search.size(), search) == 0;
  // Compares the zero-terminated buffers, as strncasecmp would: a shorter
  // `str` fails at its terminator.
  const char* s = str.c_str();
  const char* p = search.c_str();
  for (size_t i = 0; i < search.size(); ++i) {
    const char a = ToLowerAsciiChar(s[i]);
    if (a != ToLowerAsciiChar(p[i]))
      return false;
    if (a == '\0')
      return true;
  }
  return true;
}

bool HasPrefix(const std::wstring& str,
               const std::wstring& search,
               bool case_sensitive) {
  if (search.size() > str.size())
    return false;
  if (case_sensitive)
    return str.compare(0, search.size(), search) == 0;
  for (size_t i = 0; i < search.size(); ++i) {
    if (ToLowerAsciiChar(str[i]) != ToLowerAsciiChar(search[i]))
      return false;
  }
  return true;
}

bool IsWprintfFormatPortable(const wchar_t* format) {
  for (const wchar_t* position = format; *position; ++position) {
    if (*position != L'%')
      continue;
    bool l_flag = false;
    for (++position;; ++position) {
      const wchar_t c = *position;
      // A format that ends inside a conversion is broken everywhere alike.
      if (!c)
        return true;
      if (c == L'l') {
        l_flag = true;
      } else if (((c == L's' || c == L'c') && !l_flag) || c == L'S' ||
                 c == L'C' || c == L'F' || c == L'D' || c == L'O' ||
                 c == L'U') {
        return false;
      }
      if (wcschr(L"diouxXeEfgGaAcspn%", c))
        break;
    }
  }
  return true;
}

const std::string& EmptyNarrowString() {
  return Singleton<EmptyStrings>::get()->narrow;
}

const std::wstring& EmptyWideString() {
  return Singleton<EmptyStrings>::get()->wide;
}

const string16& EmptyString16() {
  return Singleton<EmptyStrings>::get()->utf16;
}

namespace {

// Output needing more units than this is refused rather than allocated.
constexpr size_t kMaxFormattedUnits = 32 * 1024 * 1024;
constexpr size_t kStackFormatUnits = 1024;

// Output that fits in the stack buffer costs no allocation; longer output
// is formatted once more into a heap buffer of exactly the size the first
// pass reported. Each pass formats from its own copy of the arguments.
template <typename Str>
void AppendFormatImpl(Str* destination,
                      const typename Str::value_type* format,
                      va_list arguments) {
  using Char = typename Str::value_type;
  Char stack_buffer[kStackFormatUnits];
  va_list copy;
  va_copy(copy, arguments);
  int result = FormatIntoBuffer(stack_buffer, kStackFormatUnits, format, copy);
  va_end(copy);
  if (result >= 0 && static_cast<size_t>(result) < kStackFormatUnits) {
    destination->append(stack_buffer, result);
    return;
  }
  for (;;) {
    if (result < 0) {
      LOG(WARNING) << "Unable to printf the requested string due to error.";
      return;
    }
    const size_t needed = static_cast<size_t>(result) + 1;
    if (needed > kMaxFormattedUnits) {
      LOG(WARNING) << "Unable to printf the requested string due to size.";
      return;
    }
    std::vector<Char> heap_buffer(needed);
    va_copy(copy, arguments);
    result = FormatIntoBuffer(heap_buffer.data(), needed, format, copy);
    va_end(copy);
    if (result >= 0 && static_cast<size_t>(result) < needed) {
      destination->append(heap_buffer.data(), result);
      return;
    }
  }
}

struct PlaceholderOffset {
  size_t parameter;  // 0 for "$1".
  size_t offset;
};

string16 SubstituteImpl(const string16& format,
                        const string16 (&substitutions)[4],
                        std::vector<size_t>* offsets) {
  size_t length = format.size();
  for (const string16& substitution : substitutions)
    length += substitution.size();
  string16 result;
  result.reserve(length);
  // Kept sorted by parameter; a later occurrence of a parameter goes in
  // front of its earlier ones.
  std::vector<PlaceholderOffset> found;
  for (auto i = format.begin(); i != format.end(); ++i) {
    if (*i != '$') {
      result.push_back(*i);
      continue;
    }
    if (i + 1 == format.end())
      break;  // A '$' at the very end is dropped.
    ++i;
    if (*i == '$') {
      result.push_back('$');
      continue;
    }
    if (*i < '1' || *i > '4') {
      CHECK('$' == *i || ('1' <= *i && *i <= '4'))
          << "Invalid placeholder: " << string16(1, *i);
      // Kept as written, so that no text of the template is lost.
      result.push_back('$');
      result.push_back(*i);
      continue;
    }
    const size_t parameter = *i - '1';
    if (offsets) {
      const auto position = std::find_if(
          found.begin(), found.end(), [parameter](const PlaceholderOffset& p) {
            return p.parameter >= parameter;
          });
      found.insert(position, PlaceholderOffset{parameter, result.size()});
    }
    result.append(substitutions[parameter]);
  }
  if (offsets) {
    for (const PlaceholderOffset& p : found)
      offsets->push_back(p.offset);
  }
  return result;
}

template <typename Char>
size_t CopyBoundedImpl(Char* destination,
                       const Char* source,
                       size_t destination_size) {
  if (destination_size != 0) {
    size_t i = 0;
    for (; i + 1 < destination_size && source[i]; ++i)
      destination[i] = source[i];
    destination[i] = 0;
  }
  return std::char_traits<Char>::length(source);
}

}  // namespace

void AppendFormatV(std::string* destination,
                   const char* format,
                   va_list arguments) {
  AppendFormatImpl(destination, format, arguments);
}

void AppendFormatV(std::wstring* destination,
                   const wchar_t* format,
                   va_list arguments) {
  AppendFormatImpl(destination, format, arguments);
}

void AppendFormat(std::string* destination, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(destination, format, arguments);
  va_end(arguments);
}

void AppendFormat(std::wstring* destination, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(destination, format, arguments);
  va_end(arguments);
}

std::string FormatString(const char* format, ...) {
  std::string result;
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(&result, format, arguments);
  va_end(arguments);
  return result;
}

std::wstring FormatString(const wchar_t* format, ...) {
  std::wstring result;
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(&result, format, arguments);
  va_end(arguments);
  return result;
}

const std::string& FormatStringInto(std::string* destination,
                                    const char* format,
                                    ...) {
  destination->clear();
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(destination, format, arguments);
  va_end(arguments);
  return *destination;
}

const std::wstring& FormatStringInto(std::wstring* destination,
                                     const wchar_t* format,
                                     ...) {
  destination->clear();
  va_list arguments;
  va_start(arguments, format);
  AppendFormatV(destination, format, arguments);
  va_end(arguments);
  return *destination;
}

string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                const string16& b,
                                const string16& c,
                                const string16& d,
                                std::vector<size_t>* offsets) {
  const string16 substitutions[4] = {a, b, c, d};
  return SubstituteImpl(format, substitutions, offsets);
}

string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                const string16& b,
                                const string16& c,
                                std::vector<size_t>* offsets) {
  const string16 substitutions[4] = {a, b, c, string16()};
  return SubstituteImpl(format, substitutions, offsets);
}

string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                const string16& b,
                                std::vector<size_t>* offsets) {
  const string16 substitutions[4] = {a, b, string16(), string16()};
  return SubstituteImpl(format, substitutions, offsets);
}

string16 SubstitutePlaceholders(const string16& format,
                                const string16& a,
                                size_t* offset) {
  const string16 substitutions[4] = {a, string16(), string16(), string16()};
  std::vector<size_t> offsets;
  string16 result = SubstituteImpl(format, substitutions, &offsets);
  CHECK(offsets.size() == 1);
  if (offset && !offsets.empty())
    *offset = offsets.front();
  return result;
}

size_t CopyBounded(char* destination,
                   const char* source,
                   size_t destination_size) {
  return CopyBoundedImpl(destination, source, destination_size);
}

size_t CopyBounded(wchar_t* destination,
                   const wchar_t* source,
                   size_t destination_size) {
  return CopyBoundedImpl(destination, source, destination_size);
}

}  // namespace base
