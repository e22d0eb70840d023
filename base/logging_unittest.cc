#include "base/logging.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_handle_win.h"
#include "base/string_util.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"

namespace base {
namespace {

using test_support::ChildProcess;
using test_support::FixturePath;
using test_support::kNoExitCode;
using test_support::ReadTextFile;
using test_support::ScopedTempDir;

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
  CHECK_LT(right, left);
  NOTREACHED() << "Tried to do nothing";
  DCHECK(left == right);
  DCHECK_EQ(left, right);
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
      "Check failed: right < left (4 vs. 3)",
      "Check failed: false. Tried to do nothing",
      "Check failed: left == right. ",
      "Check failed: left == right (3 vs. 4)",
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

// The returning form reports the text CHECK would, then leaves the function
// with its value; a passing condition goes on.
int HalfOfEven(int value) {
  CHECK_OR_RETURN(value % 2 == 0, -1, "odd: " << value);
  CHECK_OR_RETURN(value != 0, -2);
  return value / 2;
}

void CountPositive(int value, int* count) {
  CHECK_OR_RETURN(value > 0, );
  ++*count;
}

TEST(CheckTest, ReturningChecksReportLikeCheckAndReturn) {
  test_support::ScopedCheckRecorder recorder;
  EXPECT_EQ(HalfOfEven(3), -1);
  EXPECT_EQ(HalfOfEven(0), -2);
  EXPECT_EQ(HalfOfEven(8), 4);
  int count = 0;
  CountPositive(-1, &count);
  CountPositive(1, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Check failed: value % 2 == 0. odd: 3",
                                      "Check failed: value != 0. ",
                                      "Check failed: value > 0. "}));
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

TEST(LogMutexNameTest, TurnsBackslashesIntoSlashes) {
  EXPECT_EQ(LogMutexName(L"C:\\A\\debug.log"), L"Global\\C:/A/debug.log");
  EXPECT_EQ(LogMutexName(L"\\\\server\\share\\x.log"),
            L"Global\\//server/share/x.log");
  EXPECT_EQ(LogMutexName(L"rel/debug.log"), L"Global\\rel/debug.log");

  // Names that would not fit are shortened the same way for every process,
  // and differ for different paths.
  const std::wstring fits = L"C:\\" + std::wstring(249, L'a');
  EXPECT_EQ(LogMutexName(fits), L"Global\\C:/" + std::wstring(249, L'a'));
  EXPECT_EQ(LogMutexName(fits).size(), 259u);
  const std::wstring long_path = fits + L"b";
  const std::wstring shortened = LogMutexName(long_path);
  EXPECT_LT(shortened.size(), 260u);
  EXPECT_EQ(shortened.substr(0, 200), LogMutexName(fits).substr(0, 200));
  EXPECT_EQ(shortened, LogMutexName(long_path));
  EXPECT_NE(shortened, LogMutexName(fits + L"c"));
}

// Puts the process-wide settings back to their start-up values afterwards,
// and logs into a fresh file of its own meanwhile.
class LoggingTest : public testing::Test {
 protected:
  LoggingTest() : log_path_(temp_.path() + L"\\test.log") {}

  void SetUp() override {
    ConfigureLogging(log_path_.c_str(), LOG_TO_FILE, LOG_LOCK_SYSTEM_MUTEX,
                     ERASE_EXISTING_LOG);
  }

  void TearDown() override {
    SetMinimumLogLevel(LOG_INFO);
    SetLogPrefixFilter(nullptr);
    SelectLogPrefixItems(false, false, true, false);
    SetErrorReportHandler(nullptr);
    const std::wstring default_log =
        test_support::TestProgramFolder() + L"debug.log";
    ConfigureLogging(default_log.c_str(), LOG_TO_FILE, LOG_LOCK_SYSTEM_MUTEX,
                     KEEP_EXISTING_LOG);
  }

  // The file's lines, each checked for its CR LF ending.
  static std::vector<std::string> LinesOf(const std::wstring& path) {
    const std::string text = ReadTextFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "an unfinished last line";
    return lines;
  }

  // The texts of the lines, without their prefixes.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const std::string& line : LinesOf(log_path_))
      messages.push_back(line.substr(line.find("] ") + 2));
    return messages;
  }

  ScopedTempDir temp_;
  const std::wstring log_path_;
};

