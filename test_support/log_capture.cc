#include "test_support/log_capture.h"

#include "base/logging.h"

namespace test_support {

ScopedLogCapture::ScopedLogCapture()
    : folder_(L"log"), log_path_(folder_.path() + L"\\captured.log") {
  base::ConfigureLogging(log_path_.c_str(), base::LOG_TO_FILE,
                         base::LOG_LOCK_IN_PROCESS, base::ERASE_EXISTING_LOG);
}

ScopedLogCapture::~ScopedLogCapture() {
  const std::wstring default_log = TestProgramFolder() + L"debug.log";
  base::ConfigureLogging(default_log.c_str(), base::LOG_TO_FILE,
                         base::LOG_LOCK_SYSTEM_MUTEX, base::KEEP_EXISTING_LOG);
}

std::vector<std::string> ScopedLogCapture::Messages() const {
  base::ReleaseLogFile();
  const std::string text = ReadTextFile(log_path_);
  std::vector<std::string> messages;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    const std::string line = text.substr(start, end - start);
    // A line without a prefix continues the message before it.
    if (line.empty() || line[0] != '[') {
      if (!messages.empty())
        messages.back() += "\r\n" + line;
      continue;
    }
    const size_t prefix_end = line.find("] ");
    messages.push_back(
        prefix_end == std::string::npos ? line : line.substr(prefix_end + 2));
  }
  return messages;
}

}  // namespace test_support
