#include "test_support/check_recorder.h"

#include <mutex>

#include "base/logging.h"
#include "gtest/gtest.h"

namespace test_support {
namespace {

std::mutex g_mutex;
bool g_recording = false;             // Guarded by g_mutex.
std::vector<std::string> g_messages;  // Guarded by g_mutex.

// The message without the "[...] " prefix of its line.
std::string WithoutPrefix(const std::string& message) {
  const size_t end = message.find("] ");
  return end == std::string::npos ? message : message.substr(end + 2);
}

void RecordFatal(const std::string& message) {
  std::lock_guard<std::mutex> hold(g_mutex);
  if (g_recording)
    g_messages.push_back(WithoutPrefix(message));
}

void FailOnFatal(const std::string& message) {
  ADD_FAILURE() << "fatal message: " << message;
}

}  // namespace

ScopedCheckRecorder::ScopedCheckRecorder() {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_recording = true;
  g_messages.clear();
  base::SetFatalHandler(&RecordFatal);
}

ScopedCheckRecorder::~ScopedCheckRecorder() {
  InstallFailingFatalHandler();
  std::lock_guard<std::mutex> hold(g_mutex);
  g_recording = false;
  g_messages.clear();
}

std::vector<std::string> ScopedCheckRecorder::messages() const {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_messages;
}

void InstallFailingFatalHandler() {
  base::SetFatalHandler(&FailOnFatal);
}

}  // namespace test_support
