#include "base/process_exit_codes.h"

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/histogram.h"
#include "gtest/gtest.h"
#include "test_support/log_capture.h"
#include "test_support/test_files.h"

namespace base {
namespace {

// A child that ended with `code`, still held open.
OwnedHandle EndedChild(DWORD code) {
  ProcessHandle process = nullptr;
  const std::wstring command =
      L"\"" + test_support::FixturePath(L"exit_code_child.exe") + L"\" " +
      std::to_wstring(code);
  EXPECT_TRUE(StartProcess(command, true, true, &process));
  return OwnedHandle(process);
}

// The count of samples `value` in the registered histogram `name`.
int CountOf(const char* name, int value) {
  Histogram* histogram = HistogramRegistry::FindHistogram(name);
  if (!histogram)
    return 0;
  Histogram::SampleCounts samples;
  histogram->CopySamples(&samples);
  for (size_t i = 0; i + 1 < histogram->bucket_count() + 1; ++i) {
    if (histogram->ranges(i) <= value && value < histogram->ranges(i + 1))
      return samples.counts(i);
  }
  return 0;
}

class ExitCodesTest : public testing::Test {
 protected:
  AtExitManager exit_manager_;  // Destroys the histograms.
  HistogramRegistry registry_;
};

TEST_F(ExitCodesTest, CrashesAreCountedByTheirNibbles) {
  struct Case {
    DWORD code;
    int least, most, middle;
  };
  const Case kCases[] = {
      {0xC0000005, 5, 0xC00, 0},
      {0xC00000FD, 0xFD, 0xC00, 0},
      {0x80000003, 3, 0x800, 0},
      {0x12345678, 0x678, 0x123, 0x45},
      {3, 3, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.code);
    const int least = CountOf("ExitCodes.LSNibbles", c.least);
    const int most = CountOf("ExitCodes.MSNibbles", c.most);
    const int middle = CountOf("ExitCodes.MidNibbles", c.middle);
    const OwnedHandle child = EndedChild(c.code);
    EXPECT_TRUE(ProcessEndedAbnormally(child.get()));
    EXPECT_EQ(CountOf("ExitCodes.LSNibbles", c.least), least + 1);
    EXPECT_EQ(CountOf("ExitCodes.MSNibbles", c.most), most + 1);
    EXPECT_EQ(CountOf("ExitCodes.MidNibbles", c.middle), middle + 1);
  }
  Histogram* histogram = HistogramRegistry::FindHistogram("ExitCodes.");
  ASSERT_TRUE(histogram);
  EXPECT_EQ(histogram->flags(), 0x8001);
}

TEST_F(ExitCodesTest, OrdinaryEndsAreNotCrashes) {
  for (const DWORD code : {0u, 1u, 2u, 0xC000013Au, 0xC0000354u, 0x40010004u}) {
    const OwnedHandle child = EndedChild(code);
    EXPECT_FALSE(ProcessEndedAbnormally(child.get())) << code;
  }
  HistogramRegistry::Histograms none;
  HistogramRegistry::AllHistograms(&none);
  EXPECT_TRUE(none.empty());
}

TEST_F(ExitCodesTest, ExitCode259IsNotACrashAndSaysSo) {
  const test_support::ScopedLogCapture log;
  const OwnedHandle child = EndedChild(STILL_ACTIVE);
  EXPECT_FALSE(ProcessEndedAbnormally(child.get()));
  EXPECT_EQ(log.Messages(),
            std::vector<std::string>{
                "A process is still running, or ended with the exit code "
                "that means running (259)"});
}

}  // namespace
}  // namespace base
