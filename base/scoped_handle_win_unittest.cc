#include "base/scoped_handle_win.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != 0;
}

TEST(OwnedHandleTest, SettingTheHeldHandleAgainKeepsItOpen) {
  const HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(first, nullptr);
  OwnedHandle holder(first);
  holder.Set(first);
  EXPECT_EQ(holder.get(), first);
  EXPECT_TRUE(IsOpen(first));

  // Another handle replaces it and closes the first.
  const HANDLE second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  holder.Set(second);
  EXPECT_EQ(holder.get(), second);
  EXPECT_FALSE(IsOpen(first));

  holder.Set(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(holder.is_valid());
  EXPECT_FALSE(IsOpen(second));
  holder.Close();
  EXPECT_FALSE(holder.is_valid());
}

TEST(OwnedHandleTest, AFailingCloseIsReportedAndEmptiesTheHolder) {
  test_support::ScopedCheckRecorder recorder;
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  OwnedHandle holder(event);
  // Closed behind the holder's back: its own close then fails.
  ASSERT_TRUE(CloseHandle(event));
  holder.Close();
  EXPECT_FALSE(holder.is_valid());
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: false. "});
}

}  // namespace
}  // namespace base