TEST_F(LoggingTest, PrefixCarriesTheSelectedItems) {
  LogPrefixValues values;
  values.process_id = 1234;
  values.thread_id = 5678;
  values.month = 3;
  values.day = 8;
  values.hour = 14;
  values.minute = 25;
  values.second = 3;
  values.tick_count = 99999;
  struct Case {
    bool process_id, thread_id, time_stamp, tick_count;
    LogLevel severity;
    const char* file;
    const char* expected;
  };
  const Case kCases[] = {
      {false, false, true, false, LOG_ERROR, "C:\\src\\base\\logging.cc",
       "[0308/142503:ERROR:logging.cc(97)] "},
      {true, false, false, false, LOG_INFO, "a.cc", "[1234:INFO:a.cc(97)] "},
      {false, true, false, false, LOG_WARNING, "a.cc",
       "[5678:WARNING:a.cc(97)] "},
      {false, false, false, true, LOG_ERROR_REPORT, "a.cc",
       "[99999:ERROR_REPORT:a.cc(97)] "},
      // Only a backslash separates the file name from its folders.
      {true, true, true, true, LOG_FATAL, "src/base/x.cc",
       "[1234:5678:0308/142503:99999:FATAL:src/base/x.cc(97)] "},
      {false, false, false, false, LOG_INFO, "src\\mixed/y.cc",
       "[INFO:mixed/y.cc(97)] "},
  };
  for (const Case& c : kCases) {
    SelectLogPrefixItems(c.process_id, c.thread_id, c.time_stamp, c.tick_count);
    EXPECT_EQ(FormatLogPrefix(values, c.severity, c.file, 97), c.expected);
  }
}

TEST_F(LoggingTest, WritesOneLineToTheFile) {
  LOG(INFO) << "hello " << 42;
  const std::vector<std::string> lines = LinesOf(log_path_);
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines[0];
  // "[MMDD/HHMMSS:INFO:base/logging_unittest.cc(N)] hello 42"
  ASSERT_GT(line.size(), 13u);
  EXPECT_EQ(line[0], '[');
  EXPECT_EQ(line[5], '/');
  EXPECT_EQ(line.substr(12, 6), ":INFO:");
  EXPECT_NE(line.find("logging_unittest.cc("), std::string::npos);
  EXPECT_EQ(line.substr(line.size() - 11), ")] hello 42");
}

TEST_F(LoggingTest, FilterDropsOnlyUnmatchedInfoAndWarnings) {
  SetLogPrefixFilter("net");
  struct Case {
    LogLevel severity;
    const char* text;
    bool logged;
  };
  const Case kCases[] = {
      {LOG_INFO, "net up", true},      {LOG_INFO, "disk full", false},
      {LOG_WARNING, "network", true},  {LOG_WARNING, "disk", false},
      {LOG_ERROR, "disk broke", true}, {LOG_ERROR, "net broke", true},
      {LOG_INFO, "ne", false},
  };
  std::vector<std::string> expected;
  for (const Case& c : kCases) {
    LogRecord(__FILE__, __LINE__, c.severity).stream() << c.text;
    if (c.logged)
      expected.push_back(c.text);
  }
  EXPECT_EQ(Messages(), expected);
}

