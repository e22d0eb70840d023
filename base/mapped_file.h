#ifndef BASE_MAPPED_FILE_H_
#define BASE_MAPPED_FILE_H_

#include <cstddef>
#include <cstdint>

#include "base/file_path.h"

namespace base {

// A whole file mapped read-only into memory. The object owns the file, the
// mapping and the view, and releases them on Close and destruction. A file
// whose size does not fit the mapped length (4 GiB or more), or an empty
// one (the platform maps no zero bytes), is not mapped. Not copyable; one
// thread at a time.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  // Maps the file at `path`. False, keeping any existing mapping, when one
  // is already open; false, with nothing held, when any step fails.
  bool Open(const FilePath& path);
  bool IsOpen() const { return data_ != nullptr; }
  // Releases everything; safe to call again.
  void Close();

  // The first byte, or null when nothing is mapped.
  const uint8_t* data() const { return data_; }
  // The mapped bytes; kNoLength when nothing is mapped.
  static constexpr uint32_t kNoLength = 0xFFFFFFFF;
  uint32_t length() const { return length_; }

 private:
  void* file_ = nullptr;     // The file HANDLE; null when none.
  void* mapping_ = nullptr;  // The mapping HANDLE; null when none.
  const uint8_t* data_ = nullptr;
  uint32_t length_ = kNoLength;
};

}  // namespace base

#endif  // BASE_MAPPED_FILE_H_
