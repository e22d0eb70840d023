#include "base/logging.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

TEST(CheckTest, FailedChecksReportTheirExactTexts) {
  test_support::ScopedCheckRecorder recorder;
  const int left = 3;
  const int right = 4;
  const std::string name = "kelvo";
  CHECK(left == right);
  CHECK(left > right) << "with more: " << 7;
  CHECK_EQ(left, right);
  CHECK_NE(left, 3) << " and more";
  CHECK_EQ(name, "orvane");
  NOTREACHED() << "Tried to do nothing";
  // Passing checks say nothing.
  CHECK(left < right);
  CHECK_EQ(left, 3);
  CHECK_NE(name, "orvane");

  const std::vector<std::string> expected = {
      "Check failed: left == right. ",
      "Check failed: left > right. with more: 7",
      "Check failed: left == right (3 vs. 4)",
      "Check failed: left != 3 (3 vs. 3) and more",
      "Check failed: name == \"orvane\" (kelvo vs. orvane)",
      "Check failed: false. Tried to do nothing",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(CheckTest, OperandsAreEvaluatedOnce) {
  test_support::ScopedCheckRecorder recorder;
  int calls = 0;
  auto next = [&calls] { return ++calls; };
  CHECK_EQ(next(), 5);
  CHECK(next() == 2);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Check failed: next() == 5 (1 vs. 5)"}));
}

TEST(CheckTest, ChecksNestInsideIfElse) {
  test_support::ScopedCheckRecorder recorder;
  bool else_ran = false;
  if (recorder.messages().empty())
    CHECK_EQ(1, 2);
  else
    else_ran = true;
  EXPECT_FALSE(else_ran);
  EXPECT_EQ(recorder.messages().size(), 1u);
}

std::string g_fatal_line;

TEST(LogRecordTest, LineCarriesSeverityFileAndLine) {
  // The fatal handler gets the whole line, prefix included.
  SetFatalHandler([](const std::string& message) { g_fatal_line = message; });
  LogRecord("C:\\src\\kelvo\\launcher.cc", 97, LOG_FATAL).stream() << "text";
  test_support::InstallFailingFatalHandler();

  // "[MMDD/HHMMSS:FATAL:launcher.cc(97)] text"
  ASSERT_GE(g_fatal_line.size(), 14u);
  EXPECT_EQ(g_fatal_line[0], '[');
  EXPECT_EQ(g_fatal_line[5], '/');
  EXPECT_EQ(g_fatal_line.substr(12), ":FATAL:launcher.cc(97)] text");
}

TEST(LogRecordTest, KeepsTheCallersLastError) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  LOG(INFO) << "nothing to see";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace base

namespace elsewhere {

// Wide strings stream as text from any namespace, not as an address.
TEST(LogStreamTest, WideStringsPrintAsUtf8FromEveryNamespace) {
  test_support::ScopedCheckRecorder recorder;
  const std::wstring wide = L"gr\u00fc\u00df";
  CHECK(false) << L"pointer " << wide;
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{
                "Check failed: false. pointer gr\xC3\xBC\xC3\x9F"}));
}

}  // namespace elsewhere
