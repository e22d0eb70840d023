#include "base/io_completion_pump_win.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/message_loop_win.h"
#include "base/platform_thread.h"
#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_files.h"
#include "test_support/test_tasks.h"

namespace base {
namespace {

using test_support::NewTask;

class IOCompletionPumpTest : public testing::Test {
 protected:
  // Clocks and the per-thread loop slot are process-wide objects.
  AtExitManager exit_manager_;
};

// Reads into its buffer and notes each completion it receives.
class Reader : public IOCompletionHandler {
 public:
  struct Completion {
    DWORD bytes;
    DWORD error;
    std::string data;
  };

  Reader() {
    std::memset(&request_.overlapped, 0, sizeof(request_.overlapped));
    request_.handler = this;
  }

  // Starts a read of `file` at offset 0; false when it failed at once.
  bool StartRead(HANDLE file) {
    if (ReadFile(file, buffer_, sizeof(buffer_), nullptr,
                 &request_.overlapped)) {
      return true;  // Done already; the completion is still queued.
    }
    return GetLastError() == ERROR_IO_PENDING;
  }

  void HandleIOCompletion(IORequest* context,
                          DWORD bytes_transfered,
                          DWORD error) override {
    EXPECT_EQ(context, &request_);
    completions.push_back(
        {bytes_transfered, error, std::string(buffer_, bytes_transfered)});
    if (quit_loop_when_done)
      MessageLoop::current()->Quit();
  }

  std::vector<Completion> completions;
  bool quit_loop_when_done = false;

 private:
  IORequest request_;
  char buffer_[64];
};

// Both ends of a named pipe; the server end is opened for overlapped I/O.
struct Pipe {
  Pipe() {
    static int serial = 0;
    const std::wstring name = L"\\\\.\\pipe\\kelvo_io_pump_" +
                              std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++serial);
    server.Set(CreateNamedPipeW(name.c_str(),
                                PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                1, 4096, 4096, 0, nullptr));
    client.Set(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  }

  bool Write(const char* text) {
    DWORD written = 0;
    return WriteFile(client.get(), text, static_cast<DWORD>(std::strlen(text)),
                     &written, nullptr) &&
           written == std::strlen(text);
  }

