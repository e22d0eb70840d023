#include "base/file_version_info.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "gtest/gtest.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::FixturePath;

std::unique_ptr<FileVersionInfo> Open(const wchar_t* fixture) {
  return FileVersionInfo::OpenVersionInfo(FixturePath(fixture));
}

TEST(FileVersionInfoTest, ReadsEveryFieldOfTheTableItsTranslationNames) {
  const std::unique_ptr<FileVersionInfo> info = Open(L"version_main.dll");
  ASSERT_NE(info, nullptr);
  struct Case {
    std::wstring (FileVersionInfo::*getter)() const;
    const wchar_t* value;
  };
  const Case kCases[] = {
      {&FileVersionInfo::company_name, L"Kelvo Fixtures"},
      {&FileVersionInfo::company_short_name, L"Kelvo"},
      {&FileVersionInfo::product_name, L"Kelvo Version Fixture"},
      {&FileVersionInfo::product_short_name, L"Fixture"},
      {&FileVersionInfo::internal_name, L"version_main"},
      {&FileVersionInfo::product_version, L"5.6.7.8"},
      {&FileVersionInfo::private_build, L"private"},
      {&FileVersionInfo::special_build, L"special"},
      {&FileVersionInfo::comments, L"Gr\u00fc\u00dfe"},
      {&FileVersionInfo::original_filename, L"version_main.dll"},
      {&FileVersionInfo::file_description, L"Version fixture"},
      {&FileVersionInfo::file_version, L"1.2.3.4"},
      {&FileVersionInfo::legal_copyright, L"(c) Kelvo"},
      {&FileVersionInfo::legal_trademarks, L"none"},
      {&FileVersionInfo::last_change, L"12345"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ((info.get()->*c.getter)(), c.value);
  EXPECT_TRUE(info->is_official_build());

  std::wstring value = L"untouched";
  EXPECT_FALSE(info->LookupField(L"Missing", &value));
  EXPECT_EQ(value, L"untouched");
  EXPECT_EQ(info->StringField(L"Missing"), L"");

  const VS_FIXEDFILEINFO* fixed = info->fixed_file_info();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00050006u);
}

TEST(FileVersionInfoTest, FallsBackToCodePage1252) {
  const std::unique_ptr<FileVersionInfo> info = Open(L"version_fallback.dll");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->product_name(), L"Kelvo Fallback Fixture");
  EXPECT_FALSE(info->is_official_build());  // "0".
}

TEST(FileVersionInfoTest, ReadsTheLaunchersOwnResource) {
  const std::unique_ptr<FileVersionInfo> info = Open(L"Kelvo.exe");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->product_name(), L"Kelvo");
  EXPECT_EQ(info->original_filename(), L"Kelvo.exe");
  EXPECT_EQ(info->file_version(), L"1.0.0.0");
  // No "Official Build" field at all.
  EXPECT_FALSE(info->is_official_build());
  ASSERT_NE(info->fixed_file_info(), nullptr);
  EXPECT_EQ(info->fixed_file_info()->dwFileVersionMS, 0x00010000u);
}

TEST(FileVersionInfoTest, FilesWithoutAReadableTranslationGiveNone) {
  struct Case {
    std::wstring path;
    const char* why;
  };
  const Case kCases[] = {
      {FixturePath(L"no_entry_module.dll"), "no version resource"},
      {FixturePath(L"version_truncated.dll"), "a two-byte translation"},
      {FixturePath(L"missing.dll"), "no file"},
      {L"", "no path"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(FileVersionInfo::OpenVersionInfo(c.path), nullptr) << c.why;
  // The test program carries no version resource either.
  AtExitManager exit_manager;
  EXPECT_EQ(FileVersionInfo::OpenVersionInfoForThisModule(), nullptr);
}

// The product name is stored without its terminator, right before the
// next string: it is read as long as the resource says, no further.
TEST(FileVersionInfoTest, AStringWithoutTerminatorEndsAtItsLength) {
  const std::unique_ptr<FileVersionInfo> info =
      Open(L"version_unterminated.dll");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->product_name(), L"Kelvo!");
  EXPECT_EQ(info->comments(), L"next");
  ASSERT_NE(info->fixed_file_info(), nullptr);
  EXPECT_EQ(info->fixed_file_info()->dwFileVersionMS, 0x00040000u);
}

}  // namespace
}  // namespace base
