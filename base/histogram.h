#ifndef BASE_HISTOGRAM_H_
#define BASE_HISTOGRAM_H_

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/lock_impl.h"
#include "base/time.h"

// Histograms of integer samples, the process-wide registry that lists them,
// the report pages built on it, and the transfer of a histogram's samples
// from one process to another.

namespace base {

class Pickle;

// Counts integer samples (durations in milliseconds, sizes, codes) into a
// fixed set of buckets, and keeps the sum and the sum of squares of the
// samples so that a report can show their mean and standard deviation.
//
// Bucket i holds the values v with ranges(i) <= v < ranges(i + 1): bucket 0
// takes everything below `declared_min`, the last bucket everything from
// `declared_max` up. The bounds are laid out once, at construction:
// exponentially spaced here, evenly spaced in LinearHistogram. Samples are
// clamped to 0 ... kSampleType_MAX - 1. Counts and sums stop at their
// largest values instead of wrapping.
//
// A histogram enters itself into the HistogramRegistry at construction, or
// at a later sample once a registry exists, and leaves it when destroyed; it
// counts the same with or without a registry. Whoever creates a histogram
// owns it; histograms usually live as long as the process.
//
// Not thread-safe: each histogram is fed by one thread at a time, or the
// caller accepts lost updates (ThreadSafeHistogram locks instead).
class Histogram {
 public:
  using Sample = int;  // A sample value and a bucket bound.
  using Count = int;   // A bucket count.

  // The upper bound of the last bucket; never stored as a sample.
  static constexpr Sample kSampleType_MAX = INT_MAX;

  // How the bucket bounds are spaced; part of the transfer format.
  enum HistogramType {
    HISTOGRAM_LOG_SPACED = 0,   // Histogram and ThreadSafeHistogram.
    HISTOGRAM_EVEN_SPACED = 1,  // LinearHistogram.
  };

  // Flag bits. A new histogram has none; they only accumulate.
  enum Flags {
    kNoFlags = 0,
    // Chosen by callers for histograms of their own; shown in the header.
    kMarkedHistogramFlag = 0x1,
    // A mirror of another process's histogram made by UnpackHistogram; only
    // such histograms take transferred samples.
    kRendererHistogramFlag = 0x10,
    // Bounds print in hexadecimal; this bit is never shown in the header.
    kHexBoundsFlag = 0x8000,
  };

  // The accumulated data of a histogram: one count per bucket, the sum of
  // the samples and the sum of their squares. A plain copyable value: a
  // snapshot of a histogram is a copy of its set. Counts stop at INT_MAX and
  // sums at the int64 limits; a sum that reached its limit stays there.
  class SampleCounts {
   public:
    SampleCounts();

    // Sizes the counts for `histogram`; new counts are 0.
    void Resize(const Histogram& histogram);
    // Asserts that the counts are sized for `histogram`.
    void CheckSize(const Histogram& histogram) const;

    // Adds (`count` 1) or takes back (`count` -1) one sample `value` in
    // bucket `index`.
    void Accumulate(Sample value, Count count, size_t index);

    Count counts(size_t i) const { return counts_[i]; }
    size_t size() const { return counts_.size(); }
    // All counts together; INT_MAX when that is more.
    Count TotalCount() const;
    int64_t sum() const { return sum_; }
    int64_t square_sum() const { return square_sum_; }

    // Adds or subtracts another set of the same size, count by count.
    void Add(const SampleCounts& other);
    void Subtract(const SampleCounts& other);

    // Appends the sums and the counts to `pickle` (the tail of a histogram
    // transfer); true.
    bool Serialize(Pickle* pickle) const;
    // Reads what Serialize wrote into this fresh set. False when the bytes
    // end early, hold no counts or more counts than bytes, or hold a
    // negative count or sum; the set is then left empty.
    bool Deserialize(void** iter, const Pickle& pickle);

   private:
    std::vector<Count> counts_;  // Empty until sized for a histogram.
    int64_t sum_;
    int64_t square_sum_;
  };

  // A histogram of `bucket_count` buckets (underflow and overflow
  // included) between `minimum` (at least 1) and `maximum` (at most
  // kSampleType_MAX - 1). Needs at least 2 buckets and no more than
  // maximum - minimum + 2; a shape outside those limits fails a check and
  // is brought inside them.
  Histogram(const char* name,
            Sample minimum,
            Sample maximum,
            size_t bucket_count);
  // The same with the bounds in whole milliseconds.
  Histogram(const char* name,
            TimeDelta minimum,
            TimeDelta maximum,
            size_t bucket_count);
  Histogram(const Histogram&) = delete;
  Histogram& operator=(const Histogram&) = delete;
  virtual ~Histogram();

