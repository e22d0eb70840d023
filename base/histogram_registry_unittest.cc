#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/histogram.h"
#include "base/logging.h"
#include "base/pickle.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/log_capture.h"
#include "test_support/test_files.h"

namespace base {
namespace {

Histogram::SampleCounts Snapshot(const Histogram& histogram) {
  Histogram::SampleCounts snapshot;
  histogram.CopySamples(&snapshot);
  return snapshot;
}

std::string PackOf(const Histogram& histogram) {
  return Histogram::PackHistogram(histogram, Snapshot(histogram));
}

std::vector<std::string> RegisteredNames() {
  HistogramRegistry::Histograms all;
  HistogramRegistry::AllHistograms(&all);
  std::vector<std::string> names;
  for (const Histogram* histogram : all)
    names.push_back(histogram->histogram_name());
  return names;
}

// Everything the registry lists: names, shapes, flags and samples.
std::string RegistryState() {
  HistogramRegistry::Histograms all;
  HistogramRegistry::AllHistograms(&all);
  std::string state;
  for (const Histogram* histogram : all)
    state += PackOf(*histogram) + "\n";
  return state;
}

Histogram* Registered(const std::string& name) {
  HistogramRegistry::Histograms all;
  HistogramRegistry::AllHistograms(&all);
  for (Histogram* histogram : all) {
    if (histogram->histogram_name() == name)
      return histogram;
  }
  return nullptr;
}

// The items of a transfer, written as given, so that a test can send what
// no histogram would.
struct Fields {
  std::string name = "xy";
  int minimum = 1;
  int maximum = 100;
  uint32_t bucket_count = 10;
  int type = Histogram::HISTOGRAM_LOG_SPACED;
  int flags = Histogram::kMarkedHistogramFlag;
  int64_t sum = 67;
  int64_t square_sum = 3627;
  uint32_t counts_size = 10;
  std::vector<int> counts = {0, 2, 0, 0, 1, 0, 0, 0, 1, 0};
};

std::string Transfer(const Fields& fields) {
  Pickle pickle;
  pickle.WriteString(fields.name);
  pickle.WriteInt(fields.minimum);
  pickle.WriteInt(fields.maximum);
  pickle.WriteSize(fields.bucket_count);
  pickle.WriteInt(fields.type);
  pickle.WriteInt(fields.flags);
  pickle.WriteInt64(fields.sum);
  pickle.WriteInt64(fields.square_sum);
  pickle.WriteSize(fields.counts_size);
  for (const int count : fields.counts)
    pickle.WriteInt(count);
  return std::string(pickle.data(), pickle.size());
}

std::string Words(const std::vector<uint32_t>& words) {
  std::string bytes(words.size() * 4, '\0');
  memcpy(&bytes[0], words.data(), bytes.size());
  return bytes;
}

TEST(HistogramRegistryTest, NothingIsListedOrMirroredWithoutARecorder) {
  Histogram early("Early", 1, 100, 10);
  Histogram source("Sent", 1, 100, 10);
  source.Add(3);
  const std::string transfer = PackOf(source);

  EXPECT_FALSE(HistogramRegistry::IsRecording());
  EXPECT_FALSE(HistogramRegistry::Register(&early));
  EXPECT_EQ(HistogramRegistry::FindHistogram(""), nullptr);
  EXPECT_TRUE(RegisteredNames().empty());
  std::string page = "kept";
  HistogramRegistry::WriteHtmlPage("", &page);
  HistogramRegistry::WriteTextPage("", &page);
  EXPECT_EQ(page, "kept");
  // No mirror is made that nobody could ever find.
  EXPECT_FALSE(Histogram::UnpackHistogram(transfer));

  HistogramRegistry registry;
  EXPECT_TRUE(HistogramRegistry::IsRecording());
  EXPECT_TRUE(RegisteredNames().empty());
  // A histogram built before the recorder joins at its next sample.
  early.Add(1);
  EXPECT_EQ(RegisteredNames(), std::vector<std::string>{"Early"});
  Histogram later("Later", 1, 100, 10);
  EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"Early", "Later"}));
}

