#include "base/pickle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/logging.h"

namespace base {

namespace {

// The format's 4-byte unit: every item starts on a multiple of its size.
using uint32 = uint32_t;

// The format stores wide strings as UTF-16 units, copied as they are.
static_assert(sizeof(std::wstring::value_type) == 2,
              "wide strings must hold 16-bit units");
static_assert(sizeof(string16::value_type) == 2,
              "string16 must hold 16-bit units");

// The largest buffer a pickle grows to: a multiple of the allocation
// granule whose every offset and size fits in an `int`.
constexpr size_t kMaxCapacity = 0x80000000u - Pickle::kPayloadUnit;

// The bytes of every empty pickle that owns no buffer: after a failed
// allocation, and behind a read-only view of bytes that are not a pickle.
// Large enough for the largest header, and never written.
alignas(8) const char kEmptyBuffer[Pickle::kPayloadUnit] = {};

// `i` rounded up to the next multiple of `alignment`.
size_t AlignInt(size_t i, size_t alignment) {
  return i + (alignment - i % alignment) % alignment;
}

char* EmptyBuffer() {
  // Only ever read: every write path first gives the pickle its own buffer.
  return const_cast<char*>(kEmptyBuffer);
}

// True when `value` survives being stored as a `Stored`.
template <typename Stored, typename Value>
bool FitsIn(Value value) {
  return static_cast<Value>(static_cast<Stored>(value)) == value;
}

// Whether a caller's header size can be used, reporting one that cannot. A
// negative size passes the first two checks as they are written.
bool IsValidHeaderSize(int header_size) {
  using Header = Pickle::Header;
  constexpr int kPayloadUnit = Pickle::kPayloadUnit;
  CHECK_OR_RETURN(static_cast<size_t>(header_size) >= sizeof(Header), false);
  CHECK_OR_RETURN(header_size <= kPayloadUnit, false);
  CHECK_OR_RETURN(header_size >= 0, false);
  return true;
}

// Copies `count` 16-bit units into a wide or UTF-16 string.
template <typename String>
void AssignUnits16(const char* units, size_t count, String* result) {
  result->resize(count);
  if (count)
    memcpy(&(*result)[0], units, 2 * count);
}

}  // namespace

Pickle::Pickle()
    : header_(EmptyBuffer()),
      header_size_(sizeof(Header)),
      capacity_(0),
      payload_size_(0),
      variable_buffer_offset_(0) {
  // A failed first allocation leaves the pickle empty; the next write
  // tries again.
  Resize(kPayloadUnit);
}

Pickle::Pickle(int header_size)
    : header_(EmptyBuffer()),
      header_size_(sizeof(Header)),
      capacity_(0),
      payload_size_(0),
      variable_buffer_offset_(0) {
  // A size out of range is reported; the pickle keeps the smallest header.
  if (IsValidHeaderSize(header_size))
    header_size_ = AlignInt(header_size, sizeof(uint32));
  Resize(kPayloadUnit);
}

Pickle::Pickle(const char* data, int data_len)
    : header_(EmptyBuffer()),
      header_size_(sizeof(Header)),
      capacity_(kCapacityReadOnly),
      payload_size_(0),
      variable_buffer_offset_(0) {
  // The bytes may come from another process: a header that does not
  // describe them exactly leaves the view empty rather than trusted.
  if (!data || data_len < static_cast<int>(sizeof(Header)))
    return;
  uint32_t payload_size;
  memcpy(&payload_size, data, sizeof(payload_size));
  const size_t length = static_cast<size_t>(data_len);
  if (payload_size > length - sizeof(Header))
    return;
  const size_t header_size = length - payload_size;
  if (header_size != AlignInt(header_size, sizeof(uint32)) ||
      header_size > static_cast<size_t>(kPayloadUnit)) {
    return;
  }
  header_ = const_cast<char*>(data);
  header_size_ = header_size;
  // Kept, not read again: the borrowed bytes may change after this check
  // (shared memory, a buffer the caller reuses), and every later read must
  // still stay within `data_len`.
  payload_size_ = payload_size;
}

Pickle::Pickle(const Pickle& other)
    : header_(EmptyBuffer()),
      header_size_(other.header_size_),
      capacity_(0),
      payload_size_(0),
      variable_buffer_offset_(0) {
  CopyFrom(other);
}

Pickle& Pickle::operator=(const Pickle& other) {
  if (this == &other)
    return *this;
  // `other` may view bytes inside this pickle's own buffer (this pickle's
  // bytes, or a pickle nested in one of its items): they are copied into a
  // new buffer before the old one is let go. A view's borrowed bytes are
  // never freed; the swapped-out copy frees only an owned buffer.
  Pickle copy(other);
  std::swap(header_, copy.header_);
  std::swap(header_size_, copy.header_size_);
  std::swap(capacity_, copy.capacity_);
  std::swap(payload_size_, copy.payload_size_);
  std::swap(variable_buffer_offset_, copy.variable_buffer_offset_);
  return *this;
}

Pickle::~Pickle() {
  FreeBuffer();
}

int Pickle::size() const {
  return static_cast<int>(header_size_ + payload_size());
}

void Pickle::set_payload_size(size_t size) {
  payload_size_ = static_cast<uint32_t>(size);
  memcpy(header_, &payload_size_, sizeof(payload_size_));
}

void Pickle::BecomeEmpty(size_t capacity) {
  header_ = EmptyBuffer();
  capacity_ = capacity;
  payload_size_ = 0;
  variable_buffer_offset_ = 0;
}

void Pickle::FreeBuffer() {
  if (capacity_ != 0 && capacity_ != kCapacityReadOnly)
    free(header_);
  BecomeEmpty(0);
}

void Pickle::CopyFrom(const Pickle& other) {
  const size_t bytes = header_size_ + other.payload_size();
  const bool resized = Resize(bytes);
  CHECK(resized);
  if (!resized) {
    FreeBuffer();
    return;
  }
  memcpy(header_, other.header_, bytes);
  // The size `other` holds, not the one its bytes state now: a view's
  // borrowed header may have changed since the view checked it.
  set_payload_size(other.payload_size());
  // The source's padding after its last item lies outside its bytes (a view
  // may not even have it); the next item written starts after it.
  memset(header_ + bytes, 0, AlignInt(bytes, sizeof(uint32)) - bytes);
  variable_buffer_offset_ = other.variable_buffer_offset_;
}

bool Pickle::Resize(size_t new_capacity) {
  new_capacity = AlignInt(new_capacity, kPayloadUnit);
  char* const old_buffer = capacity_ == 0 ? nullptr : header_;
  void* const grown = realloc(old_buffer, new_capacity);
  if (!grown)
    return false;
  header_ = static_cast<char*>(grown);
  // A first buffer starts with a zero payload size and a zeroed header.
  if (!old_buffer)
    memset(header_, 0, header_size_);
  capacity_ = new_capacity;
  return true;
}

bool Pickle::IteratorHasRoomFor(const void* cursor, size_t len) const {
  // Offsets, not pointer sums: a hostile length must not wrap around.
  const uintptr_t begin = reinterpret_cast<uintptr_t>(payload());
  const uintptr_t at = reinterpret_cast<uintptr_t>(cursor);
  if (at < begin)
    return false;
  const size_t offset = at - begin;
  const size_t size = payload_size();
  if (offset > size)
    return false;
  return len <= size - offset;
}

const char* Pickle::StartIter(void** iter) const {
  if (!*iter)
    *iter = const_cast<char*>(payload());
  return static_cast<const char*>(*iter);
}

void Pickle::UpdateIter(void** iter, size_t bytes) {
  // After the last item the cursor may stand up to 3 bytes beyond the
  // payload, outside a view's bytes; it is never read there, and every
  // further room check fails.
  const uintptr_t at = reinterpret_cast<uintptr_t>(*iter);
  *iter = reinterpret_cast<void*>(at + AlignInt(bytes, sizeof(uint32)));
}

bool Pickle::ReadFixed(void** iter, void* result, size_t width) const {
  CHECK_OR_RETURN(iter, false);
  const char* cursor = StartIter(iter);
  if (!IteratorHasRoomFor(cursor, width))
    return false;
  memcpy(result, cursor, width);
  UpdateIter(iter, width);
  return true;
}

template <typename Stored, typename Result>
bool Pickle::ReadWidened(void** iter, Result* result) const {
  Stored value;
  if (!ReadFixed(iter, &value, sizeof(value)))
    return false;
  *result = value;
  return true;
}

bool Pickle::ReadBool(void** iter, bool* result) const {
  CHECK_OR_RETURN(iter, false);
  // Any other value comes from a broken or hostile writer: it is refused,
  // and not consumed, on a copy of the started cursor.
  StartIter(iter);
  void* cursor = *iter;
  int32_t value;
  if (!ReadFixed(&cursor, &value, sizeof(value)) || (value != 0 && value != 1))
    return false;
  *iter = cursor;
  *result = value == 1;
  return true;
}

bool Pickle::ReadInt(void** iter, int* result) const {
  return ReadWidened<int32_t>(iter, result);
}

bool Pickle::ReadLong(void** iter, long* result) const {
  return ReadWidened<int32_t>(iter, result);
}

bool Pickle::ReadLength(void** iter, int* result) const {
  if (!ReadInt(iter, result))
    return false;
  return *result >= 0;
}

bool Pickle::ReadSize(void** iter, size_t* result) const {
  return ReadWidened<uint32_t>(iter, result);
}

bool Pickle::ReadUInt32(void** iter, uint32_t* result) const {
  return ReadFixed(iter, result, sizeof(*result));
}

bool Pickle::ReadInt64(void** iter, int64_t* result) const {
  return ReadFixed(iter, result, sizeof(*result));
}

bool Pickle::ReadIntPtr(void** iter, intptr_t* result) const {
  return ReadWidened<int32_t>(iter, result);
}

bool Pickle::ReadString(void** iter, std::string* result) const {
  int length;
  if (!ReadLength(iter, &length))
    return false;
  const size_t bytes = static_cast<size_t>(length);
  if (!IteratorHasRoomFor(*iter, bytes))
    return false;
  result->assign(static_cast<const char*>(*iter), bytes);
  UpdateIter(iter, bytes);
  return true;
}

bool Pickle::ReadUnits16(void** iter, const char** units, size_t* count) const {
  int length;
  if (!ReadLength(iter, &length))
    return false;
  // Twice an `int` may not fit in one, but always fits in a size_t.
  const size_t bytes = 2 * static_cast<size_t>(length);
  if (!IteratorHasRoomFor(*iter, bytes))
    return false;
  *units = static_cast<const char*>(*iter);
  *count = static_cast<size_t>(length);
  UpdateIter(iter, bytes);
  return true;
}

bool Pickle::ReadWString(void** iter, std::wstring* result) const {
  const char* units;
  size_t count;
  if (!ReadUnits16(iter, &units, &count))
    return false;
  AssignUnits16(units, count, result);
  return true;
}

bool Pickle::ReadString16(void** iter, string16* result) const {
  const char* units;
  size_t count;
  if (!ReadUnits16(iter, &units, &count))
    return false;
  AssignUnits16(units, count, result);
  return true;
}

bool Pickle::ReadBytes(void** iter, const char** data, int length) const {
  CHECK_OR_RETURN(iter, false);
  CHECK_OR_RETURN(data, false);
  if (!*iter || length < 0)
    return false;
  const size_t bytes = static_cast<size_t>(length);
  if (!IteratorHasRoomFor(*iter, bytes))
    return false;
  *data = static_cast<const char*>(*iter);
  UpdateIter(iter, bytes);
  return true;
}

bool Pickle::ReadData(void** iter, const char** data, int* length) const {
  CHECK_OR_RETURN(iter, false);
  CHECK_OR_RETURN(data, false);
  CHECK_OR_RETURN(length, false);
  if (!ReadLength(iter, length))
    return false;
  return ReadBytes(iter, data, *length);
}

char* Pickle::BeginWrite(size_t length) {
  CHECK_OR_RETURN(capacity_ != kCapacityReadOnly, nullptr,
                  "oops: pickle is readonly");
  const size_t offset = AlignInt(payload_size(), sizeof(uint32));
  // Compared as remaining room, so that no sum can wrap around.
  if (header_size_ + offset > kMaxCapacity ||
      length > kMaxCapacity - header_size_ - offset) {
    return nullptr;
  }
  const size_t needed = header_size_ + offset + length;
  if (needed > capacity_) {
    // At least doubled, so that appending costs amortised constant time.
    const size_t doubled =
        capacity_ > kMaxCapacity / 2 ? kMaxCapacity : 2 * capacity_;
    if (!Resize(std::max(doubled, needed)))
      return nullptr;
  }
  return header_ + header_size_ + offset;
}

void Pickle::EndWrite(char* dest, size_t length) {
  const size_t end = dest - payload() + length;
  set_payload_size(end);
  const size_t padding = AlignInt(length, sizeof(uint32)) - length;
  if (padding)
    memset(dest + length, 0, padding);
}

bool Pickle::WriteItem(const int32_t* prefix,
                       const void* bytes,
                       size_t byte_count) {
  const size_t prefix_size = prefix ? sizeof(*prefix) : 0;
  if (byte_count > kMaxCapacity)
    return false;
  // Bytes taken from this pickle's own buffer move with it when it grows.
  const uintptr_t source = reinterpret_cast<uintptr_t>(bytes);
  const uintptr_t own = reinterpret_cast<uintptr_t>(header_);
  const bool from_self = capacity_ != kCapacityReadOnly && source >= own &&
                         source - own < static_cast<size_t>(size());
  const size_t self_offset = source - own;

  char* const dest = BeginWrite(prefix_size + byte_count);
  if (!dest)
    return false;
  if (prefix)
    memcpy(dest, prefix, prefix_size);
  if (byte_count) {
    const void* from = from_self ? header_ + self_offset : bytes;
    memcpy(dest + prefix_size, from, byte_count);
  }
  EndWrite(dest, prefix_size + byte_count);
  return true;
}

// Fixed-width values come from the caller's variables, never from this
// pickle's buffer, so they skip WriteItem's check for that.
bool Pickle::WriteFixed(const void* value, size_t width) {
  char* const dest = BeginWrite(width);
  if (!dest)
    return false;
  memcpy(dest, value, width);
  EndWrite(dest, width);
  return true;
}

bool Pickle::WriteBool(bool value) {
  return WriteInt(value ? 1 : 0);
}

bool Pickle::WriteInt(int value) {
  const int32_t stored = value;
  return WriteFixed(&stored, sizeof(stored));
}

bool Pickle::WriteLong(long value) {
  if (!FitsIn<int32_t>(value))
    return false;
  const int32_t stored = static_cast<int32_t>(value);
  return WriteFixed(&stored, sizeof(stored));
}

bool Pickle::WriteSize(size_t value) {
  if (!FitsIn<uint32_t>(value))
    return false;
  const uint32_t stored = static_cast<uint32_t>(value);
  return WriteFixed(&stored, sizeof(stored));
}

bool Pickle::WriteUInt32(uint32_t value) {
  return WriteFixed(&value, sizeof(value));
}

bool Pickle::WriteInt64(int64_t value) {
  return WriteFixed(&value, sizeof(value));
}

bool Pickle::WriteIntPtr(intptr_t value) {
  if (!FitsIn<int32_t>(value))
    return false;
  const int32_t stored = static_cast<int32_t>(value);
  return WriteFixed(&stored, sizeof(stored));
}

bool Pickle::WriteString(const std::string& value) {
  if (value.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
    return false;
  const int32_t length = static_cast<int32_t>(value.size());
  return WriteItem(&length, value.data(), value.size());
}

bool Pickle::WriteUnits16(const void* units, size_t count) {
  // The byte count, 2 x the length, must fit in an `int` as well.
  if (count > static_cast<size_t>(std::numeric_limits<int>::max()) / 2)
    return false;
  const int32_t length = static_cast<int32_t>(count);
  return WriteItem(&length, units, 2 * count);
}

bool Pickle::WriteWString(const std::wstring& value) {
  return WriteUnits16(value.data(), value.size());
}

bool Pickle::WriteString16(const string16& value) {
  return WriteUnits16(value.data(), value.size());
}

bool Pickle::WriteBytes(const void* data, int data_len) {
  if (data_len < 0)
    return false;
  return WriteItem(nullptr, data, static_cast<size_t>(data_len));
}

bool Pickle::WriteData(const char* data, int length) {
  if (length < 0)
    return false;
  const int32_t stored = length;
  return WriteItem(&stored, data, static_cast<size_t>(length));
}

char* Pickle::ReserveWriteData(int length) {
  CHECK_EQ(variable_buffer_offset_, 0U)
      << "There can only be one variable buffer in a Pickle";
  if (variable_buffer_offset_ != 0 || length < 0)
    return nullptr;
  const int32_t stored = length;
  const size_t bytes = static_cast<size_t>(length);
  char* const field = BeginWrite(sizeof(stored) + bytes);
  if (!field)
    return nullptr;
  memcpy(field, &stored, sizeof(stored));
  // Zeros rather than stale heap: what the caller leaves unfilled goes out
  // as zeros.
  memset(field + sizeof(stored), 0, bytes);
  EndWrite(field, sizeof(stored) + bytes);
  variable_buffer_offset_ = field - header_;
  return field + sizeof(stored);
}

void Pickle::TrimWriteData(int trimmed_length) {
  CHECK_OR_RETURN(variable_buffer_offset_ != 0, );
  char* const field = header_ + variable_buffer_offset_;
  int32_t current;
  memcpy(&current, field, sizeof(current));
  if (trimmed_length < 0 || trimmed_length > current) {
    NOTREACHED() << "Invalid length in TrimWriteData.";
    return;
  }
  // The bytes are taken off the end of the payload, so anything written
  // after the variable buffer would be cut instead.
  const size_t old_end = variable_buffer_offset_ + sizeof(current) + current;
  if (old_end != header_size_ + payload_size()) {
    NOTREACHED() << "The variable buffer is no longer the last item.";
    return;
  }
  const size_t new_end = old_end - (current - trimmed_length);
  set_payload_size(new_end - header_size_);
  const int32_t stored = trimmed_length;
  memcpy(field, &stored, sizeof(stored));
  memset(header_ + new_end, 0, AlignInt(old_end, sizeof(uint32)) - new_end);
}

// static
const char* Pickle::LocateEnd(size_t header_size,
                              const char* start,
                              const char* end) {
  CHECK(header_size == AlignInt(header_size, sizeof(uint32)));
  CHECK(header_size <= static_cast<size_t>(kPayloadUnit));
  const uintptr_t from = reinterpret_cast<uintptr_t>(start);
  const uintptr_t to = reinterpret_cast<uintptr_t>(end);
  if (!start || to < from)
    return nullptr;
  const size_t available = to - from;
  if (available < sizeof(Header) || available < header_size)
    return nullptr;
  uint32_t payload_size;
  memcpy(&payload_size, start, sizeof(payload_size));
  if (payload_size > available - header_size)
    return nullptr;
  return start + header_size + payload_size;
}

}  // namespace base
