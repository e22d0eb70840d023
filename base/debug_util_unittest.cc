#include "base/debug_util.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/test_debugger.h"
#include "test_support/test_files.h"
#include "test_support/test_registry.h"

namespace base {
namespace {

using test_support::ChildProcess;
using test_support::DebugUntilExit;
using test_support::FixturePath;
using test_support::kNoExitCode;
using test_support::ScopedTestRegistryKey;

TEST(RawSwitchPresentTest, FindsSwitchesByTheCharactersAroundThem) {
  struct Case {
    const wchar_t* command_line;
    const wchar_t* name;
    bool present;
  };
  const Case kCases[] = {
      {L"prog.exe --debug-on-start", L"debug-on-start", true},
      {L"prog.exe -debug-on-start --other", L"debug-on-start", true},
      {L"prog.exe /WAIT-FOR-DEBUGGER=1", L"wait-for-debugger", true},
      {L"prog.exe --Debug-On-Start=0 x", L"debug-on-start", true},
      {L"\"C:\\a b\\prog.exe\" --wait-for-debugger", L"wait-for-debugger",
       true},
      // The name must end at a blank, "=" or the end of the text.
      {L"prog.exe --debug-on-startx", L"debug-on-start", false},
      {L"prog.exe --debug-on-start\\x", L"debug-on-start", false},
      {L"prog.exe --debug-on-star", L"debug-on-start", false},
      // ...and follow a dash or a slash.
      {L"prog.exe debug-on-start", L"debug-on-start", false},
      {L"prog.exe xdebug-on-start", L"debug-on-start", false},
      {L"", L"debug-on-start", false},
      {L"-", L"debug-on-start", false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(RawSwitchPresent(c.command_line, c.name), c.present)
        << testing::PrintToString(std::wstring(c.command_line));
  }
}

TEST(ExpandPidPatternTest, ReplacesEveryPlaceholderWhenItFits) {
  struct Case {
    const wchar_t* pattern;
    size_t length;
    bool fits;
    const wchar_t* expected;  // What the buffer holds afterwards.
  };
  const Case kCases[] = {
      {L"dbg.exe -p %ld -e %ld", 64, true, L"dbg.exe -p 1234 -e 1234"},
      {L"abc", 4, true, L"abc"},    // Exactly fits with its terminator.
      {L"abcd", 4, false, L"abc"},  // One over: cut, still terminated.
      // A placeholder needs room for the longest id, whatever this one is.
      {L"%ld", 13, true, L"1234"},
      {L"%ld", 12, false, L""},
      {L"x%ld%ld", 18, true, L"x12341234"},
      {L"x%ld%ld", 17, false, L"x1234"},
      {L"%l%d%%ld", 32, true, L"%l%d%1234"},
      {L"", 1, true, L""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.pattern)));
    std::vector<wchar_t> out(c.length, L'X');
    EXPECT_EQ(ExpandPidPattern(c.pattern, 1234, out.data(), out.size()),
              c.fits);
    EXPECT_EQ(std::wstring(out.data()), c.expected);
  }
  wchar_t out[16];
  EXPECT_TRUE(ExpandPidPattern(L"%ld", 4294967295ul, out, 16));
  EXPECT_EQ(std::wstring(out), L"4294967295");
}

TEST(ReadRegistryTextTest, TerminatesAfterTheReturnedText) {
  ScopedTestRegistryKey key(L"Software\\KelvoTest\\DebugUtil");
  const DWORD number = 7;
  ASSERT_TRUE(key.SetValue(L"terminated", REG_SZ, L"abc", 8));
  ASSERT_TRUE(key.SetValue(L"unterminated", REG_SZ, L"abc", 6));
  ASSERT_TRUE(key.SetValue(L"odd", REG_SZ, L"abcd", 7));
  ASSERT_TRUE(key.SetValue(L"exact", REG_SZ, L"abcd", 10));
  ASSERT_TRUE(key.SetValue(L"full", REG_SZ, L"abcde", 10));
  ASSERT_TRUE(key.SetValue(L"long", REG_SZ, L"abcdefgh", 18));
  ASSERT_TRUE(key.SetValue(L"empty", REG_SZ, L"", 0));
  ASSERT_TRUE(key.SetValue(L"expand", REG_EXPAND_SZ, L"%TEMP%", 14));
  ASSERT_TRUE(key.SetValue(L"number", REG_DWORD, &number, sizeof(number)));

  struct Case {
    const wchar_t* name;
    size_t buffer_length;
    bool ok;
    const wchar_t* text;
  };
  const Case kCases[] = {
      {L"terminated", 10, true, L"abc"},
      // Stored without a terminator: leftovers of the buffer must not show.
      {L"unterminated", 10, true, L"abc"},
      {L"odd", 10, true, L"abcd"},
      {L"exact", 5, true, L"abcd"},
      {L"full", 5, false, L""},  // Would need a sixth character.
      {L"long", 5, false, L""},
      {L"empty", 10, false, L""},
      {L"expand", 10, false, L""},
      {L"number", 10, false, L""},
      {L"missing", 10, false, L""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    std::vector<wchar_t> out(c.buffer_length, L'X');
    size_t length = out.size();
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, key.path().c_str(), c.name,
                               out.data(), &length),
              c.ok);
    EXPECT_EQ(std::wstring(out.data()), c.text);
    if (c.ok) {
      EXPECT_EQ(length, std::wcslen(c.text));
    }
  }
  wchar_t out[8];
  size_t length = 8;
  EXPECT_FALSE(ReadRegistryText(HKEY_CURRENT_USER, L"Software\\KelvoTest\\None",
                                L"terminated", out, &length));
}

TEST(AwaitDebuggerTest, ZeroSecondsAnswersAtOnce) {
  EXPECT_FALSE(AwaitDebugger(0, false));
  EXPECT_FALSE(AwaitDebugger(0, true));
}

TEST(CallStackRecordTest, StaysEmpty) {
  const CallStackRecord record;
  size_t count = 99;
  EXPECT_EQ(record.ReturnAddresses(&count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST(StartupDebugHookTest, WaitForDebuggerEndsWhenADebuggerAttaches) {
  ChildProcess child;
  ASSERT_TRUE(
      child.Start(FixturePath(L"hooked_child.exe"), L"--wait-for-debugger"));
  // The hook waits up to 60 s; attaching ends the wait well before that.
  // The child's static objects then see the debugger: the hook ran first.
  DWORD exit_code = kNoExitCode;
  EXPECT_TRUE(DebugUntilExit(child.id(), 30000, &exit_code));
  EXPECT_EQ(exit_code, 1u);
}

TEST(StartupDebugHookTest, OtherSwitchesDoNotWait) {
  EXPECT_EQ(
      test_support::RunToExit(FixturePath(L"hooked_child.exe"),
                              L"--wait-for-debuggerx --debug-on-starts", 30000),
      0u);
}

}  // namespace
}  // namespace base
