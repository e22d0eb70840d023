#include "base/file_util.h"

#include "base/logging.h"

namespace base {
namespace {

const wchar_t* const kSeparators = FilePath::kPathSeparators;

bool EndsWithSeparator(const std::wstring& path) {
  return !path.empty() && FilePath::IsPathSeparator(path.back());
}

}  // namespace

void SplitPathComponents(const std::wstring& path,
                         std::vector<std::wstring>* components) {
  CHECK_OR_RETURN(components, );
  size_t start = 0;
  if (!path.empty() && FilePath::IsPathSeparator(path[0])) {
    components->push_back(path.substr(0, 1));
    start = 1;
  }
  size_t separator;
  while ((separator = path.find_first_of(kSeparators, start)) !=
         std::wstring::npos) {
    components->push_back(path.substr(start, separator - start));
    start = separator + 1;
  }
  components->push_back(path.substr(start));
}

void SplitPathComponents(const FilePath& path,
                         std::vector<std::wstring>* components) {
  SplitPathComponents(path.text(), components);
}

bool HasTrailingSeparator(const std::wstring& path) {
  return EndsWithSeparator(path);
}

bool HasTrailingSeparator(const FilePath& path) {
  return EndsWithSeparator(path.text());
}

void DropTrailingSeparators(std::wstring* path) {
  while (path->size() > 1 && EndsWithSeparator(*path))
    path->pop_back();
}

void AppendPathPiece(std::wstring* path, const std::wstring& piece) {
  if (!path) {
    NOTREACHED();
    return;
  }
  if (!EndsWithSeparator(*path))
    path->push_back(kSeparators[0]);
  path->append(piece);
}

std::wstring ExtensionWithoutDot(const std::wstring& path) {
  const std::wstring name = FilePath(path).LastComponent().text();
  const size_t dot = name.rfind(FilePath::kExtensionDot);
  return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

std::wstring ExtensionWithoutDot(const FilePath& path) {
  return ExtensionWithoutDot(path.text());
}

std::wstring FileNameOf(const std::wstring& path) {
  return FilePath(path).LastComponent().text();
}

std::wstring NameWithoutExtension(const std::wstring& path) {
  const std::wstring name = FileNameOf(path);
  return name.substr(0, name.rfind(FilePath::kExtensionDot));
}

void InsertSuffixBeforeExtension(std::wstring* path,
                                 const std::wstring& suffix) {
  const size_t dot = path->rfind(FilePath::kExtensionDot);
  const size_t separator = path->find_last_of(kSeparators);
  if (dot == std::wstring::npos ||
      (separator != std::wstring::npos && separator > dot)) {
    path->append(suffix);
  } else {
    path->insert(dot, suffix);
  }
}

void InsertSuffixBeforeExtension(FilePath* path, const std::wstring& suffix) {
  std::wstring text = path->text();
  InsertSuffixBeforeExtension(&text, suffix);
  *path = FilePath(text);
}

void SetExtension(std::wstring* path, const std::wstring& extension) {
  std::wstring new_extension;
  if (!extension.empty() && extension != FilePath::kCurrentDirName) {
    if (extension[0] != FilePath::kExtensionDot)
      new_extension.push_back(FilePath::kExtensionDot);
    new_extension.append(extension);
  }
  const size_t dot = path->rfind(FilePath::kExtensionDot);
  const size_t separator = path->find_last_of(kSeparators);
  if (dot != std::wstring::npos &&
      (separator == std::wstring::npos || dot > separator)) {
    path->erase(dot);
  }
  path->append(new_extension);
}

void SetExtension(FilePath* path, const std::wstring& extension) {
  std::wstring text = path->text();
  SetExtension(&text, extension);
  *path = FilePath(text);
}

void TrimLastComponent(std::wstring* path) {
  if (EndsWithSeparator(*path))
    DropTrailingSeparators(path);
  else
    *path = FilePath(*path).ParentDir().text();
}

void GoUpOneDirectory(std::wstring* path) {
  const std::wstring parent = FilePath(*path).ParentDir().text();
  if (parent != FilePath::kCurrentDirName)
    *path = parent;
}

void GoUpOneDirectoryOrClear(std::wstring* path) {
  const std::wstring parent = FilePath(*path).ParentDir().text();
  if (parent == *path || parent == FilePath::kCurrentDirName)
    path->clear();
  else
    *path = parent;
}

}  // namespace base
