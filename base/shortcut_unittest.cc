#include "base/shortcut.h"

#include <objbase.h>

#include <string>

#include "gtest/gtest.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::WriteTextFile;

// Shell links need the component object library on the calling thread.
class ShortcutTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }

  test_support::ScopedTempDir dir_{L"links gr\u00fc\u00df"};
};

TEST_F(ShortcutTest, CreateUpdateAndFollow) {
  const std::wstring target = dir_.path() + L"\\target file.txt";
  const std::wstring other = dir_.path() + L"\\other target.txt";
  ASSERT_TRUE(WriteTextFile(target, "t"));
  ASSERT_TRUE(WriteTextFile(other, "o"));
  const std::wstring link = dir_.path() + L"\\to target.lnk";
  ASSERT_TRUE(CreateShortcut(target.c_str(), link.c_str(), dir_.path().c_str(),
                             L"--flag", L"a description", nullptr, 0));
  std::wstring followed = link;
  ASSERT_TRUE(FollowShortcut(&followed));
  EXPECT_EQ(followed, target);

  // Without a source the target stays; with one it changes.
  ASSERT_TRUE(UpdateShortcut(nullptr, link.c_str(), nullptr, L"--other",
                             nullptr, nullptr, 0));
  followed = link;
  ASSERT_TRUE(FollowShortcut(&followed));
  EXPECT_EQ(followed, target);
  ASSERT_TRUE(UpdateShortcut(other.c_str(), link.c_str(), nullptr, nullptr,
                             nullptr, nullptr, 0));
  FilePath path(link);
  ASSERT_TRUE(FollowShortcut(&path));
  EXPECT_EQ(path.text(), other);
}

TEST_F(ShortcutTest, WhatIsNotAShortcutIsNotFollowed) {
  const std::wstring not_a_link = dir_.path() + L"\\plain.lnk";
  ASSERT_TRUE(WriteTextFile(not_a_link, "no link in here"));
  for (const std::wstring& path :
       {not_a_link, dir_.path() + L"\\missing.lnk"}) {
    std::wstring followed = path;
    EXPECT_FALSE(FollowShortcut(&followed));
    EXPECT_EQ(followed, path);  // Unchanged.
  }
  EXPECT_FALSE(UpdateShortcut(nullptr, (dir_.path() + L"\\missing.lnk").c_str(),
                              nullptr, nullptr, nullptr, nullptr, 0));
}

}  // namespace
}  // namespace base
