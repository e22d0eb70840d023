#include "base/histogram.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/pickle.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

using Sample = Histogram::Sample;

enum Layout { kExponential, kLinear };

std::unique_ptr<Histogram> Make(Layout layout,
                                const char* name,
                                Sample minimum,
                                Sample maximum,
                                size_t bucket_count) {
  if (layout == kLinear) {
    return std::make_unique<LinearHistogram>(name, minimum, maximum,
                                             bucket_count);
  }
  return std::make_unique<Histogram>(name, minimum, maximum, bucket_count);
}

std::vector<Sample> Bounds(const Histogram& histogram) {
  std::vector<Sample> bounds;
  for (size_t i = 0; i <= histogram.bucket_count(); ++i)
    bounds.push_back(histogram.ranges(i));
  return bounds;
}

Histogram::SampleCounts Snapshot(const Histogram& histogram) {
  Histogram::SampleCounts snapshot;
  histogram.CopySamples(&snapshot);
  return snapshot;
}

// The bucket whose count went up between two snapshots, or -1.
int BucketThatGrew(const Histogram::SampleCounts& before,
                   const Histogram::SampleCounts& after) {
  for (size_t i = 0; i < after.size(); ++i) {
    if (after.counts(i) != before.counts(i))
      return static_cast<int>(i);
  }
  return -1;
}

// The bucket that holds `value` by the definition of the bounds, found by
// walking them.
int BucketByScan(const std::vector<Sample>& bounds, Sample value) {
  for (size_t i = 0; i + 1 < bounds.size(); ++i) {
    if (bounds[i] <= value && value < bounds[i + 1])
      return static_cast<int>(i);
  }
  return -1;
}

// A set of samples with the given sums and counts, made the way a transfer
// brings them in.
Histogram::SampleCounts CountsOf(int64_t sum,
                                 int64_t square_sum,
                                 const std::vector<int>& counts) {
  Pickle pickle;
  pickle.WriteInt64(sum);
  pickle.WriteInt64(square_sum);
  pickle.WriteSize(counts.size());
  for (int count : counts)
    pickle.WriteInt(count);
  Histogram::SampleCounts samples;
  void* iter = nullptr;
  EXPECT_TRUE(samples.Deserialize(&iter, pickle));
  return samples;
}

constexpr Sample kMaxSample = Histogram::kSampleType_MAX;

TEST(HistogramTest, BucketBoundsOfTheLayouts) {
  struct Case {
    Layout layout;
    Sample minimum;
    Sample maximum;
    size_t buckets;
    std::vector<Sample> bounds;
  };
  const Case kCases[] = {
      {kExponential,
       1,
       100,
       10,
       {0, 1, 2, 3, 5, 9, 16, 29, 54, 100, kMaxSample}},
      {kExponential,
       1,
       1000,
       10,
       {0, 1, 2, 5, 12, 29, 70, 170, 412, 1000, kMaxSample}},
      {kExponential, 1, 10, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, kMaxSample}},
      {kLinear,
       1,
       100,
       10,
       {0, 1, 13, 26, 38, 51, 63, 75, 88, 100, kMaxSample}},
      // Bounds that are one apart everywhere.
      {kLinear, 1, 4, 5, {0, 1, 2, 3, 4, kMaxSample}},
      {kExponential, 1, 4, 5, {0, 1, 2, 3, 4, kMaxSample}},
      // The widest possible range.
      {kExponential, 0, kMaxSample, 3, {0, 1, kMaxSample - 1, kMaxSample}},
      {kLinear,
       -7,
       kMaxSample,
       4,
       {0, 1, 1073741824, kMaxSample - 1, kMaxSample}},
  };
  for (const Case& c : kCases) {
    const auto histogram =
        Make(c.layout, "Bounds", c.minimum, c.maximum, c.buckets);
    EXPECT_EQ(Bounds(*histogram), c.bounds)
        << c.layout << " " << c.minimum << ".." << c.maximum << "/"
        << c.buckets;
  }

  // Bounds given as durations count whole milliseconds.
  const Histogram timed("Timed", TimeDelta::FromMicroseconds(1999),
                        TimeDelta::FromMilliseconds(100), 10);
  EXPECT_EQ(timed.declared_min(), 1);
  EXPECT_EQ(timed.declared_max(), 100);
  const LinearHistogram linear_timed("LinearTimed", TimeDelta(),
                                     TimeDelta::FromMilliseconds(100), 10);
  EXPECT_EQ(
      Bounds(linear_timed),
      (std::vector<Sample>{0, 1, 13, 26, 38, 51, 63, 75, 88, 100, kMaxSample}));
}

