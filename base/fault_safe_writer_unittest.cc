#include "base/fault_safe_writer.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/test_files.h"

namespace base {
namespace {

std::string Composed(const FaultSafeWriter& writer) {
  return std::string(writer.data(), writer.size());
}

TEST(FaultSafeWriterTest, ComposesTextAndNumbers) {
  FaultSafeWriter writer;
  writer.Append("code ")
      .AppendHex(0xC0000005)
      .Append(" thread ")
      .AppendDecimal(0)
      .Append(" ")
      .AppendDecimal(UINT64_MAX)
      .Append(" ")
      .AppendHex(0)
      .Append(" ")
      .AppendHex(UINT64_MAX);
  EXPECT_EQ(Composed(writer),
            "code 0xc0000005 thread 0 18446744073709551615 0x0 "
            "0xffffffffffffffff");
}

TEST(FaultSafeWriterTest, CutsWhatDoesNotFit) {
  const std::string long_text(600, 'x');
  FaultSafeWriter writer;
  writer.Append(long_text.c_str()).AppendDecimal(12345).AppendHex(1);
  EXPECT_EQ(Composed(writer), long_text.substr(0, 512));
}

// Points this process's standard error at `handle` while it lives.
class ScopedStandardError {
 public:
  explicit ScopedStandardError(HANDLE handle)
      : saved_(GetStdHandle(STD_ERROR_HANDLE)) {
    SetStdHandle(STD_ERROR_HANDLE, handle);
  }
  ScopedStandardError(const ScopedStandardError&) = delete;
  ScopedStandardError& operator=(const ScopedStandardError&) = delete;
  ~ScopedStandardError() { SetStdHandle(STD_ERROR_HANDLE, saved_); }

 private:
  HANDLE saved_;
};

TEST(FaultSafeWriterTest, WritesToStandardErrorWhenThereIsOne) {
  test_support::ScopedTempDir dir;
  const std::wstring path = dir.path() + L"\\stderr.txt";
  {
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    ASSERT_TRUE(file.is_valid());
    ScopedStandardError redirect(file.get());
    EXPECT_TRUE(FaultSafeWriter().Append("fault at ").AppendHex(16).Write());
  }
  EXPECT_EQ(test_support::ReadTextFile(path), "fault at 0x10");

  // A GUI program without standard error writes nothing and says so.
  ScopedStandardError none(nullptr);
  EXPECT_FALSE(WriteToStandardError("x", 1));
}

}  // namespace
}  // namespace base