  // Records one sample: negative values count as 0, values from
  // kSampleType_MAX up as kSampleType_MAX - 1.
  void Add(int value);

  // Adds `other`'s counts and sums, which must be sized for this
  // histogram. Takes no lock, also in ThreadSafeHistogram.
  void MergeSamples(const SampleCounts& other);

  // ORs `flags` into the flag bits.
  void SetFlags(int flags) { flag_bits_ |= flags; }
  int flags() const { return flag_bits_; }

  std::string histogram_name() const { return name_; }
  Sample declared_min() const { return declared_min_; }
  Sample declared_max() const { return declared_max_; }

  // Appends the histogram as text: a header line with the sample count,
  // mean, standard deviation and flags, then one line per bucket (runs of
  // empty buckets folded into one), each ended by `newline`. With
  // `graph_it` every bucket line carries a bar.
  void WriteText(bool graph_it,
                 const std::string& newline,
                 std::string* output) const;
  // Appends the text with bars and "<br>" line ends inside <PRE>, with the
  // name and bucket labels escaped for HTML.
  void WriteHtmlPage(std::string* output) const;

  virtual int histogram_type() const;
  // Bound i, 0 <= i <= bucket_count().
  virtual Sample ranges(size_t i) const;
  virtual size_t bucket_count() const;
  // Replaces `*samples` with a copy of the accumulated data.
  virtual void CopySamples(SampleCounts* samples) const;

  // The transfer bytes of `histogram` with the samples `snapshot`: a pickle
  // holding the name, declared_min, declared_max, bucket_count, type,
  // flags, sum, square sum, the number of counts and the counts.
  static std::string PackHistogram(const Histogram& histogram,
                                   const SampleCounts& snapshot);
  // Merges transferred samples into this process's mirror of the
  // histogram, which is found by its exact name or created (and flagged
  // kRendererHistogramFlag). The bytes may come from a broken or hostile
  // process: anything malformed, inconsistent with itself or with the
  // mirror, or arriving while no registry exists answers false and changes
  // nothing. Samples of a histogram of this process's own (one not flagged
  // as a mirror) are dropped, answering true. Any thread may call it.
  static bool UnpackHistogram(const std::string& histogram_info);
  // UnpackHistogram on each element in order; the results are ignored.
  static void UnpackHistogramList(const std::vector<std::string>& histograms);

 protected:
  // A histogram whose shape follows the rules of `histogram_type` (a linear
  // one needs 3 buckets), with exponential bounds, not yet registered:
  // the most derived constructor registers it once it is complete, so that
  // the registry never hands out a histogram still being built.
  Histogram(const char* name,
            Sample minimum,
            Sample maximum,
            size_t bucket_count,
            int histogram_type);

  // Whether an empty bucket gets a line of its own in the text.
  virtual bool ShowEmptyBucket(size_t index) const;
  // Computes the bounds ranges(1) ... ranges(bucket_count() - 1).
  virtual void LayOutBuckets();
  // The bucket of `value`, which lies in 0 ... kSampleType_MAX - 1.
  virtual size_t FindBucket(Sample value) const;
  // The bar size of bucket i holding `current` samples.
  virtual double BucketWidth(Count current, size_t i) const;
  // The text of bound i in the rendering.
  virtual std::string GetAsciiBucketRange(size_t i) const;
  virtual void Accumulate(Sample value, Count count, size_t index);

  // Enters the histogram into the registry if one exists and it is not in
  // yet.
  void RegisterIfRecording();
  // Asserts the fixed bounds: 0, declared_min, declared_max and
  // kSampleType_MAX in their places.
  bool ValidateBucketRanges() const;
  void SetBucketRange(size_t i, Sample value);

 private:
  friend class HistogramRegistry;

  // Clamps and checks the shape, sizes the bounds and counts, and lays out
  // the exponential bounds.
  void Initialize(int histogram_type);
  double GetPeakBucketSize(const SampleCounts& snapshot) const;
  // The text rendering; with `html` the name and bucket labels are escaped.
  void WriteTextTo(bool graph_it,
                   const std::string& newline,
                   bool html,
                   std::string* output) const;
  void WriteTextHeader(const SampleCounts& snapshot,
                       int64_t sample_count,
                       const std::string& newline,
                       bool html,
                       std::string* output) const;
  void WriteBucketBar(double current_size,
                      double max_size,
                      std::string* output) const;
  void WriteBucketShares(int64_t past,
                         Count current,
                         int64_t remaining,
                         size_t i,
                         std::string* output) const;