TEST_F(LoggingTest, BelowTheMinimumNothingHappens) {
  SetMinimumLogLevel(LOG_ERROR);
  EXPECT_EQ(MinimumLogLevel(), LOG_ERROR);
  SetLastError(ERROR_ACCESS_DENIED);
  LOG(WARNING) << "dropped";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(LoggingTest, KeepsTheCallersLastError) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  LOG(INFO) << "nothing to see";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(LoggingTest, ErasesOrKeepsTheOldFileAsAsked) {
  LOG(INFO) << "first";
  ConfigureLogging(log_path_.c_str(), LOG_TO_FILE, LOG_LOCK_IN_PROCESS,
                   KEEP_EXISTING_LOG);
  LOG(INFO) << "second";
  EXPECT_EQ(Messages(), (std::vector<std::string>{"first", "second"}));
  ConfigureLogging(log_path_.c_str(), LOG_TO_FILE, LOG_LOCK_SYSTEM_MUTEX,
                   ERASE_EXISTING_LOG);
  LOG(INFO) << "third";
  EXPECT_EQ(Messages(), std::vector<std::string>{"third"});
}

TEST_F(LoggingTest, DebuggerTargetWritesNoFile) {
  LOG(INFO) << "to the file";
  const std::wstring other = temp_.path() + L"\\other.log";
  ConfigureLogging(other.c_str(), LOG_TO_DEBUGGER, LOG_LOCK_SYSTEM_MUTEX,
                   ERASE_EXISTING_LOG);
  LOG(INFO) << "to the debugger";
  LOG(ERROR) << "also to standard error";
  EXPECT_FALSE(test_support::FileExists(other));
  EXPECT_EQ(Messages(), std::vector<std::string>{"to the file"});
}

TEST_F(LoggingTest, ErrorReportsGoToTheirHandler) {
  static std::string reported;
  SetErrorReportHandler([](const std::string& text) { reported = text; });
  LOG(ERROR_REPORT) << "look here";
  EXPECT_EQ(reported.substr(reported.find("] ")), "] look here");
  EXPECT_EQ(Messages(), std::vector<std::string>{"look here"});
}

// When the configured place cannot be written, the current folder takes the
// log, and the cross-process mutex follows the file actually written.
TEST_F(LoggingTest, FallbackFileIsGuardedByItsOwnMutex) {
  wchar_t saved_folder[MAX_PATH] = {};
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, saved_folder), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(temp_.path().c_str()));
  const std::wstring unwritable = temp_.path() + L"\\missing\\test.log";
  ConfigureLogging(unwritable.c_str(), LOG_TO_FILE, LOG_LOCK_SYSTEM_MUTEX,
                   KEEP_EXISTING_LOG);
  LOG(INFO) << "into the fallback";
  const OwnedHandle fallback_mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, LogMutexName(L".\\debug.log").c_str()));
  const OwnedHandle configured_mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, LogMutexName(unwritable).c_str()));
  ReleaseLogFile();
  SetCurrentDirectoryW(saved_folder);
  EXPECT_TRUE(fallback_mutex.is_valid());
  EXPECT_FALSE(configured_mutex.is_valid());
  const std::string text = ReadTextFile(temp_.path() + L"\\debug.log");
  EXPECT_NE(text.find("] into the fallback\r\n"), std::string::npos) << text;
}

// Threads that log their first lines together, into a file that is not
// open yet, each get their lines in whole and exactly once.
TEST_F(LoggingTest, ThreadsShareTheFileLineByLine) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 300;
  for (const LogLockMode mode : {LOG_LOCK_IN_PROCESS, LOG_LOCK_SYSTEM_MUTEX}) {
    SCOPED_TRACE(mode);
    ConfigureLogging(log_path_.c_str(), LOG_TO_FILE, mode, ERASE_EXISTING_LOG);
    ReleaseLogFile();
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &go] {
        while (!go)
          std::this_thread::yield();
        for (int n = 0; n < kLinesPerThread; ++n)
          LOG(INFO) << "thread " << t << " line " << n << " "
                    << std::string(n % 50, 'x');
      });
    }
    go = true;
    for (std::thread& thread : threads)
      thread.join();
    std::map<std::string, int> seen;
    for (const std::string& message : Messages())
      ++seen[message];
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesPerThread));
    for (int t = 0; t < kThreads; ++t) {
      for (int n = 0; n < kLinesPerThread; n += 37) {
        const std::string message = "thread " + std::to_string(t) + " line " +
                                    std::to_string(n) + " " +
                                    std::string(n % 50, 'x');
        EXPECT_EQ(seen[message], 1) << message;
      }
    }
  }
}

// Runs logging_child with `arguments` and returns its exit code.
DWORD RunLoggingChild(
    const std::wstring& arguments,
    const std::wstring& program = FixturePath(L"logging_child.exe"),
    const std::wstring& folder = std::wstring()) {
  return test_support::RunToExit(program, arguments, 60000, folder);
}

