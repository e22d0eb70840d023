// The registry of histograms, its report pages, and the transfer of
// histograms between processes.

#include <climits>
#include <cstring>

#include "base/histogram.h"
#include "base/logging.h"
#include "base/pickle.h"
#include "base/string_util.h"

namespace base {
namespace {

// The shape a transfer announces, with the bounds clamped as a histogram's
// constructor clamps them.
struct TransferredShape {
  std::string name;
  Histogram::Sample declared_min = 0;
  Histogram::Sample declared_max = 0;
  size_t bucket_count = 0;
  int histogram_type = 0;
  int flags = 0;
};

// Why a decoded transfer cannot describe a histogram, or null when it can.
// Checked before anything is built, so that no constructor check can fire
// on what another process sent.
const char* ShapeFault(const TransferredShape& shape,
                       const Histogram::SampleCounts& sample) {
  if (shape.name.empty())
    return "no name";
  if (shape.name.find('\0') != std::string::npos)
    return "a NUL in the name";
  if (shape.declared_min > shape.declared_max)
    return "a minimum above the maximum";
  // Two buckets have room for one bound only, and a linear layout needs
  // three.
  const bool one_bound =
      shape.declared_min == shape.declared_max &&
      shape.histogram_type != Histogram::HISTOGRAM_EVEN_SPACED;
  if (shape.bucket_count < (one_bound ? 2u : 3u))
    return "too few buckets";
  const uint64_t maximal_bucket_count = static_cast<uint64_t>(
      int64_t{shape.declared_max} - shape.declared_min + 2);
  if (shape.bucket_count > maximal_bucket_count)
    return "more buckets than values";
  if (sample.size() != shape.bucket_count)
    return "a count of counts other than the bucket count";
  return nullptr;
}

bool SameShape(const Histogram& histogram, const TransferredShape& shape) {
  return histogram.declared_min() == shape.declared_min &&
         histogram.declared_max() == shape.declared_max &&
         histogram.bucket_count() == shape.bucket_count &&
         histogram.histogram_type() == shape.histogram_type;
}

}  // namespace

// Registry -------------------------------------------------------------------

HistogramRegistry::RegistryMap* HistogramRegistry::histograms_ = nullptr;
Lock* HistogramRegistry::lock_ = nullptr;

HistogramRegistry::HistogramRegistry() {
  CHECK_OR_RETURN(!histograms_, );
  lock_ = new Lock;
  histograms_ = new RegistryMap;
  started_ = true;
}

HistogramRegistry::~HistogramRegistry() {
  if (!started_)
    return;
  CHECK_OR_RETURN(histograms_, );
  delete histograms_;
  histograms_ = nullptr;
  delete lock_;
  lock_ = nullptr;
}

bool HistogramRegistry::IsRecording() {
  return histograms_ != nullptr;
}

bool HistogramRegistry::Register(Histogram* histogram) {
  if (!histograms_)
    return false;
  const std::string name = histogram->histogram_name();
  LockGuard auto_lock(*lock_);
  // The first samples of several threads may each find the histogram not
  // yet registered; all but the first find it entered already.
  const auto found = histograms_->find(name);
  if (found != histograms_->end() && found->second == histogram)
    return true;
  CHECK(histograms_->end() == histograms_->find(name))
      << name
      << " is alreadyregistered as a histogram.  Check for duplicate use of "
         "the name, or a race where a static initializer could be run by "
         "several threads.";
  (*histograms_)[name] = histogram;
  return true;
}

void HistogramRegistry::Withdraw(Histogram* histogram) {
  if (!histograms_)
    return;
  const std::string name = histogram->histogram_name();
  LockGuard auto_lock(*lock_);
  CHECK(histograms_->end() != histograms_->find(name));
  histograms_->erase(name);
}

void HistogramRegistry::AllHistograms(Histograms* output) {
  if (!histograms_)
    return;
  LockGuard auto_lock(*lock_);
  for (const auto& entry : *histograms_)
    output->push_back(entry.second);
}

Histogram* HistogramRegistry::FindHistogram(const std::string& query) {
  if (!histograms_)
    return nullptr;
  LockGuard auto_lock(*lock_);
  for (const auto& entry : *histograms_) {
    if (entry.first.find(query) != std::string::npos)
      return entry.second;
  }
  return nullptr;
}

void HistogramRegistry::MatchingHistograms(const std::string& query,
                                           Histograms* snapshot) {
  LockGuard auto_lock(*lock_);
  for (const auto& entry : *histograms_) {
    if (entry.first.find(query) != std::string::npos)
      snapshot->push_back(entry.second);
  }
}

void HistogramRegistry::WriteHtmlPage(const std::string& query,
                                      std::string* output) {
  if (!IsRecording())
    return;
  output->append("<html><head><title>About Histograms");
  if (!query.empty()) {
    output->append(" - ");
    AppendEscapedHtml(query, output);
  }
  output->append("</title></head><body>");
  Histograms snapshot;
  MatchingHistograms(query, &snapshot);
  for (const Histogram* histogram : snapshot) {
    histogram->WriteHtmlPage(output);
    output->append("<br><hr><br>");
  }
  output->append("</body></html>");
}

void HistogramRegistry::WriteTextPage(const std::string& query,
                                      std::string* output) {
  if (!IsRecording())
    return;
  if (!query.empty()) {
    AppendFormat(output, "Collections of histograms for %s\n", query.c_str());
  } else {
    output->append("Collections of all histograms\n");
  }
  Histograms snapshot;
  MatchingHistograms(query, &snapshot);
  for (const Histogram* histogram : snapshot) {
    histogram->WriteText(true, "\n", output);
    output->append("\n");
  }
}

// Transfer -------------------------------------------------------------------

bool Histogram::SampleCounts::Serialize(Pickle* pickle) const {
  pickle->WriteInt64(sum_);
  pickle->WriteInt64(square_sum_);
  pickle->WriteSize(counts_.size());
  for (const Count count : counts_)
    pickle->WriteInt(count);
  return true;
}

bool Histogram::SampleCounts::Deserialize(void** iter, const Pickle& pickle) {
  CHECK_OR_RETURN(counts_.size() == 0, false);
  CHECK_OR_RETURN(sum_ == 0, false);
  CHECK_OR_RETURN(square_sum_ == 0, false);
  int64_t sum = 0;
  int64_t square_sum = 0;
  size_t counts_size = 0;
  if (!pickle.ReadInt64(iter, &sum) || !pickle.ReadInt64(iter, &square_sum) ||
      !pickle.ReadSize(iter, &counts_size)) {
    return false;
  }
  if (counts_size == 0 || counts_size > INT_MAX / sizeof(Count))
    return false;
  // The counts must lie in the bytes that follow before any room is made
  // for them: a forged count of counts cannot make this process allocate
  // more than the sender sent.
  const char* bytes = nullptr;
  if (!pickle.ReadBytes(iter, &bytes,
                        static_cast<int>(counts_size * sizeof(Count)))) {
    return false;
  }
  std::vector<Count> counts(counts_size);
  memcpy(counts.data(), bytes, counts_size * sizeof(Count));

  int64_t total = 0;
  for (const Count count : counts) {
    if (count < 0)
      return false;
    total += count;
  }
  if (sum < 0 || square_sum < 0)
    return false;
  // No samples, yet a sum: a report of this set would fail its checks.
  if (total == 0 && (sum != 0 || square_sum != 0))
    return false;

  counts_.swap(counts);
  sum_ = sum;
  square_sum_ = square_sum;
  return true;
}

std::string Histogram::PackHistogram(const Histogram& histogram,
                                     const SampleCounts& snapshot) {
  Pickle pickle;
  pickle.WriteString(histogram.histogram_name());
  pickle.WriteInt(histogram.declared_min());
  pickle.WriteInt(histogram.declared_max());
  pickle.WriteSize(histogram.bucket_count());
  pickle.WriteInt(histogram.histogram_type());
  pickle.WriteInt(histogram.flags());
  snapshot.Serialize(&pickle);
  return std::string(pickle.data(), pickle.size());
}

bool Histogram::UnpackHistogram(const std::string& histogram_info) {
  if (histogram_info.empty())
    return false;

  TransferredShape shape;
  SampleCounts sample;
  bool decoded = histogram_info.size() <= INT_MAX;
  if (decoded) {
    const Pickle pickle(histogram_info.data(),
                        static_cast<int>(histogram_info.size()));
    void* iter = nullptr;
    decoded = pickle.ReadString(&iter, &shape.name) &&
              pickle.ReadInt(&iter, &shape.declared_min) &&
              pickle.ReadInt(&iter, &shape.declared_max) &&
              pickle.ReadSize(&iter, &shape.bucket_count) &&
              pickle.ReadInt(&iter, &shape.histogram_type) &&
              pickle.ReadInt(&iter, &shape.flags) &&
              sample.Deserialize(&iter, pickle);
  }
  if (!decoded) {
    LOG(ERROR) << "Picke error decoding Histogram: " << shape.name;
    return false;
  }
  if (shape.histogram_type != HISTOGRAM_LOG_SPACED &&
      shape.histogram_type != HISTOGRAM_EVEN_SPACED) {
    LOG(ERROR) << "Error Deserializing Histogram Unknown histogram_type: "
               << shape.histogram_type;
    return false;
  }
  if (shape.declared_min <= 0)
    shape.declared_min = 1;
  if (shape.declared_max >= kSampleType_MAX)
    shape.declared_max = kSampleType_MAX - 1;
  if (const char* fault = ShapeFault(shape, sample)) {
    LOG(ERROR) << "Histogram transfer refused, " << fault << ": " << shape.name;
    return false;
  }
  // A mirror made now could never be found again.
  if (!HistogramRegistry::IsRecording())
    return false;

  bool same_shape = false;
  bool merged = false;
  {
    // Finding and creating under one hold of the lock: two threads that
    // bring the same new name make one mirror between them, and merging
    // under it too keeps their samples from overwriting each other.
    LockGuard auto_lock(*HistogramRegistry::lock_);
    HistogramRegistry::RegistryMap& map = *HistogramRegistry::histograms_;
    auto found = map.find(shape.name);
    if (found == map.end()) {
      // Mirrors belong to nobody and live until the process ends.
      Histogram* mirror =
          shape.histogram_type == HISTOGRAM_EVEN_SPACED
              ? new LinearHistogram(shape.name.c_str(), shape.declared_min,
                                    shape.declared_max, shape.bucket_count,
                                    LinearHistogram::REGISTER_LATER)
              : new Histogram(shape.name.c_str(), shape.declared_min,
                              shape.declared_max, shape.bucket_count,
                              HISTOGRAM_LOG_SPACED);
      // The sender's flags may claim the mirror bit already; it is set
      // either way.
      mirror->SetFlags(shape.flags | kRendererHistogramFlag);
      mirror->is_registered_.store(true, std::memory_order_relaxed);
      found = map.emplace(shape.name, mirror).first;
    }
    Histogram* const render_histogram = found->second;
    same_shape = SameShape(*render_histogram, shape);
    if (same_shape && (render_histogram->flags() & kRendererHistogramFlag)) {
      render_histogram->MergeSamples(sample);
      merged = true;
    }
  }
  if (!same_shape) {
    LOG(ERROR) << "Histogram transfer does not match the shape of "
               << shape.name;
    return false;
  }
  // Otherwise the histogram is one of this process's own: sender and
  // receiver are one process, and its samples are here already.
  if (!merged) {
    LOG(INFO) << "Single thread mode, histogram observed and not copied: "
              << shape.name;
  }
  return true;
}

void Histogram::UnpackHistogramList(
    const std::vector<std::string>& histograms) {
  for (const std::string& histogram_info : histograms)
    UnpackHistogram(histogram_info);
}

}  // namespace base