  OwnedHandle server;
  OwnedHandle client;
};

TEST_F(IOCompletionPumpTest, ReadsCompleteThroughTheirHandlers) {
  enum Source { kPipeWrite, kPipeClosed, kFile };
  struct Case {
    const char* name;
    Source source;
    DWORD error;
    std::string data;
  };
  const Case kCases[] = {
      {"pipe", kPipeWrite, 0, "ping"},
      // A failed read is delivered with the system's error and no bytes.
      {"pipe closed by its client", kPipeClosed, ERROR_BROKEN_PIPE, ""},
      {"file", kFile, 0, "file contents"},
  };
  for (const Case& c : kCases) {
    MessageLoopForIO loop;
    Reader reader;
    reader.quit_loop_when_done = true;
    Pipe pipe;
    test_support::ScopedTempDir folder;
    OwnedHandle file;
    HANDLE target = pipe.server.get();
    if (c.source == kFile) {
      const std::wstring path = folder.path() + L"\\data.txt";
      ASSERT_TRUE(test_support::WriteTextFile(path, c.data));
      file.Set(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
      target = file.get();
    }
    ASSERT_TRUE(target && target != INVALID_HANDLE_VALUE) << c.name;

    loop.AttachIOHandler(target, &reader);
    ASSERT_TRUE(reader.StartRead(target)) << c.name;
    // The loop's tasks run around the completion.
    bool task_ran = false;
    loop.QueueTask(CURRENT_LOCATION, NewTask([&] {
                     task_ran = true;
                     if (c.source == kPipeWrite) {
                       EXPECT_TRUE(pipe.Write(c.data.c_str()));
                     }
                     if (c.source == kPipeClosed)
                       pipe.client.Close();
                   }));
    loop.Run();

    EXPECT_TRUE(task_ran) << c.name;
    ASSERT_EQ(reader.completions.size(), 1U) << c.name;
    EXPECT_EQ(reader.completions[0].error, c.error) << c.name;
    EXPECT_EQ(reader.completions[0].bytes, c.data.size()) << c.name;
    EXPECT_EQ(reader.completions[0].data, c.data) << c.name;
  }
}

TEST_F(IOCompletionPumpTest, FilteredWaitKeepsOtherHandlersCompletions) {
  MessageLoopForIO loop;
  Pipe first_pipe;
  Pipe second_pipe;
  Reader first;
  Reader second;
  loop.AttachIOHandler(first_pipe.server.get(), &first);
  loop.AttachIOHandler(second_pipe.server.get(), &second);
  ASSERT_TRUE(first.StartRead(first_pipe.server.get()));
  ASSERT_TRUE(second.StartRead(second_pipe.server.get()));

  // Waiting for the second reader takes the first one's completion and
  // keeps it.
  ASSERT_TRUE(first_pipe.Write("one"));
  EXPECT_TRUE(loop.AwaitIOCompletion(INFINITE, &second));
  EXPECT_TRUE(first.completions.empty());
  EXPECT_TRUE(second.completions.empty());

  // The second one's own completion is delivered; the kept one stays kept.
  ASSERT_TRUE(second_pipe.Write("two"));
  EXPECT_TRUE(loop.AwaitIOCompletion(INFINITE, &second));
  ASSERT_EQ(second.completions.size(), 1U);
  EXPECT_EQ(second.completions[0].data, "two");
  EXPECT_TRUE(first.completions.empty());

  // An unfiltered wait delivers the kept completion without asking the
  // port, which is empty now.
  EXPECT_TRUE(loop.AwaitIOCompletion(0, nullptr));
  ASSERT_EQ(first.completions.size(), 1U);
  EXPECT_EQ(first.completions[0].data, "one");
  EXPECT_FALSE(loop.AwaitIOCompletion(0, nullptr));
}

TEST_F(IOCompletionPumpTest, PacketsForNoLiveHandlerAreDisposedOf) {
  struct Case {
    const char* name;
    bool with_overlapped;
  };
  const Case kCases[] = {
      // Queued by someone else: nothing of ours to look at.
      {"no OVERLAPPED", false},
      // Abandoned by its handler: the request is deleted, not delivered.
      {"abandoned request", true},
  };
  for (const Case& c : kCases) {
    shared_ref<MessagePumpForIO> pump(new MessagePumpForIO);
    Reader reader;
    IORequest* abandoned = nullptr;
    if (c.with_overlapped) {
      abandoned = new IORequest();
      abandoned->handler = nullptr;
    }
    ASSERT_TRUE(PostQueuedCompletionStatus(
        pump->completion_port(), 3, reinterpret_cast<ULONG_PTR>(&reader),
        abandoned ? &abandoned->overlapped : nullptr))
        << c.name;

    EXPECT_TRUE(pump->AwaitIOCompletion(0, nullptr)) << c.name;
    EXPECT_TRUE(reader.completions.empty()) << c.name;
    EXPECT_FALSE(pump->AwaitIOCompletion(0, nullptr)) << c.name;
  }
}

// Asks the pump for wake-ups.
class WakeupRequester : public PlatformThread::Body {
 public:
  WakeupRequester(MessagePump* pump, int count) : pump_(pump), count_(count) {}
  void RunThread() override {
    for (int i = 0; i < count_; ++i)
      pump_->RequestWakeup();
  }

 private:
  MessagePump* const pump_;
  const int count_;
};

// Takes every packet off `port` without waiting; the first is kept in the
// arguments.
int TakePackets(HANDLE port, ULONG_PTR* key, OVERLAPPED** overlapped) {
  int count = 0;
  DWORD bytes = 0;
  ULONG_PTR this_key = 0;
  OVERLAPPED* this_overlapped = nullptr;
  while (
      GetQueuedCompletionStatus(port, &bytes, &this_key, &this_overlapped, 0)) {
    if (count++ == 0) {
      *key = this_key;
      *overlapped = this_overlapped;
    }
  }
  return count;
}

TEST_F(IOCompletionPumpTest, ManyWakeupsPutOnePacketInThePort) {
  shared_ref<MessagePumpForIO> pump(new MessagePumpForIO);
  const HANDLE port = pump->completion_port();
  for (int round = 0; round < 2; ++round) {
    std::vector<WakeupRequester> requesters(4,
                                            WakeupRequester(pump.get(), 250));
    std::vector<ThreadHandle> threads;
    for (WakeupRequester& requester : requesters) {
      ThreadHandle thread = nullptr;
      ASSERT_TRUE(PlatformThread::Create(0, &requester, &thread));
      threads.push_back(thread);
    }
    for (ThreadHandle thread : threads)
      PlatformThread::Join(thread);

    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    ASSERT_EQ(TakePackets(port, &key, &overlapped), 1) << "round " << round;
    EXPECT_EQ(key, reinterpret_cast<ULONG_PTR>(pump.get()));
    EXPECT_EQ(static_cast<void*>(overlapped), static_cast<void*>(pump.get()));

    // Put back, the packet is the pump's own: taken, not delivered, and the
    // next round's requests post a new one.
    ASSERT_TRUE(PostQueuedCompletionStatus(port, 0, key, overlapped));
    EXPECT_TRUE(pump->AwaitIOCompletion(0, nullptr));
    EXPECT_FALSE(pump->wakeup_pending());
    EXPECT_FALSE(pump->AwaitIOCompletion(0, nullptr));
  }
}

TEST_F(IOCompletionPumpTest, WaitingInANestedRunIsAFailedCheck) {
  MessageLoopForIO loop;
  test_support::ScopedCheckRecorder recorder;
  loop.QueueTask(CURRENT_LOCATION, NewTask([&loop] {
                   loop.SetNestableTasksAllowed(true);
                   // The nested run waits for this, and so fails the check.
                   loop.QueueDelayedTask(CURRENT_LOCATION,
                                         NewTask([&loop] { loop.Quit(); }), 5);
                   loop.Run();
                 }));
  loop.RunUntilDrained();
  const std::vector<std::string> messages = recorder.messages();
  ASSERT_FALSE(messages.empty());
  for (const std::string& message : messages) {
    EXPECT_EQ(message,
              "Check failed: state_->run_depth == 1. Cannot nest an IO "
              "message loop!");
  }
}

}  // namespace
}  // namespace base
