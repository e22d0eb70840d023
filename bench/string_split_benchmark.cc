// How long wildcard matching takes on the patterns that make a
// backtracking matcher exponential: "*a" repeated k times, then "*b", over
// a text of n "a"s, which never matches. The time grows with n × k, the
// size of the pattern times the text, and stays finite for every k. Times
// are real times: under Wine the CPU clock is too coarse.

#include <string>

#include "base/string_split.h"
#include "benchmark/benchmark.h"

namespace {

void NestedStars(benchmark::State& state) {
  const size_t text_length = static_cast<size_t>(state.range(0));
  const int stars = static_cast<int>(state.range(1));
  std::string pattern;
  for (int i = 0; i < stars; ++i)
    pattern += "*a";
  pattern += "*b";
  const std::string text(text_length, 'a');
  for (auto _ : state)
    benchmark::DoNotOptimize(base::MatchWildcard(text, pattern));
  state.SetComplexityN(static_cast<int64_t>(text_length * pattern.size()));
  state.counters["text"] = static_cast<double>(text_length);
  state.counters["pattern"] = static_cast<double>(pattern.size());
}

BENCHMARK(NestedStars)
    ->ArgsProduct({{64, 1024, 16384}, {4, 32, 256}})
    ->UseRealTime()
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
