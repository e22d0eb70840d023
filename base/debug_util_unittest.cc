#include "base/debug_util.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/test_debugger.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ChildProcess;
using test_support::DebugUntilExit;
using test_support::FixturePath;
using test_support::kNoExitCode;

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
