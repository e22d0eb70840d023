#include "base/string_split.h"

#include "base/logging.h"
#include "base/string_util.h"

namespace base {
namespace {

template <typename String>
void ReplaceAfter(String* str,
                  size_t start_offset,
                  const String& find_this,
                  const String& replace_with,
                  bool replace_all) {
  if (start_offset == String::npos || start_offset >= str->length())
    return;
  CHECK_OR_RETURN(!find_this.empty(), );
  for (size_t offset = str->find(find_this, start_offset);
       offset != String::npos; offset = str->find(find_this, offset)) {
    str->replace(offset, find_this.length(), replace_with);
    offset += replace_with.length();
    if (!replace_all)
      break;
  }
}

template <typename String>
void Split(const String& str,
           typename String::value_type separator,
           bool trim,
           std::vector<String>* pieces) {
  size_t piece_start = 0;
  for (size_t i = 0; i <= str.size(); ++i) {
    if (i != str.size() && str[i] != separator)
      continue;
    String piece = str.substr(piece_start, i - piece_start);
    if (trim)
      TrimSpaces(piece, TRIM_BOTH, &piece);
    pieces->push_back(std::move(piece));
    piece_start = i + 1;
  }
}

bool IsWordSeparator(wchar_t c) {
  return (c >= 9 && c <= 13) || c == 32;
}

template <typename String>
String Join(const std::vector<String>& parts,
            typename String::value_type separator) {
  String result;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0)
      result.push_back(separator);
    result += parts[i];
  }
  return result;
}

// The match is a table of answers for every pair of text and pattern
// positions, filled from the pattern's end: the answer at pattern position
// p needs only the columns p + 1 and p + 2 (after an escape), and, for a
// "*", the answer one text unit further in the same column. Three columns
// of text positions are kept, so neither time nor memory depends on how
// the pattern nests its wildcards, and nothing recurses.
template <typename Char>
bool MatchWildcardT(const Char* text,
                    size_t text_length,
                    const Char* pattern,
                    size_t pattern_length) {
  const size_t end = text_length;
  // Column p + 2, p + 1 and p; the column past the pattern's end matches
  // only the exhausted text.
  std::vector<char> after_next(end + 1, 0);
  std::vector<char> next(end + 1, 0);
  std::vector<char> column(end + 1, 0);
  next[end] = 1;
  // Whether the pattern from p on holds nothing but "*" and "?": what an
  // exhausted text still matches.
  bool only_wildcards = true;
  for (size_t p = pattern_length; p-- > 0;) {
    const Char unit = pattern[p];
    only_wildcards = only_wildcards && (unit == '*' || unit == '?');
    column[end] = only_wildcards;
    for (size_t t = end; t-- > 0;) {
      if (unit == '?') {
        column[t] = next[t] || next[t + 1];
      } else if (unit == '*') {
        column[t] = next[t] || column[t + 1];
      } else if (unit == '\\') {
        column[t] = p + 1 < pattern_length && text[t] == pattern[p + 1] &&
                    after_next[t + 1];
      } else {
        column[t] = text[t] == unit && next[t + 1];
      }
    }
    after_next.swap(next);
    next.swap(column);
  }
  return next[0] != 0;
}

template <typename String>
size_t LengthToNul(const String& str) {
  const size_t nul = str.find(typename String::value_type());
  return nul == String::npos ? str.size() : nul;
}

template <typename String>
bool MatchWildcardStrings(const String& text, const String& pattern) {
  return MatchWildcardT(text.data(), LengthToNul(text), pattern.data(),
                        LengthToNul(pattern));
}

}  // namespace

void ReplaceFirstAfter(std::string* str,
                       size_t start_offset,
                       const std::string& find_this,
                       const std::string& replace_with) {
  ReplaceAfter(str, start_offset, find_this, replace_with, false);
}

void ReplaceFirstAfter(std::wstring* str,
                       size_t start_offset,
                       const std::wstring& find_this,
                       const std::wstring& replace_with) {
  ReplaceAfter(str, start_offset, find_this, replace_with, false);
}

void ReplaceAllAfter(std::string* str,
                     size_t start_offset,
                     const std::string& find_this,
                     const std::string& replace_with) {
  ReplaceAfter(str, start_offset, find_this, replace_with, true);
}

void ReplaceAllAfter(std::wstring* str,
                     size_t start_offset,
                     const std::wstring& find_this,
                     const std::wstring& replace_with) {
  ReplaceAfter(str, start_offset, find_this, replace_with, true);
}

void SplitAt(const std::string& str,
             char separator,
             std::vector<std::string>* pieces) {
  Split(str, separator, true, pieces);
}

void SplitAt(const std::wstring& str,
             wchar_t separator,
             std::vector<std::wstring>* pieces) {
  Split(str, separator, true, pieces);
}

void SplitAtUntrimmed(const std::string& str,
                      char separator,
                      std::vector<std::string>* pieces) {
  Split(str, separator, false, pieces);
}

void SplitAtUntrimmed(const std::wstring& str,
                      wchar_t separator,
                      std::vector<std::wstring>* pieces) {
  Split(str, separator, false, pieces);
}

void SplitOnSpaces(const std::wstring& str, std::vector<std::wstring>* words) {
  if (str.empty())
    return;
  bool in_space = false;
  size_t word_start = 0;
  for (size_t i = 0; i < str.size(); ++i) {
    if (IsWordSeparator(str[i])) {
      if (!in_space) {
        in_space = true;
        if (i > 0)
          words->push_back(str.substr(word_start, i - word_start));
      }
    } else if (in_space) {
      in_space = false;
      word_start = i;
    }
  }
  if (!in_space)
    words->push_back(str.substr(word_start));
}

std::string JoinWith(const std::vector<std::string>& parts, char separator) {
  return Join(parts, separator);
}

std::wstring JoinWith(const std::vector<std::wstring>& parts,
                      wchar_t separator) {
  return Join(parts, separator);
}

bool MatchWildcard(const std::string& text, const std::string& pattern) {
  return MatchWildcardStrings(text, pattern);
}

bool MatchWildcard(const std::wstring& text, const std::wstring& pattern) {
  return MatchWildcardStrings(text, pattern);
}

bool ElideMiddle(const std::wstring& input, int max_len, std::wstring* output) {
  CHECK_OR_RETURN(max_len >= 0, false);
  const size_t max = static_cast<size_t>(max_len);
  if (input.length() <= max) {
    *output = input;
    return false;
  }
  switch (max) {
    case 0:
      output->clear();
      break;
    case 1:
    case 2:
      *output = input.substr(0, max);
      break;
    case 3:
      *output = input.substr(0, 1) + L"." + input.substr(input.length() - 1);
      break;
    case 4:
      *output = input.substr(0, 1) + L".." + input.substr(input.length() - 1);
      break;
    default: {
      const size_t right = (max - 3) / 2;
      const size_t left = right + (max - 3) % 2;
      *output =
          input.substr(0, left) + L"..." + input.substr(input.length() - right);
    }
  }
  return true;
}

}  // namespace base
