// How much recording a sample costs beyond finding its bucket: Histogram::Add
// on 50 exponential buckets beside a bare std::upper_bound over the same
// bounds plus an increment, each fed the same samples spread over all
// buckets. Linear and thread-safe histograms are shown for comparison.
// Prints the ratio Add / bare search for each set of samples at the end. Times
// are real times: under Wine the CPU clock is too coarse.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/histogram.h"
#include "benchmark/benchmark.h"

namespace {

// Samples spread evenly over the logarithm of 1 ... 2 000 000, so that
// every bucket of the exponential layout gets its share. 4096 of them,
// repeated, are a sequence that the processor's branch predictor learns,
// as it learns the few usual values of most live histograms; of 65536 it
// cannot, and every search mispredicts about half its steps.
const std::vector<int>& Samples(size_t count) {
  static std::map<size_t, std::vector<int>> samples;
  std::vector<int>& values = samples[count];
  if (values.empty()) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(0.0, 14.5);
    for (size_t i = 0; i < count; ++i)
      values.push_back(static_cast<int>(std::exp(exponent(random))));
  }
  return values;
}

template <typename HistogramType>
void AddSamples(benchmark::State& state, HistogramType& histogram) {
  const std::vector<int>& samples = Samples(state.range(0));
  for (auto _ : state) {
    for (const int value : samples)
      histogram.Add(value);
  }
  state.SetItemsProcessed(state.iterations() * samples.size());
}

// The histograms are registered, as in a process that records: Add then
// skips registration.
void HistogramAdd(benchmark::State& state) {
  base::HistogramRegistry registry;
  base::Histogram histogram("Bench.Exponential", 1, 1000000, 50);
  AddSamples(state, histogram);
}

void LinearHistogramAdd(benchmark::State& state) {
  base::HistogramRegistry registry;
  base::LinearHistogram histogram("Bench.Linear", 1, 1000000, 50);
  AddSamples(state, histogram);
}

void ThreadSafeHistogramAdd(benchmark::State& state) {
  base::HistogramRegistry registry;
  base::ThreadSafeHistogram histogram("Bench.ThreadSafe", 1, 1000000, 50);
  AddSamples(state, histogram);
}

void BareSearch(benchmark::State& state) {
  const base::Histogram layout("Bench.Layout", 1, 1000000, 50);
  std::vector<int> bounds;
  for (size_t i = 0; i <= layout.bucket_count(); ++i)
    bounds.push_back(layout.ranges(i));
  std::vector<int> counts(layout.bucket_count());
  const std::vector<int>& samples = Samples(state.range(0));
  for (auto _ : state) {
    for (const int value : samples) {
      const auto above =
          std::upper_bound(bounds.begin() + 1, bounds.end(), value);
      ++counts[above - bounds.begin() - 1];
    }
    benchmark::DoNotOptimize(counts.data());
  }
  state.SetItemsProcessed(state.iterations() * samples.size());
}

BENCHMARK(HistogramAdd)->Arg(4096)->Arg(65536)->UseRealTime();
BENCHMARK(BareSearch)->Arg(4096)->Arg(65536)->UseRealTime();
BENCHMARK(LinearHistogramAdd)->Arg(4096)->UseRealTime();
BENCHMARK(ThreadSafeHistogramAdd)->Arg(4096)->UseRealTime();

// Prints as usual and keeps each benchmark's real time per iteration.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const std::string& label,
                  const std::string& measured,
                  const std::string& base) const {
    const auto m = times_.find(measured);
    const auto b = times_.find(base);
    if (m == times_.end() || b == times_.end() || b->second <= 0)
      return;
    std::cout << label << ": " << m->second / b->second << "\n";
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* count : {"4096", "65536"}) {
    reporter.PrintRatio(
        std::string("Histogram::Add / bare search, ") + count + " samples",
        std::string("HistogramAdd/") + count + "/real_time",
        std::string("BareSearch/") + count + "/real_time");
  }
  benchmark::Shutdown();
  return 0;
}