TEST(HistogramRegistryTest, QueriesAndPagesListNamesContainingTheQuery) {
  HistogramRegistry registry;
  Histogram bc("bc", 1, 100, 10);
  Histogram b("b", 1, 100, 10);
  Histogram other("xyz", 1, 100, 10);
  LinearHistogram ab("ab", 1, 100, 10);
  ab.Add(20);
  b.Add(3);

  EXPECT_EQ(RegisteredNames(),
            (std::vector<std::string>{"ab", "b", "bc", "xyz"}));
  EXPECT_EQ(HistogramRegistry::FindHistogram("b"), &ab);
  EXPECT_EQ(HistogramRegistry::FindHistogram("c"), &bc);
  EXPECT_EQ(HistogramRegistry::FindHistogram(""), &ab);
  EXPECT_EQ(HistogramRegistry::FindHistogram("q"), nullptr);

  auto text_of = [](const Histogram& histogram) {
    std::string text;
    histogram.WriteText(true, "\n", &text);
    return text + "\n";
  };
  auto html_of = [](const Histogram& histogram) {
    std::string html;
    histogram.WriteHtmlPage(&html);
    return html + "<br><hr><br>";
  };

  std::string text = "kept|";
  HistogramRegistry::WriteTextPage("b", &text);
  EXPECT_EQ(text, "kept|Collections of histograms for b\n" + text_of(ab) +
                      text_of(b) + text_of(bc));
  std::string all;
  HistogramRegistry::WriteTextPage("", &all);
  EXPECT_EQ(all, "Collections of all histograms\n" + text_of(ab) + text_of(b) +
                     text_of(bc) + text_of(other));
  std::string none;
  HistogramRegistry::WriteTextPage("q", &none);
  EXPECT_EQ(none, "Collections of histograms for q\n");

  std::string html;
  HistogramRegistry::WriteHtmlPage("b", &html);
  EXPECT_EQ(html,
            "<html><head><title>About Histograms - b</title></head><body>" +
                html_of(ab) + html_of(b) + html_of(bc) + "</body></html>");
  std::string all_html;
  HistogramRegistry::WriteHtmlPage("", &all_html);
  EXPECT_EQ(all_html,
            "<html><head><title>About Histograms</title></head><body>" +
                html_of(ab) + html_of(b) + html_of(bc) + html_of(other) +
                "</body></html>");
}

TEST(HistogramRegistryTest, HtmlPageEscapesQueryAndNamesTextPageDoesNot) {
  HistogramRegistry registry;
  const char kName[] = "x<script>alert(\"&\")</script>";
  Histogram hostile(kName, 1, 100, 10);
  hostile.Add(5);

  std::string html;
  HistogramRegistry::WriteHtmlPage("<script>", &html);
  EXPECT_EQ(html.rfind("<html><head><title>About Histograms - "
                       "&lt;script&gt;</title></head><body><PRE>Histogram: "
                       "x&lt;script&gt;alert(&quot;&amp;&quot;)&lt;/"
                       "script&gt; recorded 1 samples",
                       0),
            0u)
      << html;
  EXPECT_EQ(html.find("<script"), std::string::npos);

  std::string text;
  HistogramRegistry::WriteTextPage("<script>", &text);
  EXPECT_EQ(text.rfind("Collections of histograms for <script>\nHistogram: " +
                           std::string(kName) + " recorded 1 samples",
                       0),
            0u)
      << text;
}

TEST(HistogramRegistryTest, DuplicateNameIsReportedAndTheNewerOneListed) {
  test_support::ScopedCheckRecorder checks;
  HistogramRegistry registry;
  auto first = std::make_unique<Histogram>("Twin", 1, 100, 10);
  EXPECT_TRUE(checks.messages().empty());
  {
    // A second recorder is refused, and its end leaves the first recording.
    HistogramRegistry refused;
  }
  EXPECT_EQ(checks.messages(),
            std::vector<std::string>{"Check failed: !histograms_. "});
  EXPECT_EQ(HistogramRegistry::FindHistogram("Twin"), first.get());
  auto second = std::make_unique<LinearHistogram>("Twin", 1, 100, 10);
  EXPECT_EQ(checks.messages().back(),
            "Check failed: histograms_->end() == histograms_->find(name). "
            "Twin is alreadyregistered as a histogram.  Check for "
            "duplicate use of the name, or a race where a static "
            "initializer could be run by several threads.");
  EXPECT_EQ(HistogramRegistry::FindHistogram("Twin"), second.get());
  // Both keep counting.
  first->Add(1);
  second->Add(1);
  EXPECT_EQ(Snapshot(*first).TotalCount(), 1);
  EXPECT_EQ(Snapshot(*second).TotalCount(), 1);
  second.reset();
  EXPECT_EQ(HistogramRegistry::FindHistogram("Twin"), nullptr);
  first.reset();
  EXPECT_EQ(checks.messages().back(),
            "Check failed: histograms_->end() != histograms_->find(name). ");
}