// For each shape, every bound and the values either side of it are added
// one at a time, and the bucket that grows must be the one whose bounds
// hold the value.
TEST(HistogramTest, EveryBoundAndItsNeighboursLandInTheirBucket) {
  struct Case {
    Layout layout;
    Sample minimum;
    Sample maximum;
    size_t buckets;
  };
  const Case kCases[] = {
      {kExponential, 1, 100, 10},
      {kLinear, 1, 100, 10},
      {kExponential, 1, 1000, 50},
      {kLinear, 1, 1000, 50},
      {kLinear, 5, 17, 6},
      {kLinear, 1, 1099, 1100},
      {kLinear, 1, 4095, 4096},
      {kExponential, 1, 1000000, 50},
      // (maximum - minimum) * (buckets - 2) passes 32 bits.
      {kLinear, 1, kMaxSample - 1, 1000},
      {kLinear, 3, 2000000000, 7},
      {kExponential, 1, kMaxSample - 1, 50},
  };
  for (const Case& c : kCases) {
    const auto histogram =
        Make(c.layout, "Lookup", c.minimum, c.maximum, c.buckets);
    const std::vector<Sample> bounds = Bounds(*histogram);
    std::vector<Sample> values = {-1, 0};
    for (size_t i = 1; i < histogram->bucket_count(); ++i) {
      for (int64_t v = int64_t{bounds[i]} - 1; v <= int64_t{bounds[i]} + 1; ++v)
        values.push_back(static_cast<Sample>(v));
    }
    for (const Sample value : values) {
      const Histogram::SampleCounts before = Snapshot(*histogram);
      histogram->Add(value);
      const Sample stored = std::clamp(value, 0, kMaxSample - 1);
      EXPECT_EQ(BucketThatGrew(before, Snapshot(*histogram)),
                BucketByScan(bounds, stored))
          << "value " << value << " in " << c.layout << " " << c.minimum << ".."
          << c.maximum << "/" << c.buckets;
    }
  }
}

TEST(HistogramTest, SamplesOfTheWorkedExamplesLandInTheirBucket) {
  struct Case {
    Layout layout;
    int value;
    int bucket;
  };
  const Case kCases[] = {
      {kExponential, 54, 8},      {kExponential, 53, 7}, {kExponential, -5, 0},
      {kExponential, INT_MAX, 9}, {kLinear, 0, 0},       {kLinear, 12, 1},
      {kLinear, 13, 2},           {kLinear, 38, 4},      {kLinear, 50, 4},
      {kLinear, 75, 7},           {kLinear, 99, 8},      {kLinear, 100, 9},
  };
  for (const Case& c : kCases) {
    const auto histogram = Make(c.layout, "Example", 1, 100, 10);
    histogram->Add(c.value);
    const Histogram::SampleCounts snapshot = Snapshot(*histogram);
    EXPECT_EQ(snapshot.counts(c.bucket), 1) << c.layout << " " << c.value;
    EXPECT_EQ(snapshot.TotalCount(), 1);
    const int64_t stored =
        c.value < 0 ? 0 : (c.value == INT_MAX ? INT_MAX - 1 : c.value);
    EXPECT_EQ(snapshot.sum(), stored);
    EXPECT_EQ(snapshot.square_sum(), stored * stored);
  }
}

// Every shape within the limits gets strictly rising bounds with its
// minimum and maximum in place; a transfer may name any of them.
TEST(HistogramTest, EveryShapeHasStrictlyRisingBounds) {
  for (const Layout layout : {kExponential, kLinear}) {
    for (const Sample minimum : {1, 2, 7}) {
      for (Sample maximum = minimum; maximum <= 90; ++maximum) {
        const size_t most = static_cast<size_t>(maximum - minimum + 2);
        // Two buckets only where the minimum is the maximum.
        const bool one_bound = maximum == minimum && layout == kExponential;
        for (size_t buckets = one_bound ? 2 : 3; buckets <= most; ++buckets) {
          const auto histogram =
              Make(layout, "Shape", minimum, maximum, buckets);
          const std::vector<Sample> bounds = Bounds(*histogram);
          ASSERT_EQ(bounds.size(), buckets + 1);
          ASSERT_EQ(bounds[1], minimum);
          ASSERT_EQ(bounds[buckets - 1], maximum);
          for (size_t i = 0; i < buckets; ++i) {
            ASSERT_LT(bounds[i], bounds[i + 1])
                << layout << " " << minimum << ".." << maximum << "/" << buckets
                << " at " << i;
          }
        }
      }
    }
  }
}

