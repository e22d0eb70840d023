#include "base/mapped_file.h"

#include <windows.h>

#include <winioctl.h>

#include <string>

#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::WriteTextFile;

TEST(MappedFileTest, MapsAWholeFileReadOnly) {
  test_support::ScopedTempDir dir;
  const std::wstring path = dir.path() + L"\\mapped gr\u00fc\u00df.bin";
  ASSERT_TRUE(WriteTextFile(path, "mapped bytes"));
  MappedFile file;
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.length(), MappedFile::kNoLength);
  ASSERT_TRUE(file.Open(FilePath(path)));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(file.data()), file.length()),
      "mapped bytes");

  // A second open keeps the first mapping.
  const std::wstring other = dir.path() + L"\\other.bin";
  ASSERT_TRUE(WriteTextFile(other, "other"));
  EXPECT_FALSE(file.Open(FilePath(other)));
  EXPECT_EQ(file.length(), 12u);

  // Closed, it opens again; closing twice is harmless.
  file.Close();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.data(), nullptr);
  ASSERT_TRUE(file.Open(FilePath(other)));
  EXPECT_EQ(file.length(), 5u);
}

TEST(MappedFileTest, EmptyMissingAndHugeFilesAreNotMapped) {
  test_support::ScopedTempDir dir;
  const std::wstring empty = dir.path() + L"\\empty.bin";
  ASSERT_TRUE(WriteTextFile(empty, ""));
  // 5 GiB, sparse: its low 32 bits would read as 1 GiB.
  const std::wstring huge = dir.path() + L"\\huge.bin";
  {
    OwnedHandle file(CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    ASSERT_TRUE(file.is_valid());
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0,
                    &returned, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 5LL << 30;
    ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
  }
  for (const std::wstring& path :
       {empty, huge, dir.path() + L"\\missing.bin"}) {
    MappedFile file;
    EXPECT_FALSE(file.Open(FilePath(path)));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.length(), MappedFile::kNoLength);
  }
}

}  // namespace
}  // namespace base
