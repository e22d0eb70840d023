#ifndef BASE_FAULT_SAFE_WRITER_H_
#define BASE_FAULT_SAFE_WRITER_H_

#include <cstddef>
#include <cstdint>

namespace base {

// Writes `length` bytes of `text` straight to the process's standard error
// handle. False when the process has no standard error (a GUI program
// started without one) or the write fails. Allocates nothing and takes no
// lock, so it is safe on the crash path; it is also the one place where
// every other component writes to standard error.
bool WriteToStandardError(const char* text, size_t length);

// Composes a short message in a fixed buffer and writes it to standard
// error, for code that runs after a fault: it never allocates, never takes
// the logging locks and never fails half-way through composing (text that
// does not fit is cut). One thread uses an object; objects live on the
// stack.
class FaultSafeWriter {
 public:
  FaultSafeWriter() = default;
  FaultSafeWriter(const FaultSafeWriter&) = delete;
  FaultSafeWriter& operator=(const FaultSafeWriter&) = delete;

  FaultSafeWriter& Append(const char* text);
  // `value` in lower-case hexadecimal with a "0x" prefix.
  FaultSafeWriter& AppendHex(uint64_t value);
  FaultSafeWriter& AppendDecimal(uint64_t value);

  // What was composed so far (not terminated) and its length.
  const char* data() const { return buffer_; }
  size_t size() const { return length_; }

  // Writes what was composed; false as for WriteToStandardError.
  bool Write() const;

 private:
  static constexpr size_t kCapacity = 512;

  void AppendDigits(uint64_t value, unsigned radix);

  char buffer_[kCapacity];
  size_t length_ = 0;
};

}  // namespace base

#endif  // BASE_FAULT_SAFE_WRITER_H_