TEST(HistogramTest, ShapesOutsideTheLimitsAreReportedAndMadeSound) {
  struct Case {
    Layout layout;
    Sample minimum;
    Sample maximum;
    size_t buckets;
    const char* check;
    // The shape it is given instead.
    Sample sound_minimum;
    Sample sound_maximum;
    size_t sound_buckets;
  };
  const Case kCases[] = {
      {kLinear, 1, 100, 2,
       "Check failed: bucket_count_ >= 3. A linear histogram needs at least 3 "
       "buckets: Refused",
       1, 100, 3},
      {kLinear, 5, 5, 3,
       "Check failed: bucket_count_ <= maximal_bucket_count. ", 5, 6, 3},
      {kLinear, kMaxSample, kMaxSample, 3,
       "Check failed: declared_min_ <= declared_max_. ", kMaxSample - 2,
       kMaxSample - 1, 3},
      {kExponential, 1, 100, 2,
       "Check failed: 2 < bucket_count_ || declared_min_ == declared_max_. Two "
       "buckets hold only one bound: Refused",
       1, 100, 3},
      {kExponential, 1, 100, 1, "Check failed: 1 < bucket_count_. ", 1, 100, 3},
      {kExponential, 1, 100, 0, "Check failed: 1 < bucket_count_. ", 1, 100, 3},
      {kExponential, 8, 8, 0, "Check failed: 1 < bucket_count_. ", 8, 8, 2},
      {kExponential, 50, 10, 5,
       "Check failed: declared_min_ <= declared_max_. ", 50, 50, 2},
      {kExponential, 1, 10, 12,
       "Check failed: bucket_count_ <= maximal_bucket_count. ", 1, 10, 11},
      {kExponential, 1, 10, SIZE_MAX,
       "Check failed: bucket_count_ <= maximal_bucket_count. ", 1, 10, 11},
  };
  for (const Case& c : kCases) {
    test_support::ScopedCheckRecorder recorder;
    const auto histogram =
        Make(c.layout, "Refused", c.minimum, c.maximum, c.buckets);
    const std::vector<std::string> messages = recorder.messages();
    ASSERT_FALSE(messages.empty()) << c.check;
    EXPECT_EQ(messages[0], c.check);
    EXPECT_EQ(histogram->declared_min(), c.sound_minimum) << c.check;
    EXPECT_EQ(histogram->declared_max(), c.sound_maximum) << c.check;
    EXPECT_EQ(histogram->bucket_count(), c.sound_buckets) << c.check;

    // From here on the histogram works like any other.
    const size_t reported = messages.size();
    for (const int value : {-1, 0, 1, 5, 50, 99, 100, INT_MAX})
      histogram->Add(value);
    std::string text;
    histogram->WriteText(true, "\n", &text);
    EXPECT_EQ(Snapshot(*histogram).TotalCount(), 8);
    EXPECT_EQ(recorder.messages().size(), reported) << c.check;
  }
}

// Squares near the largest sample pass the int64 range after three
// samples; the sums stop at the limit and stay there, and the histogram
// still renders.
TEST(HistogramTest, SumsAndCountsStopAtTheirLimits) {
  ThreadSafeHistogram large("Large", 1, 1000, 10);
  for (int i = 0; i < 3; ++i)
    large.Add(INT_MAX - 1);
  EXPECT_EQ(Snapshot(large).square_sum(), INT64_MAX);
  EXPECT_EQ(Snapshot(large).sum(), 3 * int64_t{INT_MAX - 1});
  large.Remove(INT_MAX - 1);
  EXPECT_EQ(Snapshot(large).square_sum(), INT64_MAX) << "stays at the limit";

  Histogram billions("Billions", 1, 1000, 10);
  for (int i = 0; i < 10; ++i)
    billions.Add(1000000000);
  EXPECT_EQ(Snapshot(billions).square_sum(), INT64_MAX);
  EXPECT_EQ(Snapshot(billions).sum(), 10000000000);

  // Merged sets add up to more than either limit.
  Histogram merged("Merged", 1, 100, 3);
  const Histogram::SampleCounts huge =
      CountsOf(INT64_MAX - 1, INT64_MAX - 1, {0, INT_MAX - 1, 1});
  merged.MergeSamples(huge);
  merged.MergeSamples(huge);
  const Histogram::SampleCounts snapshot = Snapshot(merged);
  EXPECT_EQ(snapshot.sum(), INT64_MAX);
  EXPECT_EQ(snapshot.square_sum(), INT64_MAX);
  EXPECT_EQ(snapshot.counts(1), INT_MAX);
  EXPECT_EQ(snapshot.counts(2), 2);
  EXPECT_EQ(snapshot.TotalCount(), INT_MAX);

  for (const Histogram* histogram :
       std::vector<const Histogram*>{&large, &billions, &merged}) {
    std::string text;
    histogram->WriteText(true, "\n", &text);
    EXPECT_NE(text.find("recorded"), std::string::npos);
  }
  std::string text;
  merged.WriteText(false, "\n", &text);
  EXPECT_EQ(text.rfind("Histogram: Merged recorded 2147483649 samples, ", 0),
            0u)
      << text;
}

