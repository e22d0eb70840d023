#ifndef BASE_PICKLE_H_
#define BASE_PICKLE_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "base/string16.h"

namespace base {

// A growable byte buffer holding a sequence of values in a compact binary
// format, for handing data to another process or another part of the
// program.
//
// The bytes are a header whose first 4 bytes hold the payload size, then
// the payload: the values in the order written, each starting on a 4-byte
// boundary, with zero padding up to that boundary after each one. Integers
// are in host byte order. `int`, `long`, `size_t` and pointer-sized values
// take 4 bytes on every architecture, so that 32-bit and 64-bit processes
// read each other's pickles; a 64-bit value that does not fit is refused by
// its writer. The format has no type tags: writer and reader agree on the
// sequence.
//
// A writable pickle owns its buffer. A pickle made over caller's bytes
// (`Pickle(const char*, int)`) is a read-only view: it never writes, grows
// or frees those bytes, and the caller keeps them alive for as long as the
// pickle and every pointer read from it. Bytes from another process are
// untrusted: a view whose header does not match its length holds nothing,
// and every read checks its length against the bytes that remain, so a
// hostile buffer makes reads fail but never reads outside it. The view
// checks the header once, when it is made, and keeps that payload size:
// borrowed bytes that change later (shared memory) cannot move its end.
//
// A reader walks the payload with a cursor that it owns: a `void*` starting
// at null, passed by address to every `Read*` call. Readers do not change
// the pickle, so several threads may read one pickle at once while nobody
// writes to it; otherwise a pickle is used by one thread at a time.
//
// Pointers returned by `ReadBytes`, `ReadData` and `ReserveWriteData` point
// into the buffer. Any later write may move the buffer and invalidate them.
class Pickle {
 public:
  // The fixed part of the header. A pickle may be made with a larger
  // header; the bytes after this part belong to whoever chose that size.
  struct Header {
    uint32_t payload_size;  // Payload bytes, the last item's padding not
                            // counted.
  };

  // The allocation granule and the largest header size.
  static constexpr int kPayloadUnit = 64;
  // The capacity of a read-only view, which owns no buffer.
  static constexpr size_t kCapacityReadOnly =
      std::numeric_limits<size_t>::max();

  // An empty writable pickle with a 4-byte header.
  Pickle();
  // An empty writable pickle whose header is `header_size` rounded up to a
  // multiple of 4; 4 to 64 bytes. The header's bytes start out zero.
  explicit Pickle(int header_size);
  // A read-only view of the `data_len` bytes at `data`, without copying.
  // The bytes must be exactly one pickle: the stored payload size plus a
  // header of 4 to 64 bytes (a multiple of 4) must make `data_len`. Bytes
  // that are not, including fewer than 4, give an empty view whose every
  // read fails and whose data() is not `data`.
  Pickle(const char* data, int data_len);
  // A copy is always writable and owns its buffer, also when `other` is a
  // read-only view.
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle& other);
  ~Pickle();

  // The header plus payload bytes, from data().
  int size() const;
  const char* data() const { return header_; }
  // Bytes allocated for a writable pickle, a multiple of 64 (0 only after
  // an allocation failed); kCapacityReadOnly for a view.
  size_t capacity() const { return capacity_; }

  // Readers. Each takes the cursor `iter` (the address of a caller's
  // `void*` that starts at null) and returns false, leaving the cursor and
  // the out-parameter untouched, when the next value does not fit in the
  // bytes that remain. A failed string or data read has consumed its length
  // field, and so has a negative length.
  bool ReadBool(void** iter, bool* result) const;  // Only 0 or 1 is a bool.
  bool ReadInt(void** iter, int* result) const;
  bool ReadLong(void** iter, long* result) const;
  // Reads an `int` and stores it; false when it is negative.
  bool ReadLength(void** iter, int* result) const;
  bool ReadSize(void** iter, size_t* result) const;
  bool ReadUInt32(void** iter, uint32_t* result) const;
  bool ReadInt64(void** iter, int64_t* result) const;
  bool ReadIntPtr(void** iter, intptr_t* result) const;
  bool ReadString(void** iter, std::string* result) const;
  bool ReadWString(void** iter, std::wstring* result) const;
  bool ReadString16(void** iter, string16* result) const;
  // Points `*data` at the next `length` bytes in the buffer, no copy. The
  // cursor must already have been started by another read.
  bool ReadBytes(void** iter, const char** data, int length) const;
  // Reads a length, then points `*data` at that many bytes. `*length` is
  // set once the length is read, even if the bytes then do not fit.
  bool ReadData(void** iter, const char** data, int* length) const;

