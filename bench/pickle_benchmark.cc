// How much a pickle costs over copying the same bytes by hand: writing and
// reading back 1000 ints, and 100 strings of 64 bytes, beside a memcpy of
// the bytes the pickle holds, each way. Prints the ratio of each pair at
// the end. Times are real times: under Wine the CPU clock is too coarse.

#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "base/pickle.h"
#include "benchmark/benchmark.h"

namespace {

constexpr int kInts = 1000;
constexpr int kStrings = 100;
const std::string kString(64, 'k');

void PickleInts(benchmark::State& state) {
  for (auto _ : state) {
    base::Pickle pickle;
    for (int i = 0; i < kInts; ++i)
      pickle.WriteInt(i);
    void* iter = nullptr;
    int sum = 0;
    for (int i = 0, value = 0; i < kInts && pickle.ReadInt(&iter, &value); ++i)
      sum += value;
    benchmark::DoNotOptimize(sum);
  }
}

void MemcpyInts(benchmark::State& state) {
  std::vector<int> values(kInts);
  for (int i = 0; i < kInts; ++i)
    values[i] = i;
  for (auto _ : state) {
    std::vector<char> bytes(kInts * sizeof(int));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    std::vector<int> read(kInts);
    std::memcpy(read.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(read.data());
  }
}

void PickleStrings(benchmark::State& state) {
  for (auto _ : state) {
    base::Pickle pickle;
    for (int i = 0; i < kStrings; ++i)
      pickle.WriteString(kString);
    void* iter = nullptr;
    std::string value;
    size_t total = 0;
    for (int i = 0; i < kStrings && pickle.ReadString(&iter, &value); ++i)
      total += value.size();
    benchmark::DoNotOptimize(total);
  }
}

// The same bytes as the pickle's: a length and the text for each string.
void MemcpyStrings(benchmark::State& state) {
  constexpr size_t kItem = sizeof(int) + 64;
  for (auto _ : state) {
    std::vector<char> bytes(kStrings * kItem);
    const int length = static_cast<int>(kString.size());
    for (int i = 0; i < kStrings; ++i) {
      std::memcpy(&bytes[i * kItem], &length, sizeof(length));
      std::memcpy(&bytes[i * kItem + sizeof(length)], kString.data(), 64);
    }
    std::string value;
    size_t total = 0;
    for (int i = 0; i < kStrings; ++i) {
      int read_length = 0;
      std::memcpy(&read_length, &bytes[i * kItem], sizeof(read_length));
      value.assign(&bytes[i * kItem + sizeof(read_length)], read_length);
      total += value.size();
    }
    benchmark::DoNotOptimize(total);
  }
}

BENCHMARK(PickleInts)->UseRealTime();
BENCHMARK(MemcpyInts)->UseRealTime();
BENCHMARK(PickleStrings)->UseRealTime();
BENCHMARK(MemcpyStrings)->UseRealTime();

// Prints as usual and keeps each benchmark's real time per iteration.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const std::string& label,
                  const std::string& pickle,
                  const std::string& memcpy) const {
    const auto p = times_.find(pickle);
    const auto m = times_.find(memcpy);
    if (p == times_.end() || m == times_.end() || m->second <= 0)
      return;
    std::cout << "pickle / memcpy, " << label << ": " << p->second / m->second
              << "\n";
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
  reporter.PrintRatio("1000 ints", "PickleInts/real_time",
                      "MemcpyInts/real_time");
  reporter.PrintRatio("100 strings of 64 bytes", "PickleStrings/real_time",
                      "MemcpyStrings/real_time");
  benchmark::Shutdown();
  return 0;
}