const char kGoldenHeader[] =
    "Histogram: Golden recorded 4 samples, average = 16.8, standard "
    "deviation = 25.0";

std::unique_ptr<Histogram> GoldenHistogram() {
  auto histogram = std::make_unique<Histogram>("Golden", 1, 100, 10);
  for (const int value : {1, 1, 5, 60})
    histogram->Add(value);
  return histogram;
}

TEST(HistogramTest, TextWithAndWithoutBars) {
  const auto histogram = GoldenHistogram();
  const std::string blanks(72, ' ');
  const std::string dashes(72, '-');

  std::string graph = "kept|";
  histogram->WriteText(true, "\n", &graph);
  EXPECT_EQ(graph, "kept|" + std::string(kGoldenHeader) + "\n" + "  0 O" +
                       blanks + " (0 = 0.0%)\n" + "  1 " + dashes +
                       "O (2 = 50.0%) {0.0%}\n" + "  2 ... \n" + "  5 " +
                       std::string(9, '-') + "O" + std::string(63, ' ') +
                       " (1 = 25.0%) {50.0%}\n" + "  9 ... \n" + " 54 " +
                       std::string(7, '-') + "O" + std::string(65, ' ') +
                       " (1 = 25.0%) {75.0%}\n" + "100 O" + blanks +
                       " (0 = 0.0%) {100.0%}\n");

  std::string plain;
  histogram->WriteText(false, "\r\n", &plain);
  EXPECT_EQ(plain, std::string(kGoldenHeader) + "\r\n" +
                       "  0  (0 = 0.0%)\r\n"
                       "  1  (2 = 50.0%) {0.0%}\r\n"
                       "  2 ... \r\n"
                       "  5  (1 = 25.0%) {50.0%}\r\n"
                       "  9 ... \r\n"
                       " 54  (1 = 25.0%) {75.0%}\r\n"
                       "100  (0 = 0.0%) {100.0%}\r\n");

  std::string html;
  histogram->WriteHtmlPage(&html);
  EXPECT_EQ(html, "<PRE>" + std::string(kGoldenHeader) + "<br>" + "  0 O" +
                      blanks + " (0 = 0.0%)<br>" + "  1 " + dashes +
                      "O (2 = 50.0%) {0.0%}<br>" + "  2 ... <br>" + "  5 " +
                      std::string(9, '-') + "O" + std::string(63, ' ') +
                      " (1 = 25.0%) {50.0%}<br>" + "  9 ... <br>" + " 54 " +
                      std::string(7, '-') + "O" + std::string(65, ' ') +
                      " (1 = 25.0%) {75.0%}<br>" + "100 O" + blanks +
                      " (0 = 0.0%) {100.0%}<br></PRE>");
}

TEST(HistogramTest, FlagsHexBoundsLabelsAndEmptyHistograms) {
  struct Case {
    const char* name;
    Layout layout;
    Sample maximum;
    size_t buckets;
    int flags;
    std::vector<int> samples;
    std::string text;
  };
  const Case kCases[] = {
      {"Empty",
       kExponential,
       100,
       10,
       0,
       {},
       "Histogram: Empty recorded 0 samples\n0 ... \n"},
      // Only the hexadecimal bit: no flag display at all.
      {"Hex",
       kLinear,
       255,
       256,
       Histogram::kHexBoundsFlag,
       {255, 300},
       "Histogram: Hex recorded 2 samples, average = 277.5, standard "
       "deviation = 22.5\n"
       "    0 ... \n"
       " 0xff  (2 = 100.0%) {0.0%}\n"},
      {"ExitCodes.MidNibbles",
       kLinear,
       255,
       256,
       0x8001,
       {3},
       "Histogram: ExitCodes.MidNibbles recorded 1 samples, average = 3.0, "
       "standard deviation = 0.0 (flags = 0x1)\n"
       "   0 ... \n"
       " 0x3  (1 = 100.0%) {0.0%}\n"
       " 0x4 ... \n"},
      {"Marked",
       kExponential,
       100,
       10,
       0x11,
       {0},
       "Histogram: Marked recorded 1 samples, average = 0.0, standard "
       "deviation = 0.0 (flags = 0x11)\n"
       " 0  (1 = 100.0%)\n"
       " 1 ... \n"},
  };
  for (const Case& c : kCases) {
    const auto histogram = Make(c.layout, c.name, 1, c.maximum, c.buckets);
    histogram->SetFlags(c.flags);
    EXPECT_EQ(histogram->flags(), c.flags);
    for (const int value : c.samples)
      histogram->Add(value);
    std::string text;
    histogram->WriteText(false, "\n", &text);
    EXPECT_EQ(text, c.text) << c.name;
  }
}

