#include "base/histogram.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/logging.h"
#include "base/string_util.h"

namespace base {
namespace {

constexpr int64_t kSumLimit = std::numeric_limits<int64_t>::max();
constexpr int64_t kSumFloor = std::numeric_limits<int64_t>::min();

// The sums stop at the int64 limits. A sum that reached the top has lost its
// true value, so it stays there rather than drift back into plausible
// figures as samples are taken back.
int64_t AddToSum(int64_t sum, int64_t delta) {
  if (sum == kSumLimit)
    return sum;
  int64_t result;
  if (__builtin_add_overflow(sum, delta, &result))
    return delta < 0 ? kSumFloor : kSumLimit;
  return result;
}

// Counts stop at INT_MAX in the same way.
Histogram::Count AddToCount(Histogram::Count count, int64_t delta) {
  if (count == INT_MAX)
    return count;
  const int64_t result = count + delta;
  if (result > INT_MAX)
    return INT_MAX;
  return result < INT_MIN ? INT_MIN : static_cast<Histogram::Count>(result);
}

// Whole milliseconds, limited to the range of a sample bound.
Histogram::Sample MillisecondsOf(TimeDelta delta) {
  const int64_t ms = delta.InMilliseconds();
  if (ms > INT_MAX)
    return INT_MAX;
  return ms < INT_MIN ? INT_MIN : static_cast<Histogram::Sample>(ms);
}

TimeDelta AtLeastOneMillisecond(TimeDelta minimum) {
  const TimeDelta one = TimeDelta::FromMilliseconds(1);
  return minimum < one ? one : minimum;
}

void AppendText(const std::string& text, bool html, std::string* output) {
  if (html) {
    AppendEscapedHtml(text, output);
  } else {
    output->append(text);
  }
}

}  // namespace

void AppendEscapedHtml(const std::string& text, std::string* output) {
  for (const char c : text) {
    switch (c) {
      case '&':
        output->append("&amp;");
        break;
      case '<':
        output->append("&lt;");
        break;
      case '>':
        output->append("&gt;");
        break;
      case '"':
        output->append("&quot;");
        break;
      default:
        output->push_back(c);
    }
  }
}

// SampleCounts ---------------------------------------------------------------

Histogram::SampleCounts::SampleCounts() : sum_(0), square_sum_(0) {}

void Histogram::SampleCounts::Resize(const Histogram& histogram) {
  counts_.resize(histogram.bucket_count(), 0);
}

void Histogram::SampleCounts::CheckSize(const Histogram& histogram) const {
  CHECK(counts_.size() == histogram.bucket_count());
}

void Histogram::SampleCounts::Accumulate(Sample value,
                                         Count count,
                                         size_t index) {
  CHECK_OR_RETURN(count == 1 || count == -1, );
  counts_[index] = AddToCount(counts_[index], count);
  const int64_t signed_value = static_cast<int64_t>(count) * value;
  sum_ = AddToSum(sum_, signed_value);
  square_sum_ = AddToSum(square_sum_, signed_value * value);
  CHECK(counts_[index] >= 0);
  CHECK(sum_ >= 0);
  CHECK(square_sum_ >= 0);
}

Histogram::Count Histogram::SampleCounts::TotalCount() const {
  int64_t total = 0;
  for (const Count count : counts_)
    total += count;
  return static_cast<Count>(std::min<int64_t>(total, INT_MAX));
}

void Histogram::SampleCounts::Add(const SampleCounts& other) {
  CHECK_OR_RETURN(counts_.size() == other.counts_.size(), );
  sum_ = AddToSum(sum_, other.sum_);
  square_sum_ = AddToSum(square_sum_, other.square_sum_);
  for (size_t index = 0; index < counts_.size(); ++index)
    counts_[index] = AddToCount(counts_[index], other.counts_[index]);
}

void Histogram::SampleCounts::Subtract(const SampleCounts& other) {
  CHECK_OR_RETURN(counts_.size() == other.counts_.size(), );
  // Negating the floor itself would overflow; it leaves the sum unknown
  // anyway.
  auto negated = [](int64_t value) {
    return value == kSumFloor ? kSumLimit : -value;
  };
  sum_ = AddToSum(sum_, negated(other.sum_));
  square_sum_ = AddToSum(square_sum_, negated(other.square_sum_));
  for (size_t index = 0; index < counts_.size(); ++index) {
    counts_[index] =
        AddToCount(counts_[index], -static_cast<int64_t>(other.counts_[index]));
    CHECK(counts_[index] >= 0);
  }
}

// Histogram ------------------------------------------------------------------

Histogram::Histogram(const char* name,
                     Sample minimum,
                     Sample maximum,
                     size_t bucket_count)
    : Histogram(name, minimum, maximum, bucket_count, HISTOGRAM_LOG_SPACED) {
  RegisterIfRecording();
}

Histogram::Histogram(const char* name,
                     TimeDelta minimum,
                     TimeDelta maximum,
                     size_t bucket_count)
    : Histogram(name,
                MillisecondsOf(minimum),
                MillisecondsOf(maximum),
                bucket_count) {}

Histogram::Histogram(const char* name,
                     Sample minimum,
                     Sample maximum,
                     size_t bucket_count,
                     int histogram_type)
    : name_(name ? name : ""),
      declared_min_(minimum),
      declared_max_(maximum),
      bucket_count_(bucket_count),
      flag_bits_(kNoFlags),
      is_registered_(false) {
  Initialize(histogram_type);
}

Histogram::~Histogram() {
  if (is_registered_.load(std::memory_order_relaxed))
    HistogramRegistry::Withdraw(this);
  CHECK(ValidateBucketRanges());
}

void Histogram::Initialize(int histogram_type) {
  if (declared_min_ <= 0)
    declared_min_ = 1;
  if (declared_max_ >= kSampleType_MAX)
    declared_max_ = kSampleType_MAX - 1;
  // Counted in 64 bits: the difference of two samples and the bucket count
  // may each exceed 32 bits unsigned.
  const uint64_t maximal_bucket_count =
      static_cast<uint64_t>(int64_t{declared_max_} - declared_min_ + 2);
  CHECK(declared_min_ > 0);
  CHECK(declared_min_ <= declared_max_);
  CHECK(1 < bucket_count_);
  if (histogram_type == HISTOGRAM_EVEN_SPACED) {
    CHECK(bucket_count_ >= 3)
        << "A linear histogram needs at least 3 buckets: " << name_;
  } else {
    // Bound 1 is declared_min and bound bucket_count - 1 is declared_max:
    // with two buckets they are one bound.
    CHECK(2 < bucket_count_ || declared_min_ == declared_max_)
        << "Two buckets hold only one bound: " << name_;
  }
  CHECK(bucket_count_ <= maximal_bucket_count);

  // A shape refused above is made sound, so that the bounds can be laid out
  // and every later sample finds its bucket inside them.
  declared_min_ = std::min(declared_min_, kSampleType_MAX - 1);
  declared_max_ = std::clamp(declared_max_, declared_min_, kSampleType_MAX - 1);
  if (histogram_type == HISTOGRAM_EVEN_SPACED &&
      declared_min_ == declared_max_) {
    if (declared_max_ < kSampleType_MAX - 1) {
      ++declared_max_;
    } else {
      --declared_min_;
    }
  }
  const size_t fewest_buckets = declared_min_ == declared_max_ ? 2 : 3;
  const uint64_t most_buckets =
      static_cast<uint64_t>(int64_t{declared_max_} - declared_min_ + 2);
  bucket_count_ = std::max(bucket_count_, fewest_buckets);
  if (bucket_count_ > most_buckets)
    bucket_count_ = static_cast<size_t>(most_buckets);

  ranges_.assign(bucket_count_ + 1, 0);
  sample_.Resize(*this);
  CHECK(0 == ranges_[0]);
  ranges_[bucket_count_] = kSampleType_MAX;
  // Always the exponential layout here; a derived class lays out its own
  // once it is constructed.
  Histogram::LayOutBuckets();
  CHECK(ValidateBucketRanges());
}

void Histogram::RegisterIfRecording() {
  if (!is_registered_.load(std::memory_order_relaxed))
    is_registered_.store(HistogramRegistry::Register(this),
                         std::memory_order_relaxed);
}

void Histogram::Add(int value) {
  RegisterIfRecording();
  if (value >= kSampleType_MAX)
    value = kSampleType_MAX - 1;
  if (value < 0)
    value = 0;
  const size_t index = FindBucket(value);
  CHECK_OR_RETURN(value >= ranges_[index], );
  CHECK_OR_RETURN(value < ranges_[index + 1], );
  Accumulate(value, 1, index);
}

void Histogram::MergeSamples(const SampleCounts& other) {
  sample_.Add(other);
}

int Histogram::histogram_type() const {
  return HISTOGRAM_LOG_SPACED;
}

Histogram::Sample Histogram::ranges(size_t i) const {
  return ranges_[i];
}

size_t Histogram::bucket_count() const {
  return bucket_count_;
}

void Histogram::CopySamples(SampleCounts* samples) const {
  *samples = sample_;
}

bool Histogram::ShowEmptyBucket(size_t) const {
  return true;
}

void Histogram::LayOutBuckets() {
  // Each step spreads the remaining logarithmic distance to declared_max
  // evenly over the buckets still to come; where a step is below one the
  // bound still rises by one, and the later steps catch up.
  const double log_max = std::log(static_cast<double>(declared_max()));
  size_t bucket_index = 1;
  Sample current = declared_min();
  SetBucketRange(bucket_index, current);
  while (bucket_count() > ++bucket_index) {
    const double log_current = std::log(static_cast<double>(current));
    const double log_ratio = (log_max - log_current) /
                             static_cast<double>(bucket_count() - bucket_index);
    const Sample next = static_cast<Sample>(
        std::floor(std::exp(log_current + log_ratio) + 0.5));
    current = next > current ? next : current + 1;
    SetBucketRange(bucket_index, current);
  }
  CHECK(bucket_count() == bucket_index);
}

size_t Histogram::FindBucket(Sample value) const {
  CHECK_OR_RETURN(ranges_[0] <= value, 0);
  CHECK_OR_RETURN(ranges_[bucket_count_] > value, bucket_count_ - 1);
  // The first bound above the value closes the value's bucket.
  const auto above =
      std::upper_bound(ranges_.begin() + 1, ranges_.end(), value);
  return static_cast<size_t>(above - ranges_.begin()) - 1;
}

double Histogram::BucketWidth(Count current, size_t i) const {
  CHECK(ranges(i + 1) > ranges(i));
  const double width = static_cast<double>(ranges(i + 1)) - ranges(i);
  return current / std::min(width, 5.0);
}

std::string Histogram::GetAsciiBucketRange(size_t i) const {
  if (flag_bits_ & kHexBoundsFlag)
    return FormatString("%#x", static_cast<unsigned>(ranges(i)));
  return FormatString("%d", ranges(i));
}

void Histogram::Accumulate(Sample value, Count count, size_t index) {
  sample_.Accumulate(value, count, index);
}

bool Histogram::ValidateBucketRanges() const {
  CHECK_OR_RETURN(ranges_.size() == bucket_count_ + 1, false);
  CHECK(0 == ranges_[0]);
  CHECK(declared_min() == ranges_[1]);
  CHECK(declared_max() == ranges_[bucket_count_ - 1]);
  CHECK(kSampleType_MAX == ranges_[bucket_count_]);
  return true;
}

void Histogram::SetBucketRange(size_t i, Sample value) {
  CHECK_OR_RETURN(bucket_count_ > i, );
  ranges_[i] = value;
}

double Histogram::GetPeakBucketSize(const SampleCounts& snapshot) const {
  double max_size = 0;
  for (size_t i = 0; i < bucket_count(); ++i)
    max_size = std::max(max_size, BucketWidth(snapshot.counts(i), i));
  return max_size;
}

void Histogram::WriteText(bool graph_it,
                          const std::string& newline,
                          std::string* output) const {
  WriteTextTo(graph_it, newline, false, output);
}

void Histogram::WriteHtmlPage(std::string* output) const {
  output->append("<PRE>");
  WriteTextTo(true, "<br>", true, output);
  output->append("</PRE>");
}

void Histogram::WriteTextTo(bool graph_it,
                            const std::string& newline,
                            bool html,
                            std::string* output) const {
  SampleCounts snapshot;
  CopySamples(&snapshot);
  snapshot.CheckSize(*this);
  // Counted in 64 bits, so that the buckets' lines add up to the header's
  // figure even where the counts together pass INT_MAX.
  int64_t sample_count = 0;
  for (size_t i = 0; i < bucket_count(); ++i)
    sample_count += snapshot.counts(i);
  WriteTextHeader(snapshot, sample_count, newline, html, output);

  const double max_size = graph_it ? GetPeakBucketSize(snapshot) : 0;

  // Bounds are right-aligned in the width of the longest shown one.
  size_t print_width = 1;
  for (size_t i = 0; i < bucket_count(); ++i) {
    if (snapshot.counts(i))
      print_width = std::max(print_width, GetAsciiBucketRange(i).size() + 1);
  }

  int64_t remaining = sample_count;
  int64_t past = 0;
  for (size_t i = 0; i < bucket_count(); ++i) {
    const Count current = snapshot.counts(i);
    if (!current && !ShowEmptyBucket(i))
      continue;
    remaining -= current;
    const std::string range = GetAsciiBucketRange(i);
    if (range.size() < print_width)
      output->append(print_width - range.size(), ' ');
    AppendText(range, html, output);
    output->push_back(' ');
    if (!current && i < bucket_count() - 1 && !snapshot.counts(i + 1)) {
      // A run of empty buckets becomes one line, with the first one's bound.
      while (i < bucket_count() - 1 && !snapshot.counts(i + 1))
        ++i;
      output->append("... ");
      output->append(newline);
      continue;
    }
    if (graph_it)
      WriteBucketBar(BucketWidth(current, i), max_size, output);
    WriteBucketShares(past, current, remaining, i, output);
    output->append(newline);
    past += current;
  }
  CHECK(past == sample_count);
}

void Histogram::WriteTextHeader(const SampleCounts& snapshot,
                                int64_t sample_count,
                                const std::string& newline,
                                bool html,
                                std::string* output) const {
  output->append("Histogram: ");
  AppendText(histogram_name(), html, output);
  AppendFormat(output, " recorded %lld samples",
               static_cast<long long>(sample_count));
  if (sample_count == 0) {
    CHECK(0 == snapshot.sum());
  } else {
    const double average = static_cast<double>(snapshot.sum()) / sample_count;
    const double variance =
        static_cast<double>(snapshot.square_sum()) / sample_count -
        average * average;
    // Rounding can leave a variance of equal samples a hair below zero.
    const double standard_deviation = std::sqrt(std::max(variance, 0.0));
    AppendFormat(output, ", average = %.1f, standard deviation = %.1f", average,
                 standard_deviation);
  }
  const int shown_flags = flag_bits_ & ~kHexBoundsFlag;
  if (shown_flags)
    AppendFormat(output, " (flags = 0x%x)", static_cast<unsigned>(shown_flags));
  output->append(newline);
}

void Histogram::WriteBucketBar(double current_size,
                               double max_size,
                               std::string* output) const {
  constexpr int kLineLength = 72;
  int x = 0;
  if (max_size > 0) {
    x = static_cast<int>(current_size / max_size * kLineLength + 0.5);
    x = std::clamp(x, 0, kLineLength);
  }
  output->append(x, '-');
  output->push_back('O');
  output->append(kLineLength - x, ' ');
}

void Histogram::WriteBucketShares(int64_t past,
                                  Count current,
                                  int64_t remaining,
                                  size_t i,
                                  std::string* output) const {
  const double scaled_sum = (past + current + remaining) / 100.0;
  AppendFormat(output, " (%d = %3.1f%%)", current, current / scaled_sum);
  if (i > 0)
    AppendFormat(output, " {%3.1f%%}", past / scaled_sum);
}

// LinearHistogram ------------------------------------------------------------

LinearHistogram::LinearHistogram(const char* name,
                                 Sample minimum,
                                 Sample maximum,
                                 size_t bucket_count)
    : LinearHistogram(name, minimum, maximum, bucket_count, REGISTER_NOW) {}

LinearHistogram::LinearHistogram(const char* name,
                                 TimeDelta minimum,
                                 TimeDelta maximum,
                                 size_t bucket_count)
    : LinearHistogram(name,
                      MillisecondsOf(AtLeastOneMillisecond(minimum)),
                      MillisecondsOf(maximum),
                      bucket_count) {}

LinearHistogram::LinearHistogram(const char* name,
                                 Sample minimum,
                                 Sample maximum,
                                 size_t bucket_count,
                                 Registration registration)
    : Histogram(name,
                minimum < 1 ? 1 : minimum,
                maximum,
                bucket_count,
                HISTOGRAM_EVEN_SPACED) {
  LayOutBuckets();
  CHECK(ValidateBucketRanges());
  if (registration == REGISTER_NOW)
    RegisterIfRecording();
}

void LinearHistogram::SetBucketLabels(const BucketLabel descriptions[]) {
  for (size_t i = 0; descriptions[i].description; ++i)
    bucket_labels_[descriptions[i].sample] = descriptions[i].description;
}

int LinearHistogram::histogram_type() const {
  return HISTOGRAM_EVEN_SPACED;
}

bool LinearHistogram::ShowEmptyBucket(size_t index) const {
  return bucket_labels_.find(ranges(index)) == bucket_labels_.end();
}

void LinearHistogram::LayOutBuckets() {
  CHECK(0 < declared_min());
  // bound(i) = (min * (n - 1 - i) + max * (i - 1)) / (n - 2), rounded half
  // up, so that bound 1 is min and bound n - 1 is max. Each product is
  // below 2^62 and the sum below 2^63, so the arithmetic is exact; bounds
  // whose true distance is at least one therefore come out strictly rising.
  const uint64_t min = static_cast<uint64_t>(declared_min());
  const uint64_t max = static_cast<uint64_t>(declared_max());
  const uint64_t n = bucket_count();
  const uint64_t divisor = n - 2;
  for (uint64_t i = 1; i < n; ++i) {
    const uint64_t numerator = min * (n - 1 - i) + max * (i - 1);
    const uint64_t quotient = numerator / divisor;
    const uint64_t rest = numerator % divisor;
    const uint64_t bound = quotient + (rest >= divisor - rest ? 1 : 0);
    SetBucketRange(static_cast<size_t>(i), static_cast<Sample>(bound));
  }
}

size_t LinearHistogram::FindBucket(Sample value) const {
  if (value < declared_min())
    return 0;
  if (value >= declared_max())
    return bucket_count() - 1;
  // The proportional guess can miss by one where a bound was rounded; step
  // to the bucket whose bounds really hold the value. 64-bit arithmetic:
  // the product of the two spans may exceed 32 bits.
  const uint64_t span = static_cast<uint64_t>(declared_max() - declared_min());
  size_t index =
      static_cast<size_t>(static_cast<uint64_t>(value - declared_min()) *
                              (bucket_count() - 2) / span +
                          1);
  CHECK(1 <= index && bucket_count() > index);
  index = std::clamp<size_t>(index, 1, bucket_count() - 2);
  while (value < ranges(index))
    --index;
  while (value >= ranges(index + 1))
    ++index;
  return index;
}

double LinearHistogram::BucketWidth(Count current, size_t i) const {
  CHECK(ranges(i + 1) > ranges(i));
  return current / (static_cast<double>(ranges(i + 1)) - ranges(i));
}

std::string LinearHistogram::GetAsciiBucketRange(size_t i) const {
  const auto label = bucket_labels_.find(ranges(i));
  if (label == bucket_labels_.end())
    return Histogram::GetAsciiBucketRange(i);
  return label->second;
}

// ThreadSafeHistogram --------------------------------------------------------

ThreadSafeHistogram::ThreadSafeHistogram(const char* name,
                                         Sample minimum,
                                         Sample maximum,
                                         size_t bucket_count)
    : Histogram(name, minimum, maximum, bucket_count, HISTOGRAM_LOG_SPACED) {
  RegisterIfRecording();
}

void ThreadSafeHistogram::Remove(int value) {
  if (value >= kSampleType_MAX)
    value = kSampleType_MAX - 1;
  // Add counted a negative sample as 0; taking it back must too.
  if (value < 0)
    value = 0;
  Accumulate(value, -1, FindBucket(value));
}

void ThreadSafeHistogram::CopySamples(SampleCounts* samples) const {
  LockGuard guard(lock_);
  Histogram::CopySamples(samples);
}

void ThreadSafeHistogram::Accumulate(Sample value, Count count, size_t index) {
  LockGuard guard(lock_);
  Histogram::Accumulate(value, count, index);
}

}  // namespace base