TEST(HistogramRegistryTest, TransferHasExactBytesAndMergesIntoOneMirror) {
  // Made before the recorder: like a histogram of another process, it is
  // not this process's "xy".
  Histogram source("xy", 1, 100, 10);
  source.SetFlags(Histogram::kMarkedHistogramFlag);
  for (const int value : {1, 1, 5, 60})
    source.Add(value);

  LinearHistogram linear("Linear", 1, 100, 10);
  linear.Add(13);

  const std::string transfer = PackOf(source);
  EXPECT_EQ(transfer, Words({88, 2,    'x' | 'y' << 8,
                             1,  100,  10,
                             0,  1,    67,
                             0,  3627, 0,
                             10, 0,    2,
                             0,  0,    1,
                             0,  0,    0,
                             1,  0}));
  EXPECT_EQ(transfer.size(), 92u);
  EXPECT_EQ(transfer, Transfer(Fields()));

  HistogramRegistry registry;
  EXPECT_TRUE(Histogram::UnpackHistogram(transfer));
  Histogram* const mirror = Registered("xy");
  ASSERT_NE(mirror, nullptr);
  EXPECT_NE(mirror, &source);
  EXPECT_TRUE(Histogram::UnpackHistogram(transfer));
  EXPECT_EQ(RegisteredNames(), std::vector<std::string>{"xy"});
  EXPECT_EQ(Registered("xy"), mirror);

  EXPECT_EQ(mirror->flags(), Histogram::kMarkedHistogramFlag |
                                 Histogram::kRendererHistogramFlag);
  EXPECT_EQ(mirror->histogram_type(), Histogram::HISTOGRAM_LOG_SPACED);
  ASSERT_EQ(mirror->bucket_count(), source.bucket_count());
  const Histogram::SampleCounts sent = Snapshot(source);
  const Histogram::SampleCounts mirrored = Snapshot(*mirror);
  for (size_t i = 0; i <= source.bucket_count(); ++i)
    EXPECT_EQ(mirror->ranges(i), source.ranges(i));
  for (size_t i = 0; i < source.bucket_count(); ++i)
    EXPECT_EQ(mirrored.counts(i), 2 * sent.counts(i)) << i;
  EXPECT_EQ(mirrored.sum(), 134);
  EXPECT_EQ(mirrored.square_sum(), 7254);

  // A linear histogram travels as one, labels aside.
  Histogram::UnpackHistogramList({PackOf(linear), PackOf(linear)});
  Histogram* const linear_mirror = Registered("Linear");
  ASSERT_NE(linear_mirror, nullptr);
  EXPECT_NE(linear_mirror, &linear);
  EXPECT_EQ(linear_mirror->histogram_type(), Histogram::HISTOGRAM_EVEN_SPACED);
  EXPECT_EQ(linear_mirror->ranges(2), 13);
  EXPECT_EQ(Snapshot(*linear_mirror).counts(2), 2);
}

