#ifndef BASE_FILE_PATH_H_
#define BASE_FILE_PATH_H_

#include <cstddef>
#include <string>

// A file-system path as a value: the path's wide text and the lexical
// operations that file operations need (parent folder, last component,
// extensions, joining, absoluteness, trailing separators). Nothing here
// touches the file system or normalises beyond what an operation states;
// ".." is never resolved.
//
// Both '\' and '/' separate components; '\' is the one written. A drive
// letter is an ASCII letter and ':' at the very start. An empty text stands
// for no path, and an operation that cannot make a meaningful path answers
// an empty one. Two paths are equal when their texts are equal unit for
// unit. A plain copyable value; copies are independent.

namespace base {

class FilePath {
 public:
  // Backslash, then slash: the first is the one written.
  static const wchar_t kPathSeparators[];
  static const wchar_t kCurrentDirName[];  // "."
  static const wchar_t kParentDirName[];   // ".."
  static const wchar_t kExtensionDot;      // '.'
  // DriveLetterIndex's answer for a text without a drive letter.
  static constexpr size_t kNoPosition = std::wstring::npos;

  FilePath() = default;
  explicit FilePath(const std::wstring& text) : path_(text) {}

  static FilePath FromWideString(const std::wstring& text) {
    return FilePath(text);
  }

  const std::wstring& text() const { return path_; }
  std::wstring ToWideString() const { return path_; }
  bool empty() const { return path_.empty(); }

  bool operator==(const FilePath& other) const { return path_ == other.path_; }
  bool operator!=(const FilePath& other) const { return path_ != other.path_; }

  static bool IsPathSeparator(wchar_t c);
  // 1 (the index of the ':') when `text` starts with a drive letter, else
  // kNoPosition. Callers add 1 to 3 to the answer, relying on the sums
  // wrapping to 0 to 2 without a drive letter.
  static size_t DriveLetterIndex(const std::wstring& text);
  // With a drive letter: a separator follows the ':' ("C:\x", not "C:x").
  // Without: the text begins with two separators (a network path); a single
  // leading separator is not absolute.
  static bool IsPathAbsolute(const std::wstring& text);

  // The folder that holds the path: "C:\a\b" gives "C:\a", "C:\a" gives
  // "C:\", "a" gives ".", and a root gives itself.
  FilePath ParentDir() const;
  // The last component without a drive letter: "C:\a\b.txt" gives "b.txt",
  // "a\b\" gives "b", "C:" gives "", "\" gives "\".
  FilePath LastComponent() const;
  // The last component's extension with its dot ("a.tar.gz" gives ".gz",
  // "a." gives "."), or empty; "." and ".." have none.
  std::wstring FinalExtension() const;
  // The path up to its final extension's dot, which also drops trailing
  // separators after it.
  FilePath WithoutExtension() const;
  // "a\b.txt" with "_1" gives "a\b_1.txt". Empty for a path whose last
  // component is empty, "." or "..".
  FilePath WithSuffixBeforeExtension(const std::wstring& suffix) const;
  // Replaces the final extension; `extension` may carry its dot. An empty
  // extension or "." removes it. Empty for a path whose last component is
  // empty, "." or "..".
  FilePath WithExtension(const std::wstring& extension) const;
  // Appends a relative `component`, with a backslash between unless one is
  // already there or the path is a bare drive letter. Joining to "." gives
  // the component alone. An absolute component fails a check and gives an
  // empty path.
  FilePath Join(const std::wstring& component) const;
  FilePath Join(const FilePath& component) const;
  // `component` must be ASCII (a check); it is widened and joined.
  FilePath JoinASCII(const std::string& component) const;
  bool IsAbsolutePath() const { return IsPathAbsolute(path_); }
  // Removes redundant trailing separators: a root keeps its own ("\",
  // "C:\"), and "\\" stays as it is.
  FilePath WithoutTrailingSeparators() const;

 private:
  void StripTrailingSeparatorsInPlace();

  std::wstring path_;
};

}  // namespace base

#endif  // BASE_FILE_PATH_H_