TEST(HistogramTest, LabelsReplaceBoundsAndHideTheirEmptyBuckets) {
  LinearHistogram events("MsgLoop:Labels", 1, 1099, 1100);
  const LinearHistogram::BucketLabel kLabels[] = {
      {1, "replaced"}, {1, "Task <Run>"}, {2, "Timer"}, {-1, nullptr}};
  events.SetBucketLabels(kLabels);
  events.SetFlags(Histogram::kHexBoundsFlag);

  std::string empty;
  events.WriteText(false, "\n", &empty);
  EXPECT_EQ(empty,
            "Histogram: MsgLoop:Labels recorded 0 samples\n"
            "0 ... \n");

  events.Add(1);
  events.Add(1);
  std::string text;
  events.WriteText(false, "\n", &text);
  EXPECT_EQ(text,
            "Histogram: MsgLoop:Labels recorded 2 samples, average = 1.0, "
            "standard deviation = 0.0\n"
            "          0  (0 = 0.0%)\n"
            " Task <Run>  (2 = 100.0%) {0.0%}\n"
            "        0x3 ... \n");

  // The page escapes the label and keeps the columns of the text.
  std::string html;
  events.WriteHtmlPage(&html);
  EXPECT_NE(html.find("<br> Task &lt;Run&gt; -"), std::string::npos) << html;
  EXPECT_NE(html.find("<br>          0 O"), std::string::npos) << html;
}

TEST(HistogramTest, RemoveTakesBackWhatAddRecorded) {
  ThreadSafeHistogram histogram("Removed", 1, 100, 10);
  histogram.Add(7);
  const Histogram::SampleCounts before = Snapshot(histogram);
  for (const int value : {-5, 0, 54, 100, INT_MAX}) {
    histogram.Add(value);
    histogram.Remove(value);
    const Histogram::SampleCounts after = Snapshot(histogram);
    EXPECT_EQ(after.sum(), before.sum()) << value;
    EXPECT_EQ(after.square_sum(), before.square_sum()) << value;
    for (size_t i = 0; i < after.size(); ++i)
      EXPECT_EQ(after.counts(i), before.counts(i)) << value << " bucket " << i;
  }
}

// Eight threads add to one histogram at once; nothing is lost. Each round's
// histogram exists before the registry does, so the first samples of all
// threads race to register it.
TEST(HistogramTest, ThreadSafeHistogramLosesNoSamples) {
  constexpr int kRounds = 8;
  constexpr int kThreads = 8;
  constexpr int kSamplesPerThread = 500;
  int64_t sum = 0;
  int64_t square_sum = 0;
  for (int t = 0; t < kThreads; ++t) {
    for (int64_t i = 0; i < kSamplesPerThread; ++i) {
      sum += t * 1000 + i;
      square_sum += (t * 1000 + i) * (t * 1000 + i);
    }
  }

  for (int round = 0; round < kRounds; ++round) {
    ThreadSafeHistogram histogram("Shared", 1, 1000000, 50);
    HistogramRegistry registry;
    // All threads start their first samples at the same moment.
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&histogram, &ready, t] {
        ready.fetch_add(1);
        while (ready.load() < kThreads)
          std::this_thread::yield();
        for (int i = 0; i < kSamplesPerThread; ++i)
          histogram.Add(t * 1000 + i);
      });
    }
    for (std::thread& thread : threads)
      thread.join();

    const Histogram::SampleCounts snapshot = Snapshot(histogram);
    EXPECT_EQ(snapshot.TotalCount(), kThreads * kSamplesPerThread);
    EXPECT_EQ(snapshot.sum(), sum);
    EXPECT_EQ(snapshot.square_sum(), square_sum);
    EXPECT_EQ(HistogramRegistry::FindHistogram("Shared"), &histogram);
  }
}

}  // namespace
}  // namespace base