std::wstring Quoted(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

// Every line "writer ID line N <letters>" of every writer, exactly once and
// whole; other lines are allowed only as given by `allowed_other`.
void ExpectAllWriterLines(const std::vector<std::string>& lines,
                          int writers,
                          int count,
                          size_t allowed_other) {
  std::map<std::string, int> seen;
  size_t other = 0;
  for (const std::string& line : lines) {
    const size_t start = line.find("] writer ");
    if (start == std::string::npos) {
      ++other;
      continue;
    }
    ++seen[line.substr(start + 2)];
  }
  EXPECT_EQ(other, allowed_other);
  EXPECT_EQ(seen.size(), static_cast<size_t>(writers * count));
  for (int id = 0; id < writers; ++id) {
    for (int n = 0; n < count; ++n) {
      const std::string text =
          "writer " + std::to_string(id) + " line " + std::to_string(n) + " " +
          std::string(20 + n % 60, static_cast<char>('a' + id));
      ASSERT_EQ(seen[text], 1) << text;
    }
  }
}

TEST_F(LoggingTest, ProcessesShareOneFileLineByLine) {
  constexpr int kWriters = 4;
  constexpr int kLines = 2000;
  std::vector<ChildProcess> writers(kWriters);
  for (int id = 0; id < kWriters; ++id) {
    ASSERT_TRUE(writers[id].Start(FixturePath(L"logging_child.exe"),
                                  L"write " + Quoted(log_path_) + L" " +
                                      std::to_wstring(id) + L" " +
                                      std::to_wstring(kLines)));
  }
  for (ChildProcess& writer : writers) {
    DWORD exit_code = kNoExitCode;
    ASSERT_TRUE(writer.WaitForExit(120000, &exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  ExpectAllWriterLines(LinesOf(log_path_), kWriters, kLines, 0);
}

TEST_F(LoggingTest, AWriterKilledWhileHoldingTheLogDoesNotStopTheOthers) {
  ScopedTempDir folder;
  const std::wstring ready = folder.path() + L"\\ready";
  ChildProcess holder;
  ASSERT_TRUE(
      holder.Start(FixturePath(L"logging_child.exe"),
                   L"hold " + Quoted(log_path_) + L" " + Quoted(ready)));
  for (int i = 0; i < 300 && !test_support::FileExists(ready); ++i)
    Sleep(100);
  ASSERT_TRUE(test_support::FileExists(ready));
  holder.Terminate();

  EXPECT_EQ(RunLoggingChild(L"write " + Quoted(log_path_) + L" 0 50"), 0u);
  EXPECT_EQ(RunLoggingChild(L"write " + Quoted(log_path_) + L" 1 50"), 0u);
  LOG(INFO) << "writer 2 line 0 " << std::string(20, 'c');

  // The dead writer's half line, then one warning, then every line whole.
  const std::vector<std::string> lines = LinesOf(log_path_);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "half a li");
  EXPECT_NE(lines[1].find(":WARNING:"), std::string::npos) << lines[1];
  ExpectAllWriterLines({lines.begin() + 2, lines.end() - 1}, 2, 50, 0);
  EXPECT_NE(lines.back().find("] writer 2 line 0 ccc"), std::string::npos)
      << lines.back();
}

TEST(LoggingProcessTest, FirstMessageGoesToDebugLogBesideTheProgram) {
  ScopedTempDir folder;
  const std::wstring program = folder.path() + L"\\logging_child.exe";
  ASSERT_TRUE(
      test_support::CopyFileTo(FixturePath(L"logging_child.exe"), program));
  const std::wstring output = folder.path() + L"\\output.txt";
  ChildProcess child;
  child.set_output_file(output);
  ASSERT_TRUE(child.Start(program, L"info"));
  DWORD exit_code = kNoExitCode;
  ASSERT_TRUE(child.WaitForExit(60000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  const std::string log = ReadTextFile(folder.path() + L"\\debug.log");
  EXPECT_EQ(log.substr(log.find("] ")), "] hello\r\n");
  EXPECT_EQ(ReadTextFile(output), "");
}

TEST(LoggingProcessTest, DebugMessageProgramPrintsTheFatalMessage) {
  // The test programs' folder holds the real "debug_message.exe", which
  // writes the message to its standard error when it has one. Wine passes
  // the failing program's standard handles on to it even though they are
  // not inherited; where they do not arrive, it shows a message box.
  ScopedTempDir folder;
  const std::wstring output = folder.path() + L"\\output.txt";
  ChildProcess child;
  child.set_output_file(output);
  ASSERT_TRUE(
      child.Start(FixturePath(L"logging_child.exe"), L"fatal", folder.path()));
  DWORD exit_code = kNoExitCode;
  ASSERT_TRUE(child.WaitForExit(60000, &exit_code));
  EXPECT_EQ(exit_code, static_cast<DWORD>(EXCEPTION_BREAKPOINT));
  // Once from the failing program, once from "debug_message.exe".
  const std::string text = ReadTextFile(output);
  const std::string line = "Check failed: argc < 0. the end\r\n";
  const size_t first = text.find(line);
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_NE(text.find(line, first + 1), std::string::npos) << text;
}

// The fatal path and error reports in a process of their own, with a
// stand-in for "debug_message.exe" that records what it was given.
class FatalPathTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        test_support::CopyFileTo(FixturePath(L"logging_child.exe"), program_));
    ASSERT_TRUE(
        test_support::CopyFileTo(FixturePath(L"message_recorder.exe"),
                                 folder_.path() + L"\\debug_message.exe"));
  }

  // Runs the child and returns its exit code; its output goes to output_.
  DWORD Run(const std::wstring& mode) {
    ChildProcess child;
    child.set_output_file(output_);
    DWORD exit_code = kNoExitCode;
    if (!child.Start(program_, mode, folder_.path()) ||
        !child.WaitForExit(60000, &exit_code)) {
      return kNoExitCode;
    }
    return exit_code;
  }

  std::string ShownMessage() const {
    return ReadTextFile(folder_.path() + L"\\debug_message.txt");
  }

  ScopedTempDir folder_;
  const std::wstring program_ = folder_.path() + L"\\logging_child.exe";
  const std::wstring output_ = folder_.path() + L"\\output.txt";
};

TEST_F(FatalPathTest, WithAHandlerTheProgramGoesOn) {
  EXPECT_EQ(Run(L"fatal-handled"), 7u);
  EXPECT_EQ(ShownMessage(), "");
}

TEST_F(FatalPathTest, WithoutOneTheMessageIsShownAndTheProcessBreaks) {
  // No crash handler is installed in the child, so the breakpoint ends it
  // with the exception's code.
  EXPECT_EQ(Run(L"fatal"), static_cast<DWORD>(EXCEPTION_BREAKPOINT));
  const std::string shown = ShownMessage();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), '[');
  EXPECT_NE(shown.find(":FATAL:"), std::string::npos) << shown;
  EXPECT_NE(shown.find("logging_child.cc("), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.find(")] ")),
            ")] Check failed: argc < 0. the end");
  // The same text went to standard error as one line.
  EXPECT_NE(ReadTextFile(output_).find(shown + "\r\n"), std::string::npos);
}