  const std::string name_;
  Sample declared_min_;
  Sample declared_max_;
  size_t bucket_count_;  // Underflow and overflow buckets included.
  int flag_bits_;
  std::vector<Sample> ranges_;  // bucket_count_ + 1 rising bounds.
  SampleCounts sample_;         // The accumulated data.
  // Written by every thread whose sample finds the histogram unregistered.
  std::atomic<bool> is_registered_;
};

// A histogram with evenly spaced buckets, whose bounds may carry labels
// that the text shows instead of the numbers (a histogram of kinds of
// events names each kind). Needs at least 3 buckets. Threads as Histogram.
class LinearHistogram : public Histogram {
 public:
  // One label of a table that ends with a null description.
  struct BucketLabel {
    Sample sample;
    const char* description;
  };

  LinearHistogram(const char* name,
                  Sample minimum,
                  Sample maximum,
                  size_t bucket_count);
  LinearHistogram(const char* name,
                  TimeDelta minimum,
                  TimeDelta maximum,
                  size_t bucket_count);

  // Labels the buckets whose lower bounds the table names; a later entry
  // for the same bound replaces an earlier one.
  void SetBucketLabels(const BucketLabel descriptions[]);

  int histogram_type() const override;

 protected:
  // Empty buckets with a label are left out of the text.
  bool ShowEmptyBucket(size_t index) const override;
  void LayOutBuckets() override;
  size_t FindBucket(Sample value) const override;
  // The true width, without the cap of the exponential buckets.
  double BucketWidth(Count current, size_t i) const override;
  std::string GetAsciiBucketRange(size_t i) const override;

 private:
  friend class Histogram;  // Builds unregistered mirrors.

  enum Registration { REGISTER_NOW, REGISTER_LATER };
  LinearHistogram(const char* name,
                  Sample minimum,
                  Sample maximum,
                  size_t bucket_count,
                  Registration registration);

  std::map<Sample, std::string> bucket_labels_;  // By lower bound.
};

// A Histogram whose samples may come from several threads at once: Add,
// Remove and CopySamples hold `lock_` (MergeSamples does not).
class ThreadSafeHistogram : public Histogram {
 public:
  ThreadSafeHistogram(const char* name,
                      Sample minimum,
                      Sample maximum,
                      size_t bucket_count);

  // Takes back one sample added before, clamped as Add clamps it.
  void Remove(int value);

  void CopySamples(SampleCounts* samples) const override;

 protected:
  void Accumulate(Sample value, Count count, size_t index) override;

 private:
  mutable Lock lock_;  // Guards the accumulated data.
};

// The process-wide registry of histograms, by name, and the report pages
// that render them.
//
// Its state is static: constructing one object starts recording for the
// whole process, destroying it stops recording (the histograms live on and
// keep counting). One recorder at a time, made and destroyed while no other
// thread uses histograms (start-up and shutdown of the main thread). The
// registry holds plain pointers and never frees a histogram. Every other
// operation may run on any thread; the map is guarded by `lock_`.
class HistogramRegistry {
 public:
  using Histograms = std::vector<Histogram*>;

  HistogramRegistry();
  HistogramRegistry(const HistogramRegistry&) = delete;
  HistogramRegistry& operator=(const HistogramRegistry&) = delete;
  ~HistogramRegistry();

  static bool IsRecording();

  // Enters `histogram` under its name; false when no recorder exists.
  // Another histogram of the same name fails a check and is replaced.
  static bool Register(Histogram* histogram);
  // Removes the entry of the histogram's name.
  static void Withdraw(Histogram* histogram);

  // Appends every registered histogram, in name order.
  static void AllHistograms(Histograms* output);
  // The first histogram, in name order, whose name contains `query`; null
  // when there is none or no recorder.
  static Histogram* FindHistogram(const std::string& query);

  // Append the "About Histograms" HTML page and the plain-text page of the
  // histograms whose names contain `query` (all for an empty query).
  // Nothing is appended while no recorder exists. The HTML page escapes the
  // query and the names; the text page shows them as they are.
  static void WriteHtmlPage(const std::string& query, std::string* output);
  static void WriteTextPage(const std::string& query, std::string* output);

 private:
  friend class Histogram;  // Finds or creates mirrors under the lock.

  using RegistryMap = std::map<std::string, Histogram*>;

  // Appends, in name order, the histograms whose names contain `query`.
  static void MatchingHistograms(const std::string& query,
                                 Histograms* snapshot);

  static RegistryMap* histograms_;  // Null while no recorder exists.
  static Lock* lock_;               // Guards *histograms_.

  // False for a second recorder, refused while the first records; its
  // destruction then leaves the first one's state alone.
  bool started_ = false;
};

// Appends `text` with '&', '<', '>' and '"' replaced by their HTML
// entities.
void AppendEscapedHtml(const std::string& text, std::string* output);

}  // namespace base

#endif  // BASE_HISTOGRAM_H_