// Every one of these answers false and leaves every histogram as it was.
TEST(HistogramRegistryTest, MalformedTransfersChangeNothing) {
  HistogramRegistry registry;
  Fields ab;
  ab.name = "ab";
  ASSERT_TRUE(Histogram::UnpackHistogram(Transfer(ab)));
  Histogram own("own", 1, 100, 10);
  own.Add(1);

  struct Case {
    const char* what;
    std::function<void(Fields*)> change;
  };
  const Case kCases[] = {
      {"counts_size 0", [](Fields* f) { f->counts_size = 0; }},
      {"counts_size past the bytes", [](Fields* f) { f->counts_size = 11; }},
      {"counts_size huge", [](Fields* f) { f->counts_size = 0x7fffffff; }},
      {"counts_size times 4 wraps",
       [](Fields* f) { f->counts_size = 0x40000001; }},
      {"counts_size below bucket_count",
       [](Fields* f) {
         f->counts_size = 9;
         f->counts.pop_back();
       }},
      {"type 2", [](Fields* f) { f->type = 2; }},
      {"type -1", [](Fields* f) { f->type = -1; }},
      {"min above max",
       [](Fields* f) {
         f->minimum = 50;
         f->maximum = 10;
       }},
      {"two buckets, linear",
       [](Fields* f) {
         f->type = Histogram::HISTOGRAM_EVEN_SPACED;
         f->bucket_count = f->counts_size = 2;
         f->counts = {1, 1};
       }},
      {"two buckets for two bounds",
       [](Fields* f) {
         f->bucket_count = f->counts_size = 2;
         f->counts = {1, 1};
       }},
      {"one bucket",
       [](Fields* f) {
         f->bucket_count = f->counts_size = 1;
         f->counts = {4};
       }},
      {"more buckets than values",
       [](Fields* f) {
         f->maximum = 7;
         f->bucket_count = f->counts_size = 9;
         f->counts.resize(9);
       }},
      {"negative count", [](Fields* f) { f->counts[4] = -1; }},
      {"negative sum", [](Fields* f) { f->sum = -67; }},
      {"negative square sum", [](Fields* f) { f->square_sum = INT64_MIN; }},
      {"sums without samples",
       [](Fields* f) { f->counts = std::vector<int>(10, 0); }},
      {"empty name", [](Fields* f) { f->name.clear(); }},
      {"NUL in the name", [](Fields* f) { f->name = std::string("a\0b", 3); }},
      {"another shape for a mirror",
       [](Fields* f) {
         f->name = "ab";
         f->maximum = 200;
       }},
      {"another type for a mirror",
       [](Fields* f) {
         f->name = "ab";
         f->type = Histogram::HISTOGRAM_EVEN_SPACED;
       }},
      {"another shape for an own histogram",
       [](Fields* f) {
         f->name = "own";
         f->maximum = 1000;
       }},
  };
  std::vector<std::string> transfers;
  std::vector<std::string> what;
  for (const Case& c : kCases) {
    Fields fields;
    c.change(&fields);
    transfers.push_back(Transfer(fields));
    what.push_back(c.what);
  }
  // Cut at every byte: as delivered, and with the size in the header made
  // to match so that the reader gets as far as the cut.
  const std::string whole = Transfer(Fields());
  for (size_t length = 0; length < whole.size(); ++length) {
    std::string cut = whole.substr(0, length);
    transfers.push_back(cut);
    what.push_back("cut at " + std::to_string(length));
    if (length >= 4) {
      const uint32_t payload = static_cast<uint32_t>(length - 4);
      memcpy(&cut[0], &payload, sizeof(payload));
      transfers.push_back(cut);
      what.push_back("cut at " + std::to_string(length) + ", header fixed");
    }
  }

  const std::string before = RegistryState();
  for (size_t i = 0; i < transfers.size(); ++i) {
    EXPECT_FALSE(Histogram::UnpackHistogram(transfers[i])) << what[i];
    EXPECT_EQ(RegistryState(), before) << what[i];
  }

  // Names are matched exactly: "b" is not "ab", and gets its own mirror.
  Fields b;
  b.name = "b";
  b.flags = Histogram::kRendererHistogramFlag | 0x4;
  EXPECT_TRUE(Histogram::UnpackHistogram(Transfer(b)));
  EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"ab", "b", "own"}));
  EXPECT_EQ(Snapshot(*Registered("ab")).TotalCount(), 4);
  EXPECT_EQ(Snapshot(*Registered("b")).TotalCount(), 4);
  EXPECT_EQ(Registered("b")->flags(), Histogram::kRendererHistogramFlag | 0x4);
}

// Reads what the transfer logs.
class TransferLogTest : public testing::Test {
 protected:
  std::vector<std::string> Messages() const { return log_.Messages(); }

  test_support::ScopedLogCapture log_;
};

TEST_F(TransferLogTest, RefusalsAndDroppedSamplesAreLogged) {
  HistogramRegistry registry;
  Histogram own("own", 1, 100, 10);
  own.Add(50);

  Fields unknown;
  unknown.type = 2;
  const std::string whole = Transfer(Fields());
  std::string cut_in_counts = whole.substr(0, whole.size() - 4);
  const uint32_t payload = static_cast<uint32_t>(cut_in_counts.size() - 4);
  memcpy(&cut_in_counts[0], &payload, sizeof(payload));
  Fields linear_pair;
  linear_pair.type = Histogram::HISTOGRAM_EVEN_SPACED;
  linear_pair.bucket_count = 2;
  Fields own_samples;
  own_samples.name = "own";

  EXPECT_FALSE(Histogram::UnpackHistogram(Transfer(unknown)));
  EXPECT_FALSE(Histogram::UnpackHistogram(cut_in_counts));
  EXPECT_FALSE(Histogram::UnpackHistogram(whole.substr(0, 6)));
  EXPECT_FALSE(Histogram::UnpackHistogram(Transfer(linear_pair)));
  EXPECT_TRUE(Histogram::UnpackHistogram(Transfer(own_samples)));
  EXPECT_EQ(Snapshot(own).TotalCount(), 1) << "samples of its own histogram";

  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "Error Deserializing Histogram Unknown histogram_type: 2",
                "Picke error decoding Histogram: xy",
                "Picke error decoding Histogram: ",
                "Histogram transfer refused, too few buckets: xy",
                "Single thread mode, histogram observed and not copied: own",
            }));
}