  // Writers. Each appends one item and returns true, or returns false and
  // leaves the pickle as it was: when the buffer cannot grow, when a length
  // is negative or does not fit in an `int`, or when a 64-bit value does not
  // fit in its 4 bytes. A pickle holds at most 2 GiB less 64 bytes.
  bool WriteBool(bool value);
  bool WriteInt(int value);
  bool WriteLong(long value);
  bool WriteSize(size_t value);
  bool WriteUInt32(uint32_t value);
  bool WriteInt64(int64_t value);
  bool WriteIntPtr(intptr_t value);
  bool WriteString(const std::string& value);
  bool WriteWString(const std::wstring& value);
  bool WriteString16(const string16& value);
  // The bytes alone, without a length; `data` may lie in this pickle.
  bool WriteBytes(const void* data, int data_len);
  // `length` as an `int`, then the bytes.
  bool WriteData(const char* data, int length);

  // Appends a data item of `length` zero bytes for the caller to fill in
  // place, and returns them, or null. One such variable buffer per pickle.
  char* ReserveWriteData(int length);
  // Shortens the variable buffer to `trimmed_length` bytes, which may not
  // exceed its current length; the bytes given back are zeroed. Only while
  // the variable buffer is the last item.
  void TrimWriteData(int trimmed_length);

  // The end of the pickle with a `header_size`-byte header that begins at
  // `start`, or null when its header or payload does not fit before `end`.
  // Walks a stream of pickles laid end to end.
  static const char* LocateEnd(size_t header_size,
                               const char* start,
                               const char* end);

 private:
  uint32_t payload_size() const { return payload_size_; }
  // Sets the payload size and stores it in the header.
  void set_payload_size(size_t size);
  const char* payload() const { return header_ + header_size_; }

  // Makes this an empty pickle that owns nothing, writable or not.
  void BecomeEmpty(size_t capacity);
  // Releases the buffer if owned and becomes empty and writable.
  void FreeBuffer();
  // Copies `other`'s bytes into a new buffer of this pickle's own; only
  // while this pickle owns no buffer.
  void CopyFrom(const Pickle& other);
  // Grows or shrinks the owned buffer to `new_capacity` rounded up to 64;
  // false, changing nothing, when it cannot.
  bool Resize(size_t new_capacity);

  // True when `len` bytes remain after `cursor` in the payload.
  bool IteratorHasRoomFor(const void* cursor, size_t len) const;
  // Sets a null cursor to the start of the payload; returns the cursor.
  const char* StartIter(void** iter) const;
  static void UpdateIter(void** iter, size_t bytes);
  bool ReadFixed(void** iter, void* result, size_t width) const;
  // Reads a `Stored` (the value's 4 bytes) into the wider `*result`.
  template <typename Stored, typename Result>
  bool ReadWidened(void** iter, Result* result) const;

  // Makes room for an item of `length` bytes at the next 4-byte boundary;
  // returns its place, or null. The payload does not count it yet, so the
  // header still reads as before while the item is copied in.
  char* BeginWrite(size_t length);
  // Counts the item of `length` bytes at `dest` in the payload and zeroes
  // its padding.
  void EndWrite(char* dest, size_t length);
  // Appends one item: the 4-byte `prefix` unless null, then `byte_count`
  // bytes from `bytes`, then zero padding.
  bool WriteItem(const int32_t* prefix, const void* bytes, size_t byte_count);
  bool WriteFixed(const void* value, size_t width);
  // A length in 16-bit units, then the units.
  bool WriteUnits16(const void* units, size_t count);
  // Reads a length in 16-bit units and finds the units; `*units` may be
  // misaligned for the character type.
  bool ReadUnits16(void** iter, const char** units, size_t* count) const;

  char* header_;        // Start of the buffer, never null.
  size_t header_size_;  // A multiple of 4, from 4 to 64.
  size_t capacity_;     // Owned bytes, or kCapacityReadOnly.
  // The payload size that every read and size() go by. An owned buffer's
  // header always states it; a view's is the one checked when the view was
  // made, whatever the borrowed header says later.
  uint32_t payload_size_;
  // Offset from the start of the buffer of the variable buffer's length
  // field; 0 while there is none.
  size_t variable_buffer_offset_;
};

}  // namespace base

#endif  // BASE_PICKLE_H_
