#include "test_support/minidump_reader.h"

#include <cstring>

#include "test_support/test_files.h"

namespace test_support {
namespace {

// The file format's own constants and layouts.
constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kExceptionStream = 6;
constexpr size_t kHeaderSize = 32;
constexpr size_t kDirectoryEntrySize = 12;
// Thread id, alignment, then the exception record: code, flags, record
// address, address.
constexpr size_t kExceptionCodeOffset = 8;
constexpr size_t kExceptionAddressOffset = 24;
// Our report-fields stream: count, field size, then the fields.
constexpr uint32_t kReportFieldsStream = 0x47670003;
constexpr size_t kReportFieldsHeaderSize = 8;
constexpr uint32_t kReportFieldSize = 256;
constexpr size_t kReportTextUnits = 64;

uint32_t Read32(const std::string& bytes, size_t offset) {
  uint32_t value;
  memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

uint64_t Read64(const std::string& bytes, size_t offset) {
  uint64_t value;
  memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

bool Fits(const std::string& bytes, uint64_t offset, uint64_t size) {
  return offset <= bytes.size() && size <= bytes.size() - offset;
}

// The UTF-16 text at `offset`, up to its terminator within `units`.
std::wstring ReadText(const std::string& bytes, size_t offset, size_t units) {
  std::wstring text;
  for (size_t i = 0; i < units; ++i) {
    uint16_t unit;
    memcpy(&unit, bytes.data() + offset + 2 * i, sizeof(unit));
    if (unit == 0)
      break;
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

}  // namespace

bool MinidumpFile::Read(const std::wstring& path) {
  streams_.clear();
  const std::string bytes = ReadTextFile(path);
  if (!Fits(bytes, 0, kHeaderSize) || Read32(bytes, 0) != kSignature)
    return false;
  const uint32_t count = Read32(bytes, 8);
  const uint32_t directory = Read32(bytes, 12);
  if (!Fits(bytes, directory, uint64_t{count} * kDirectoryEntrySize))
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = directory + i * kDirectoryEntrySize;
    const uint32_t type = Read32(bytes, entry);
    const uint32_t size = Read32(bytes, entry + 4);
    const uint32_t offset = Read32(bytes, entry + 8);
    if (!Fits(bytes, offset, size))
      return false;
    streams_.push_back({type, bytes.substr(offset, size)});
  }
  return true;
}

const MinidumpFile::Stream* MinidumpFile::FindStream(uint32_t type) const {
  for (const Stream& stream : streams_) {
    if (stream.type == type)
      return &stream;
  }
  return nullptr;
}

bool MinidumpFile::GetException(Exception* exception) const {
  const Stream* stream = FindStream(kExceptionStream);
  if (!stream || !Fits(stream->bytes, 0, kExceptionAddressOffset + 8))
    return false;
  exception->thread_id = Read32(stream->bytes, 0);
  exception->code = Read32(stream->bytes, kExceptionCodeOffset);
  exception->address = Read64(stream->bytes, kExceptionAddressOffset);
  return true;
}

bool MinidumpFile::GetReportFields(std::vector<ReportField>* fields) const {
  fields->clear();
  const Stream* stream = FindStream(kReportFieldsStream);
  if (!stream || !Fits(stream->bytes, 0, kReportFieldsHeaderSize))
    return false;
  const uint32_t count = Read32(stream->bytes, 0);
  if (Read32(stream->bytes, 4) != kReportFieldSize ||
      stream->bytes.size() !=
          kReportFieldsHeaderSize + uint64_t{count} * kReportFieldSize) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const size_t field = kReportFieldsHeaderSize + i * kReportFieldSize;
    fields->push_back({ReadText(stream->bytes, field, kReportTextUnits),
                       ReadText(stream->bytes, field + 2 * kReportTextUnits,
                                kReportTextUnits)});
  }
  return true;
}

}  // namespace test_support
