#include "base/fault_safe_writer.h"

#include <windows.h>

namespace base {

bool WriteToStandardError(const char* text, size_t length) {
  const HANDLE standard_error = GetStdHandle(STD_ERROR_HANDLE);
  if (!standard_error || standard_error == INVALID_HANDLE_VALUE)
    return false;
  // Large texts go out in pieces that a DWORD can count.
  while (length > 0) {
    const DWORD piece =
        length > MAXDWORD ? MAXDWORD : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(standard_error, text, piece, &written, nullptr) ||
        written == 0) {
      return false;
    }
    text += written;
    length -= written;
  }
  return true;
}

FaultSafeWriter& FaultSafeWriter::Append(const char* text) {
  while (*text && length_ < kCapacity)
    buffer_[length_++] = *text++;
  return *this;
}

FaultSafeWriter& FaultSafeWriter::AppendHex(uint64_t value) {
  Append("0x");
  AppendDigits(value, 16);
  return *this;
}

FaultSafeWriter& FaultSafeWriter::AppendDecimal(uint64_t value) {
  AppendDigits(value, 10);
  return *this;
}

void FaultSafeWriter::AppendDigits(uint64_t value, unsigned radix) {
  char digits[20];  // Enough for 2^64 - 1 in decimal.
  size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value % radix];
    value /= radix;
  } while (value != 0);
  while (count > 0 && length_ < kCapacity)
    buffer_[length_++] = digits[--count];
}

bool FaultSafeWriter::Write() const {
  return WriteToStandardError(buffer_, length_);
}

}  // namespace base
