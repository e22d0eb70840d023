#ifndef TEST_SUPPORT_MINIDUMP_READER_H_
#define TEST_SUPPORT_MINIDUMP_READER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// The parts of a minidump file that tests look at: the header, the stream
// directory, the exception stream and the raw bytes of any stream. Every
// offset and size is checked against the file, so a truncated or damaged
// dump reads as invalid instead of crashing the test.
class MinidumpFile {
 public:
  struct Stream {
    uint32_t type;
    std::string bytes;
  };
  struct Exception {
    uint32_t thread_id;
    uint32_t code;
    uint64_t address;
  };
  // One name/value pair of the report-fields stream.
  struct ReportField {
    std::wstring name;
    std::wstring value;
  };

  // Reads and checks the file at `path`; false when it is not a readable
  // minidump.
  bool Read(const std::wstring& path);

  const std::vector<Stream>& streams() const { return streams_; }
  // The first stream of `type`, or null.
  const Stream* FindStream(uint32_t type) const;
  // False when the dump has no exception stream.
  bool GetException(Exception* exception) const;
  // The fields of the report-fields stream (0x47670003: a count and a
  // field size of 256, then per field 64 UTF-16 units of name and 64 of
  // value, each zero-terminated). False when the dump has no such stream
  // or its sizes do not agree.
  bool GetReportFields(std::vector<ReportField>* fields) const;

 private:
  std::vector<Stream> streams_;
};

}  // namespace test_support

#endif  // TEST_SUPPORT_MINIDUMP_READER_H_
