#include "base/mapped_file.h"

#include <windows.h>

#include "base/scoped_handle_win.h"

namespace base {

MappedFile::~MappedFile() {
  Close();
}

bool MappedFile::Open(const FilePath& path) {
  if (IsOpen())
    return false;
  OwnedHandle file(CreateFileW(path.text().c_str(), GENERIC_READ,
                               FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid())
    return false;
  // The whole size: a file whose size does not fit the length is refused,
  // never mapped in part under a length that claims it all.
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
      static_cast<uint64_t>(size.QuadPart) >= kNoLength ||
      static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    return false;
  }
  const DWORD length = static_cast<DWORD>(size.QuadPart);
  OwnedHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0,
                                         length, nullptr));
  if (!mapping.is_valid())
    return false;
  const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, length);
  if (!view)
    return false;
  file_ = file.Take();
  mapping_ = mapping.Take();
  data_ = static_cast<const uint8_t*>(view);
  length_ = length;
  return true;
}

void MappedFile::Close() {
  if (data_)
    UnmapViewOfFile(data_);
  if (mapping_)
    CloseHandle(mapping_);
  if (file_)
    CloseHandle(file_);
  file_ = nullptr;
  mapping_ = nullptr;
  data_ = nullptr;
  length_ = kNoLength;
}

}  // namespace base