TEST_F(FatalPathTest, ErrorReportsAreShownAndTheProgramGoesOn) {
  EXPECT_EQ(Run(L"error-report"), 9u);
  const std::string shown = ShownMessage();
  EXPECT_NE(shown.find(":ERROR_REPORT:"), std::string::npos) << shown;
  EXPECT_NE(shown.find("logging_child.cc("), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.find(")] ")), ")] a report");
}

}  // namespace
}  // namespace base

namespace elsewhere {

// A namespace with an operator<< of its own, which hides every operator<<
// declared outside it from ordinary lookup.
struct Point {
  int x;
};
std::ostream& operator<<(std::ostream& out, const Point& point) {
  return out << "(" << point.x << ")";
}

// Wide strings stream as text from any namespace, not as an address, in
// messages and as operands of two-operand checks.
TEST(LogStreamTest, WideStringsPrintAsUtf8FromEveryNamespace) {
  test_support::ScopedCheckRecorder recorder;
  const std::wstring wide = L"gr\u00fc\u00df";
  CHECK(false) << L"pointer " << wide << " " << Point{7} << " " << std::hex
               << 255;
  CHECK_EQ(wide.c_str(), L"x");
  CHECK_EQ(wide, L"x");
  EXPECT_EQ(
      recorder.messages(),
      (std::vector<std::string>{
          "Check failed: false. pointer gr\xC3\xBC\xC3\x9F (7) ff",
          "Check failed: wide.c_str() == L\"x\" (gr\xC3\xBC\xC3\x9F vs. x)",
          "Check failed: wide == L\"x\" (gr\xC3\xBC\xC3\x9F vs. x)"}));
}

}  // namespace elsewhere
