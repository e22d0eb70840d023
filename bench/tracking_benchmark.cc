// What task tracking costs: counting a birth and a death at a place the
// thread has seen before (a look-up and an increment, no lock), a task made,
// posted in place and destroyed with tracking off and on, and the "About
// Objects" page over 200 places on two threads. Times are real times: under
// Wine the CPU clock is too coarse.

#include <string>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/task.h"
#include "base/time.h"
#include "base/tracked_objects.h"
#include "benchmark/benchmark.h"

namespace {

using tracked_objects::Births;
using tracked_objects::Location;
using tracked_objects::ThreadData;

const Location kPlace("Bench::Run", "bench/tracking_benchmark.cc", 1);

class NoopTask : public base::Task {
 public:
  void Run() override {}
};

// Tracking started for the length of one benchmark.
class ScopedTracking {
 public:
  ScopedTracking() { ThreadData::SetTrackingEnabled(true); }
  ~ScopedTracking() { ThreadData::ResetTrackingData(); }
};

void BirthAtASeenPlace(benchmark::State& state) {
  ScopedTracking tracking;
  ThreadData* const record = ThreadData::current();
  record->BirthRecordFor(kPlace);
  for (auto _ : state) {
    Births* const births = record->BirthRecordFor(kPlace);
    births->CountBirth();
    benchmark::DoNotOptimize(births);
  }
}

void DeathOfASeenCounter(benchmark::State& state) {
  ScopedTracking tracking;
  ThreadData* const record = ThreadData::current();
  const Births* const births = record->BirthRecordFor(kPlace);
  const base::TimeDelta lifetime = base::TimeDelta::FromMicroseconds(1500);
  for (auto _ : state)
    record->CountDeath(*births, lifetime);
}

void TaskLife(benchmark::State& state) {
  const bool tracked = state.range(0) != 0;
  if (tracked)
    ThreadData::SetTrackingEnabled(true);
  for (auto _ : state) {
    NoopTask task;
    task.RecordBirthPlace(kPlace);
    task.Run();
  }
  if (tracked)
    ThreadData::ResetTrackingData();
}

void AboutObjectsPage(benchmark::State& state) {
  ScopedTracking tracking;
  // 200 places of one file: one counter each, born here, dying on another
  // thread.
  std::vector<Location> places;
  for (int line = 1; line <= 200; ++line)
    places.emplace_back("Bench::Place", "bench/places.cc", line);
  std::vector<Births*> births;
  for (const Location& place : places) {
    births.push_back(ThreadData::current()->BirthRecordFor(place));
    for (int i = 0; i < 3; ++i)
      births.back()->CountBirth();
  }
  std::thread([&] {
    for (const Births* counter : births) {
      ThreadData::current()->CountDeath(*counter,
                                        base::TimeDelta::FromMilliseconds(2));
    }
  }).join();
  size_t size = 0;
  for (auto _ : state) {
    std::string page;
    ThreadData::WriteHtmlReport("file=places/count", &page);
    size = page.size();
    benchmark::DoNotOptimize(page);
  }
  state.counters["page_bytes"] = static_cast<double>(size);
}

BENCHMARK(BirthAtASeenPlace)->UseRealTime();
BENCHMARK(DeathOfASeenCounter)->UseRealTime();
BENCHMARK(TaskLife)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(AboutObjectsPage)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // The clock behind birth times and the loop slot are process-wide
  // objects.
  base::AtExitManager exit_manager;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
