// Task throughput of the message loop on its default pump, beside Asio's
// io_context and a bare queue written here: posting empty tasks and running
// them on one thread (in batches of 1 and 100 posts per run), and one
// producer thread posting to a consumer thread that runs them (in batches of
// 1000, the last of which tells the producer that all have run). Prints the
// figures as tasks per second and as ratios to the loop at the end. Times
// are real times: under Wine the CPU clock is too coarse.
//
// On a busy machine, compare medians of interleaved repetitions:
//   --benchmark_repetitions=8 --benchmark_enable_random_interleaving=true
//   --benchmark_report_aggregates_only=true
//
// The same source is built twice: with Asio's completion-port backend
// switched off (each post then stays in the process) and with its default
// backend (each post a completion packet).

#include <windows.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/waitable_event.h"
#include "benchmark/benchmark.h"

namespace {

#ifdef BOOST_ASIO_DISABLE_IOCP
constexpr char kAsioName[] = "Asio (no IOCP)";
#else
constexpr char kAsioName[] = "Asio (IOCP)";
#endif

constexpr int kCrossThreadBatch = 1000;

class EmptyTask : public base::Task {
 public:
  void Run() override {}
};

// Signals an event when it runs: the last task of a batch.
class SignalTask : public base::Task {
 public:
  explicit SignalTask(base::WaitableEvent* event) : event_(event) {}
  void Run() override { event_->Signal(); }

 private:
  base::WaitableEvent* const event_;
};

class QuitTask : public base::Task {
 public:
  void Run() override { base::MessageLoop::current()->Quit(); }
};

// The simplest queue between threads: a lock, a deque, and an event that
// the consumer sleeps on. The producer signals the event only when the
// consumer said, under the lock, that it goes to sleep. It carries the same
// tasks as the loop and runs and deletes them the same way.
class BareQueue {
 public:
  BareQueue() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  BareQueue(const BareQueue&) = delete;
  BareQueue& operator=(const BareQueue&) = delete;
  ~BareQueue() { CloseHandle(event_); }

  void Post(base::Task* task) {
    AcquireSRWLockExclusive(&lock_);
    tasks_.push_back(task);
    const bool wake = consumer_sleeps_;
    consumer_sleeps_ = false;
    ReleaseSRWLockExclusive(&lock_);
    if (wake)
      SetEvent(event_);
  }

  // Runs what was posted; false when nothing was.
  bool RunPosted() {
    AcquireSRWLockExclusive(&lock_);
    taken_.swap(tasks_);
    ReleaseSRWLockExclusive(&lock_);
    if (taken_.empty())
      return false;
    for (base::Task* task : taken_) {
      task->Run();
      delete task;
    }
    taken_.clear();
    return true;
  }

  // Sleeps until something is posted.
  void WaitForPosts() {
    AcquireSRWLockExclusive(&lock_);
    const bool empty = tasks_.empty();
    consumer_sleeps_ = empty;
    ReleaseSRWLockExclusive(&lock_);
    if (empty)
      WaitForSingleObject(event_, INFINITE);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::deque<base::Task*> tasks_;  // Guarded by lock_.
  bool consumer_sleeps_ = false;   // Guarded by lock_.
  std::deque<base::Task*> taken_;  // The consumer's.
  const HANDLE event_;
};

// ---------------------------------------------------------------------------
// One thread: post a batch, then run it.

void LoopOneThread(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  base::MessageLoop loop;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i)
      loop.QueueTask(CURRENT_LOCATION, new EmptyTask);
    loop.RunUntilDrained();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}

void AsioOneThread(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  boost::asio::io_context context(1);
  int runs = 0;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i)
      boost::asio::post(context, [&runs] { ++runs; });
    context.restart();
    context.run();
  }
  benchmark::DoNotOptimize(runs);
  state.SetItemsProcessed(state.iterations() * batch);
}

void BareOneThread(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  BareQueue queue;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i)
      queue.Post(new EmptyTask);
    queue.RunPosted();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}

// ---------------------------------------------------------------------------
// One producer, one consumer thread.

// A thread that runs a message loop until it is told to quit.
class LoopThread : public base::PlatformThread::Body {
 public:
  void RunThread() override {
    base::MessageLoop loop;
    loop_ = &loop;
    started_.Signal();
    loop.Run();
  }

  base::MessageLoop* Start() {
    base::PlatformThread::Create(0, this, &thread_);
    started_.Wait();
    return loop_;
  }

  void Stop() {
    loop_->QueueTask(CURRENT_LOCATION, new QuitTask);
    base::PlatformThread::Join(thread_);
  }

 private:
  base::WaitableEvent started_{false, false};
  base::MessageLoop* loop_ = nullptr;  // Set before `started_`.
  base::ThreadHandle thread_ = nullptr;
};

