#ifndef TEST_SUPPORT_CHECK_RECORDER_H_
#define TEST_SUPPORT_CHECK_RECORDER_H_

#include <string>
#include <vector>

namespace test_support {

// Observes failed checks without ending the process: while a recorder
// exists, every fatal message is recorded instead of taking the fatal path.
// Outside a recorder the test runner turns a fatal message into a test
// failure. Make recorders on the test's main thread, one at a time; checks
// may fail on any thread.
class ScopedCheckRecorder {
 public:
  ScopedCheckRecorder();
  ScopedCheckRecorder(const ScopedCheckRecorder&) = delete;
  ScopedCheckRecorder& operator=(const ScopedCheckRecorder&) = delete;
  ~ScopedCheckRecorder();

  // The messages so far, each without its line prefix.
  std::vector<std::string> messages() const;
};

// Installs the runner's default: a fatal message fails the current test.
void InstallFailingFatalHandler();

}  // namespace test_support

#endif  // TEST_SUPPORT_CHECK_RECORDER_H_