// Thousands of damaged transfers, made with a fixed seed so that a failure
// repeats. Each may be refused or mirrored; none may crash the receiver or
// fail a check (outside a recorder that fails the test), and the reports of
// whatever was mirrored must still render.
TEST(HistogramRegistryTest, MutatedTransfersNeverBreakTheReceiver) {
  HistogramRegistry registry;
  Histogram exponential("Fuzz.Exp", 1, 1000, 12);
  LinearHistogram linear("Fuzz.Lin", 1, 50, 8);
  for (int value = 0; value < 1200; value += 7) {
    exponential.Add(value);
    linear.Add(value % 60);
  }
  const std::string originals[] = {PackOf(exponential), PackOf(linear),
                                   Transfer(Fields())};
  const int32_t kHostileWords[] = {
      0, 1, 2, 3, -1, INT_MIN, INT_MAX, 0x40000000, 0x10, 0x7ffffffe, 1000, 12};
  std::mt19937 random(20240611);
  auto below = [&random](size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(random);
  };

  const int previous_level = MinimumLogLevel();
  SetMinimumLogLevel(LOG_FATAL);
  int accepted = 0;
  for (int round = 0; round < 6000; ++round) {
    std::string bytes = originals[below(std::size(originals))];
    const int mutations = 1 + static_cast<int>(below(3));
    for (int m = 0; m < mutations && !bytes.empty(); ++m) {
      switch (below(4)) {
        case 0:
          bytes[below(bytes.size())] = static_cast<char>(below(256));
          break;
        case 1: {
          const int32_t word = kHostileWords[below(std::size(kHostileWords))];
          const size_t at = below(bytes.size() / 4) * 4;
          if (at + 4 <= bytes.size())
            memcpy(&bytes[at], &word, sizeof(word));
          break;
        }
        case 2:
          bytes.resize(below(bytes.size() + 1));
          break;
        case 3:
          for (size_t extra = below(9); extra > 0; --extra)
            bytes.push_back(static_cast<char>(below(256)));
          break;
      }
    }
    // Mostly keep the header consistent, so that the items get read.
    if (bytes.size() >= 4 && below(4) != 0) {
      const uint32_t payload = static_cast<uint32_t>(bytes.size() - 4);
      memcpy(&bytes[0], &payload, sizeof(payload));
    }
    if (Histogram::UnpackHistogram(bytes))
      ++accepted;
  }
  SetMinimumLogLevel(previous_level);
  // Some damage leaves a transfer that is still sound (a changed count).
  EXPECT_GT(accepted, 0);

  std::string page;
  HistogramRegistry::WriteTextPage("", &page);
  HistogramRegistry::WriteHtmlPage("", &page);
  EXPECT_FALSE(page.empty());
}

// Two threads bring the same new names at the same moment; each name gets
// one mirror that holds the samples of both.
TEST(HistogramRegistryTest, ThreadsUnpackingOneNewNameMakeOneMirror) {
  HistogramRegistry registry;
  constexpr int kNames = 300;
  std::vector<std::string> transfers;
  for (int i = 0; i < kNames; ++i) {
    Fields fields;
    fields.name = "Race." + std::to_string(1000 + i);
    transfers.push_back(Transfer(fields));
  }
  std::atomic<int> ready{0};
  auto unpack_all = [&] {
    ready.fetch_add(1);
    while (ready.load() < 2)
      std::this_thread::yield();
    for (const std::string& transfer : transfers)
      EXPECT_TRUE(Histogram::UnpackHistogram(transfer));
  };
  std::thread other(unpack_all);
  unpack_all();
  other.join();

  EXPECT_EQ(RegisteredNames().size(), static_cast<size_t>(kNames));
  for (int i = 0; i < kNames; ++i) {
    const Histogram* mirror = Registered("Race." + std::to_string(1000 + i));
    ASSERT_NE(mirror, nullptr);
    const Histogram::SampleCounts snapshot = Snapshot(*mirror);
    EXPECT_EQ(snapshot.TotalCount(), 8);
    EXPECT_EQ(snapshot.sum(), 134);
  }
}

}  // namespace
}  // namespace base