void LoopAcrossThreads(benchmark::State& state) {
  LoopThread consumer;
  base::MessageLoop* const loop = consumer.Start();
  base::WaitableEvent done(false, false);
  for (auto _ : state) {
    for (int i = 1; i < kCrossThreadBatch; ++i)
      loop->QueueTask(CURRENT_LOCATION, new EmptyTask);
    loop->QueueTask(CURRENT_LOCATION, new SignalTask(&done));
    done.Wait();
  }
  consumer.Stop();
  state.SetItemsProcessed(state.iterations() * kCrossThreadBatch);
}

// A thread that runs an io_context until its work guard is dropped.
class AsioThread : public base::PlatformThread::Body {
 public:
  AsioThread() : guard_(context_.get_executor()) {
    base::PlatformThread::Create(0, this, &thread_);
  }
  ~AsioThread() override {
    guard_.reset();
    base::PlatformThread::Join(thread_);
  }

  void RunThread() override { context_.run(); }
  boost::asio::io_context& context() { return context_; }

 private:
  boost::asio::io_context context_{1};
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
      guard_;
  base::ThreadHandle thread_ = nullptr;
};

void AsioAcrossThreads(benchmark::State& state) {
  AsioThread consumer;
  base::WaitableEvent done(false, false);
  int runs = 0;  // The consumer's.
  for (auto _ : state) {
    for (int i = 1; i < kCrossThreadBatch; ++i)
      boost::asio::post(consumer.context(), [&runs] { ++runs; });
    boost::asio::post(consumer.context(), [&done] { done.Signal(); });
    done.Wait();
  }
  state.SetItemsProcessed(state.iterations() * kCrossThreadBatch);
}

// A thread that runs a bare queue until a posted task says stop.
class BareThread : public base::PlatformThread::Body {
 public:
  class StopTask : public base::Task {
   public:
    explicit StopTask(bool* stop) : stop_(stop) {}
    void Run() override { *stop_ = true; }

   private:
    bool* const stop_;
  };

  BareThread() { base::PlatformThread::Create(0, this, &thread_); }
  ~BareThread() override {
    queue_.Post(new StopTask(&stop_));
    base::PlatformThread::Join(thread_);
  }

  void RunThread() override {
    while (!stop_) {
      if (!queue_.RunPosted())
        queue_.WaitForPosts();
    }
  }
  BareQueue& queue() { return queue_; }

 private:
  BareQueue queue_;
  bool stop_ = false;  // The consumer's.
  base::ThreadHandle thread_ = nullptr;
};

void BareAcrossThreads(benchmark::State& state) {
  BareThread consumer;
  base::WaitableEvent done(false, false);
  for (auto _ : state) {
    for (int i = 1; i < kCrossThreadBatch; ++i)
      consumer.queue().Post(new EmptyTask);
    consumer.queue().Post(new SignalTask(&done));
    done.Wait();
  }
  state.SetItemsProcessed(state.iterations() * kCrossThreadBatch);
}

BENCHMARK(LoopOneThread)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(AsioOneThread)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(BareOneThread)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(LoopAcrossThreads)->UseRealTime();
BENCHMARK(AsioAcrossThreads)->UseRealTime();
BENCHMARK(BareAcrossThreads)->UseRealTime();

// Prints as usual and keeps each benchmark's tasks per second.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end())
        rates_[run.benchmark_name()] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of repeated runs when there is one, else the single run's.
  double Rate(const std::string& name) const {
    auto it = rates_.find(name + "_median");
    if (it == rates_.end())
      it = rates_.find(name);
    return it == rates_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> rates_;
};

void PrintLine(const RecordingReporter& reporter,
               const std::string& label,
               const std::string& loop_name,
               const std::string& asio_name,
               const std::string& bare_name) {
  const double loop = reporter.Rate(loop_name);
  const double asio = reporter.Rate(asio_name);
  const double bare = reporter.Rate(bare_name);
  if (loop <= 0 || asio <= 0 || bare <= 0)
    return;
  std::printf(
      "%s: loop %.0f tasks/s; %s %.0f tasks/s (loop/asio %.2f); bare queue "
      "%.0f tasks/s (loop/bare %.2f)\n",
      label.c_str(), loop, kAsioName, asio, loop / asio, bare, loop / bare);
}

}  // namespace

int main(int argc, char** argv) {
  // The clocks and the per-thread loop slot are process-wide objects.
  base::AtExitManager exit_manager;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* batch : {"1", "100"}) {
    const std::string suffix = std::string("/") + batch + "/real_time";
    PrintLine(reporter, std::string("one thread, batches of ") + batch,
              "LoopOneThread" + suffix, "AsioOneThread" + suffix,
              "BareOneThread" + suffix);
  }
  PrintLine(reporter, "one producer, one consumer thread",
            "LoopAcrossThreads/real_time", "AsioAcrossThreads/real_time",
            "BareAcrossThreads/real_time");
  benchmark::Shutdown();
  return 0;
}
