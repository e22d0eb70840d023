#ifndef TEST_SUPPORT_LOG_CAPTURE_H_
#define TEST_SUPPORT_LOG_CAPTURE_H_

#include <string>
#include <vector>

#include "test_support/test_files.h"

namespace test_support {

// Sends the log to a fresh file of its own while the holder exists, so that
// a test can read the warnings that an operation logs; afterwards the log
// goes to "debug.log" beside the test program again. Used from the test's
// main thread.
class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // The messages logged so far, each without its line prefix; a message
  // that holds line ends is one entry.
  std::vector<std::string> Messages() const;

 private:
  ScopedTempDir folder_;
  std::wstring log_path_;
};

}  // namespace test_support

#endif  // TEST_SUPPORT_LOG_CAPTURE_H_
