#ifndef BASE_STRING_SPLIT_H_
#define BASE_STRING_SPLIT_H_

#include <string>
#include <vector>

// Taking strings apart and putting them together: replacing from an
// offset, splitting at a separator or at whitespace, joining, wildcard
// matching and eliding the middle. Free functions without state; any
// thread may call them. Narrow strings are treated unit by unit (bytes),
// wide strings by UTF-16 unit.

namespace base {

// Replaces the first occurrence of `find_this` at or after `start_offset`
// with `replace_with`. Nothing happens when the offset is npos or not
// below the length; an empty `find_this` is a failed check.
void ReplaceFirstAfter(std::string* str,
                       size_t start_offset,
                       const std::string& find_this,
                       const std::string& replace_with);
void ReplaceFirstAfter(std::wstring* str,
                       size_t start_offset,
                       const std::wstring& find_this,
                       const std::wstring& replace_with);
// The same for every occurrence; the search goes on after each inserted
// text, so inserted text is never searched again.
void ReplaceAllAfter(std::string* str,
                     size_t start_offset,
                     const std::string& find_this,
                     const std::string& replace_with);
void ReplaceAllAfter(std::wstring* str,
                     size_t start_offset,
                     const std::wstring& find_this,
                     const std::wstring& replace_with);

// Appends the pieces of `str` between `separator`s to `pieces` (which is
// not cleared), each trimmed of whitespace on both sides. An empty input
// gives one empty piece; n separators give n + 1 pieces.
void SplitAt(const std::string& str,
             char separator,
             std::vector<std::string>* pieces);
void SplitAt(const std::wstring& str,
             wchar_t separator,
             std::vector<std::wstring>* pieces);
// The same without trimming.
void SplitAtUntrimmed(const std::string& str,
                      char separator,
                      std::vector<std::string>* pieces);
void SplitAtUntrimmed(const std::wstring& str,
                      wchar_t separator,
                      std::vector<std::wstring>* pieces);

// Appends the words of `str`, separated by tab, line feed, vertical tab,
// form feed, carriage return or space, to `words`; no empty words.
void SplitOnSpaces(const std::wstring& str, std::vector<std::wstring>* words);

// The parts with `separator` between each two; empty for no parts.
std::string JoinWith(const std::vector<std::string>& parts, char separator);
std::wstring JoinWith(const std::vector<std::wstring>& parts,
                      wchar_t separator);

// Whether `text` matches `pattern`, both read up to their first NUL. "*"
// matches any run of units, "?" one unit or none, "\" makes the next
// pattern unit literal (a lone "\" at the end matches nothing). Takes time
// proportional to the product of the two lengths, and a constant stack,
// whatever the pattern.
bool MatchWildcard(const std::string& text, const std::string& pattern);
bool MatchWildcard(const std::wstring& text, const std::wstring& pattern);

// Shortens `input` to `max_len` units by replacing its middle with "...",
// keeping its start and end (the start takes the odd unit). True when the
// output is shorter than the input; otherwise the output is the input. A
// negative `max_len` is a failed check.
bool ElideMiddle(const std::wstring& input, int max_len, std::wstring* output);

}  // namespace base

#endif  // BASE_STRING_SPLIT_H_
