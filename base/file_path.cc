#include "base/file_path.h"

#include "base/logging.h"
#include "base/string_util.h"

namespace base {

const wchar_t FilePath::kPathSeparators[] = L"\\/";
const wchar_t FilePath::kCurrentDirName[] = L".";
const wchar_t FilePath::kParentDirName[] = L"..";
const wchar_t FilePath::kExtensionDot = L'.';

namespace {

bool IsDotOrDotDot(const std::wstring& component) {
  return component == FilePath::kCurrentDirName ||
         component == FilePath::kParentDirName;
}

}  // namespace

// static
bool FilePath::IsPathSeparator(wchar_t c) {
  return c == kPathSeparators[0] || c == kPathSeparators[1];
}

// static
size_t FilePath::DriveLetterIndex(const std::wstring& text) {
  if (text.size() >= 2 && text[1] == L':' &&
      ((text[0] >= L'A' && text[0] <= L'Z') ||
       (text[0] >= L'a' && text[0] <= L'z'))) {
    return 1;
  }
  return kNoPosition;
}

// static
bool FilePath::IsPathAbsolute(const std::wstring& text) {
  const size_t drive = DriveLetterIndex(text);
  if (drive != kNoPosition)
    return text.size() > drive + 1 && IsPathSeparator(text[drive + 1]);
  return text.size() > 1 && IsPathSeparator(text[0]) &&
         IsPathSeparator(text[1]);
}

void FilePath::StripTrailingSeparatorsInPlace() {
  // Past the drive letter's ':' and one unit more: a root's own separator
  // is never removed.
  const size_t start = DriveLetterIndex(path_) + 2;
  size_t last_stripped = kNoPosition;
  for (size_t pos = path_.size();
       pos > start && IsPathSeparator(path_[pos - 1]); --pos) {
    // Exactly two leading separators stay (a network path's start); three
    // or more collapse to one.
    if (pos != start + 1 || last_stripped == start + 2 ||
        !IsPathSeparator(path_[start - 1])) {
      path_.resize(pos - 1);
      last_stripped = pos;
    }
  }
}

FilePath FilePath::ParentDir() const {
  FilePath parent(path_);
  parent.StripTrailingSeparatorsInPlace();
  std::wstring& text = parent.path_;
  const size_t drive = DriveLetterIndex(text);
  const size_t last_separator = text.find_last_of(kPathSeparators);
  if (last_separator == std::wstring::npos) {
    text.resize(drive + 1);  // The drive letter alone, or nothing.
  } else if (last_separator == drive + 1) {
    text.resize(drive + 2);  // The root.
  } else if (last_separator == drive + 2 && IsPathSeparator(text[drive + 1])) {
    text.resize(drive + 3);  // A leading double separator.
  } else if (last_separator != 0) {
    text.resize(last_separator);
  }
  parent.StripTrailingSeparatorsInPlace();
  if (text.empty())
    text = kCurrentDirName;
  return parent;
}

FilePath FilePath::LastComponent() const {
  FilePath last(path_);
  last.StripTrailingSeparatorsInPlace();
  std::wstring& text = last.path_;
  const size_t drive = DriveLetterIndex(text);
  if (drive != kNoPosition)
    text.erase(0, drive + 1);
  const size_t last_separator = text.find_last_of(kPathSeparators);
  if (last_separator != std::wstring::npos &&
      last_separator != text.size() - 1) {
    text.erase(0, last_separator + 1);
  }
  return last;
}

std::wstring FilePath::FinalExtension() const {
  const std::wstring base = LastComponent().path_;
  if (IsDotOrDotDot(base))
    return std::wstring();
  const size_t dot = base.rfind(kExtensionDot);
  if (dot == std::wstring::npos)
    return std::wstring();
  return base.substr(dot);
}

FilePath FilePath::WithoutExtension() const {
  if (FinalExtension().empty())
    return *this;
  // The extension lies in the last component, so the last dot of the
  // whole text is its dot.
  return FilePath(path_.substr(0, path_.rfind(kExtensionDot)));
}

FilePath FilePath::WithSuffixBeforeExtension(const std::wstring& suffix) const {
  if (suffix.empty())
    return *this;
  if (path_.empty())
    return FilePath();
  const std::wstring base = LastComponent().path_;
  if (base.empty() || IsDotOrDotDot(base))
    return FilePath();
  return FilePath(WithoutExtension().path_ + suffix + FinalExtension());
}

FilePath FilePath::WithExtension(const std::wstring& extension) const {
  if (path_.empty())
    return FilePath();
  const std::wstring base = LastComponent().path_;
  if (base.empty() || IsDotOrDotDot(base))
    return FilePath();
  FilePath result = WithoutExtension();
  if (extension.empty() || extension == std::wstring(1, kExtensionDot))
    return result;
  if (extension[0] != kExtensionDot)
    result.path_ += kExtensionDot;
  result.path_ += extension;
  return result;
}

FilePath FilePath::Join(const std::wstring& component) const {
  CHECK_OR_RETURN(!IsPathAbsolute(component), FilePath());
  if (path_ == kCurrentDirName)
    return FilePath(component);
  FilePath joined(path_);
  joined.StripTrailingSeparatorsInPlace();
  std::wstring& text = joined.path_;
  // No separator after a bare drive letter: "C:" and "x" make "C:x".
  if (!component.empty() && !text.empty() && !IsPathSeparator(text.back()) &&
      DriveLetterIndex(text) + 1 != text.size()) {
    text += kPathSeparators[0];
  }
  text += component;
  return joined;
}

FilePath FilePath::Join(const FilePath& component) const {
  return Join(component.path_);
}

FilePath FilePath::JoinASCII(const std::string& component) const {
  CHECK_OR_RETURN(IsStringASCII(component), FilePath());
  return Join(WideFromAscii(component));
}

FilePath FilePath::WithoutTrailingSeparators() const {
  FilePath stripped(path_);
  stripped.StripTrailingSeparatorsInPlace();
  return stripped;
}

}  // namespace base
