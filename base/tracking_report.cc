#include "base/tracking_report.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "base/histogram.h"
#include "base/logging.h"
#include "base/string_util.h"

namespace tracked_objects {

namespace {

// The name shown for a birth thread that had no record.
const char kUnknownThreadName[] = "UnknownThread";
const char kStillAliveName[] = "Still_Alive";

std::string NameOfBirthThread(const ThreadData* thread) {
  return thread ? thread->ThreadName() : kUnknownThreadName;
}

void AppendEscaped(const char* text, std::string* output) {
  base::AppendEscapedHtml(text, output);
}

// A place as "<file>[<line>] " (the word "line" without the file) and the
// function name and a blank when asked, escaped for HTML.
void WriteLocation(const Location& location,
                   bool display_filename,
                   bool display_function_name,
                   std::string* output) {
  if (display_filename) {
    AppendEscaped(location.file_name(), output);
  } else {
    output->append("line");
  }
  base::AppendFormat(output, "[%d] ", location.line_number());
  if (!display_function_name)
    return;
  AppendEscaped(location.function_name(), output);
  output->push_back(' ');
}

// `prefix`, `text` escaped, then `suffix`.
void WriteEscapedBetween(const char* prefix,
                         const std::string& text,
                         const char* suffix,
                         std::string* output) {
  output->append(prefix);
  base::AppendEscapedHtml(text, output);
  output->append(suffix);
}

// Whether two zero-terminated names differ as text; the same literal is
// the same text without a look.
bool NamesDiffer(const char* left, const char* right) {
  return left != right && std::strcmp(left, right) != 0;
}

bool BirthThreadsDiffer(const Snapshot& left, const Snapshot& right) {
  return left.birth_thread() != right.birth_thread() &&
         left.BirthThreadName() != right.BirthThreadName();
}

// Objects still alive differ from every death thread, whatever its name:
// with a thread named like the living, telling the two apart by name alone
// would make the order inconsistent.
bool DeathThreadsDiffer(const Snapshot& left, const Snapshot& right) {
  if (left.death_thread() == right.death_thread())
    return false;
  if (!left.death_thread() || !right.death_thread())
    return true;
  return left.DeathThreadName() != right.DeathThreadName();
}

}  // namespace

// Snapshot --------------------------------------------------------------------

Snapshot::Snapshot(const BirthOnThread& birth,
                   const ThreadData& death_thread,
                   const DeathData& death_data)
    : Snapshot(birth,
               &death_thread,
               death_data,
               NameOfBirthThread(birth.birth_thread()),
               death_thread.ThreadName()) {}

Snapshot::Snapshot(const BirthOnThread& birth, int count)
    : Snapshot(birth,
               nullptr,
               DeathData(count),
               NameOfBirthThread(birth.birth_thread()),
               kStillAliveName) {}

Snapshot::Snapshot(const BirthOnThread& birth,
                   const ThreadData* death_thread,
                   const DeathData& deaths,
                   std::string birth_thread_name,
                   std::string death_thread_name)
    : birth_(&birth),
      death_thread_(death_thread),
      deaths_(deaths),
      birth_thread_name_(std::move(birth_thread_name)),
      death_thread_name_(std::move(death_thread_name)) {}

void Snapshot::Write(std::string* output) const {
  deaths_.Write(output);
  WriteEscapedBetween("", birth_thread_name_, "->", output);
  WriteEscapedBetween("", death_thread_name_, " ", output);
  WriteLocation(location(), true, true, output);
}

void Snapshot::Add(const Snapshot& other) {
  deaths_.AddDeaths(other.deaths_);
}

// SnapshotGatherer ------------------------------------------------------------

SnapshotGatherer::SnapshotGatherer() {
  CHECK_OR_RETURN(ThreadData::IsActive(), );
  ThreadData::current();
  ThreadData* const head = ThreadData::first();
  for (const ThreadData* record = head; record; record = record->next())
    ++count_of_contributing_threads_;
  for (const ThreadData* record = head; record; record = record->next())
    Append(*record);
}

void SnapshotGatherer::Append(const ThreadData& thread_data) {
  ThreadData::BirthTable birth_map;
  ThreadData::DeathTable death_map;
  thread_data.CopyBirthRecords(&birth_map);
  thread_data.CopyDeathRecords(&death_map);

  base::LockGuard guard(gather_lock_);
  CHECK_OR_RETURN(count_of_contributing_threads_, );
  const std::string death_thread_name = CachedName(thread_data);
  for (const auto& [births, deaths] : death_map) {
    collection_.push_back(Snapshot(*births, &thread_data, deaths,
                                   BirthThreadNameOf(*births),
                                   death_thread_name));
    // The objects that died here are no longer alive: their number, not
    // the births of their counter, is taken off.
    birth_totals_[births] -= deaths.count();
  }
  for (const auto& [location, births] : birth_map)
    birth_totals_[births] += births->birth_count();
  --count_of_contributing_threads_;
}

void SnapshotGatherer::AddLivingEntries() {
  base::LockGuard guard(gather_lock_);
  CHECK_OR_RETURN(!count_of_contributing_threads_, );
  for (const auto& [birth, count] : birth_totals_) {
    if (count > 0) {
      collection_.push_back(Snapshot(*birth, nullptr, DeathData(count),
                                     BirthThreadNameOf(*birth),
                                     kStillAliveName));
    }
  }
}

Collection* SnapshotGatherer::collection() {
  CHECK(!count_of_contributing_threads_);
  return &collection_;
}

const std::string& SnapshotGatherer::CachedName(const ThreadData& thread) {
  const auto found = thread_names_.find(&thread);
  if (found != thread_names_.end())
    return found->second;
  return thread_names_.emplace(&thread, thread.ThreadName()).first->second;
}

std::string SnapshotGatherer::BirthThreadNameOf(const BirthOnThread& birth) {
  const ThreadData* const thread = birth.birth_thread();
  return thread ? CachedName(*thread) : kUnknownThreadName;
}

// SnapshotTotals --------------------------------------------------------------

void SnapshotTotals::AddDeathEntry(const Snapshot& snapshot) {
  AddBirth(*snapshot.birth());
  death_thread_counts_[snapshot.death_thread()] += 1;
  AddDeaths(snapshot.death_data());
}

void SnapshotTotals::AddBirths(const Births& births) {
  AddBirth(births);
  births_ += births.birth_count();
}

void SnapshotTotals::AddBirth(const BirthOnThread& birth) {
  AddBirthPlace(birth.location());
  birth_thread_counts_[birth.birth_thread()] += 1;
}

void SnapshotTotals::AddBirthPlace(const Location& location) {
  location_counts_[location] += 1;
  file_counts_[location.file_name()] += 1;
}

void SnapshotTotals::Write(std::string* output) const {
  // Each part names the one thing all entries share, or counts them; an
  // empty map names nothing.
  if (location_counts_.size() == 1) {
    WriteLocation(location_counts_.begin()->first, true, true, output);
  } else {
    base::AppendFormat(output, "%d Locations. ",
                       static_cast<int>(location_counts_.size()));
    if (file_counts_.size() == 1) {
      WriteEscapedBetween("All born in ", file_counts_.begin()->first, ". ",
                          output);
    } else if (file_counts_.size() > 1) {
      base::AppendFormat(output, "%d Files. ",
                         static_cast<int>(file_counts_.size()));
    }
  }

  if (birth_thread_counts_.size() == 1) {
    WriteEscapedBetween("All born on ",
                        NameOfBirthThread(birth_thread_counts_.begin()->first),
                        ". ", output);
  } else if (birth_thread_counts_.size() > 1) {
    base::AppendFormat(output, "%d BirthingThreads. ",
                       static_cast<int>(birth_thread_counts_.size()));
  }

  if (death_thread_counts_.size() == 1) {
    const ThreadData* const death_thread = death_thread_counts_.begin()->first;
    if (death_thread) {
      WriteEscapedBetween("All deleted on ", death_thread->ThreadName(), ". ",
                          output);
    } else {
      output->append("All these objects are still alive.");
    }
  } else if (death_thread_counts_.size() > 1) {
    base::AppendFormat(output, "%d DeathThreads. ",
                       static_cast<int>(death_thread_counts_.size()));
  }

  if (births_ > 1)
    base::AppendFormat(output, "Births=%d ", births_);
  DeathData::Write(output);
}

void SnapshotTotals::Clear() {
  DeathData::Clear();
  births_ = 0;
  file_counts_.clear();
  location_counts_.clear();
  birth_thread_counts_.clear();
  death_thread_counts_.clear();
}

// Comparator
// --------------------------------------------------------------------

void Comparator::Clear() {
  next_key_.reset();
  use_tiebreaker_for_sort_only_ = false;
  key_kind_ = NIL;
}

bool Comparator::operator()(const Snapshot& left, const Snapshot& right) const {
  switch (key_kind_) {
    case BY_BIRTH_THREAD:
      if (BirthThreadsDiffer(left, right))
        return left.BirthThreadName() < right.BirthThreadName();
      break;
    case BY_DEATH_THREAD:
      if (DeathThreadsDiffer(left, right)) {
        if (!left.death_thread())
          return true;
        if (!right.death_thread())
          return false;
        return left.DeathThreadName() < right.DeathThreadName();
      }
      break;
    case BY_BIRTH_FILE:
      if (NamesDiffer(left.location().file_name(),
                      right.location().file_name())) {
        return std::strcmp(left.location().file_name(),
                           right.location().file_name()) < 0;
      }
      break;
    case BY_BIRTH_FUNCTION:
      if (NamesDiffer(left.location().function_name(),
                      right.location().function_name())) {
        return std::strcmp(left.location().function_name(),
                           right.location().function_name()) < 0;
      }
      break;
    case BY_BIRTH_LINE:
      if (left.location().line_number() != right.location().line_number())
        return left.location().line_number() < right.location().line_number();
      break;
    case COUNT:
      if (left.count() != right.count())
        return left.count() > right.count();
      break;
    case AVERAGE_LIFE:
      if (left.MeanLifeMs() != right.MeanLifeMs())
        return left.MeanLifeMs() > right.MeanLifeMs();
      break;
    case NIL:
      break;
  }
  return next_key_ && (*next_key_)(left, right);
}

void Comparator::Sort(Collection* collection) const {
  std::sort(collection->begin(), collection->end(), std::cref(*this));
}

bool Comparator::Equivalent(const Snapshot& left, const Snapshot& right) const {
  bool differ = false;
  switch (key_kind_) {
    case BY_BIRTH_THREAD:
      differ = BirthThreadsDiffer(left, right);
      break;
    case BY_DEATH_THREAD:
      differ = DeathThreadsDiffer(left, right);
      break;
    case BY_BIRTH_FILE:
      differ = NamesDiffer(left.location().file_name(),
                           right.location().file_name());
      break;
    case BY_BIRTH_FUNCTION:
      differ = NamesDiffer(left.location().function_name(),
                           right.location().function_name());
      break;
    case COUNT:
      differ = left.count() != right.count();
      break;
    case AVERAGE_LIFE:
      differ = left.total_life() != right.total_life();
      break;
    case BY_BIRTH_LINE:
    case NIL:
      break;
  }
  if (differ)
    return false;
  if (next_key_ && !use_tiebreaker_for_sort_only_)
    return next_key_->Equivalent(left, right);
  return true;
}

bool Comparator::Acceptable(const Snapshot& sample) const {
  if (!filter_text_.empty()) {
    bool accepted = true;
    switch (key_kind_) {
      case BY_BIRTH_THREAD:
        accepted =
            sample.BirthThreadName().find(filter_text_) != std::string::npos;
        break;
      case BY_DEATH_THREAD:
        accepted =
            sample.DeathThreadName().find(filter_text_) != std::string::npos;
        break;
      case BY_BIRTH_FILE:
        accepted = std::strstr(sample.location().file_name(),
                               filter_text_.c_str()) != nullptr;
        break;
      case BY_BIRTH_FUNCTION:
        accepted = std::strstr(sample.location().function_name(),
                               filter_text_.c_str()) != nullptr;
        break;
      default:
        break;
    }
    if (!accepted)
      return false;
  }
  if (next_key_ && !use_tiebreaker_for_sort_only_)
    return next_key_->Acceptable(sample);
  return true;
}

void Comparator::AddSortKey(Selector selector, const std::string& required) {
  if (selector == key_kind_ || selector == NIL)
    return;
  all_selectors_ |= selector;
  if (key_kind_ == NIL) {
    key_kind_ = selector;
    if (!required.empty())
      filter_text_ = required;
    return;
  }
  if (!next_key_) {
    CHECK_OR_RETURN(!use_tiebreaker_for_sort_only_, );
    next_key_ = std::make_unique<Comparator>();
  } else if (use_tiebreaker_for_sort_only_) {
    // The new grouping link goes before the links that only order, and
    // becomes the last grouping link.
    auto grouping = std::make_unique<Comparator>();
    grouping->next_key_ = std::move(next_key_);
    grouping->use_tiebreaker_for_sort_only_ = true;
    use_tiebreaker_for_sort_only_ = false;
    next_key_ = std::move(grouping);
  }
  next_key_->AddSortKey(selector, required);
}

void Comparator::AddGroupingKey(Selector selector) {
  if (selector == key_kind_ || selector == NIL)
    return;
  if (next_key_) {
    next_key_->AddGroupingKey(selector);
    return;
  }
  use_tiebreaker_for_sort_only_ = true;
  next_key_ = std::make_unique<Comparator>();
  next_key_->AddSortKey(selector, "");
}

void Comparator::ParseQueryWord(const std::string& key_phrase) {
  static const struct {
    const char* keyword;
    Selector selector;
  } kKeywords[] = {
      {"count", COUNT},           {"duration", AVERAGE_LIFE},
      {"birth", BY_BIRTH_THREAD}, {"death", BY_DEATH_THREAD},
      {"file", BY_BIRTH_FILE},    {"function", BY_BIRTH_FUNCTION},
      {"line", BY_BIRTH_LINE},
  };
  std::string keyword = key_phrase;
  std::string required;
  const size_t equals = key_phrase.find('=');
  if (equals != std::string::npos) {
    required = key_phrase.substr(equals + 1);
    keyword = key_phrase.substr(0, equals);
  }
  base::LowerAsciiInPlace(&keyword);
  for (const auto& entry : kKeywords) {
    if (keyword == entry.keyword) {
      AddSortKey(entry.selector, required);
      return;
    }
  }
}

bool Comparator::ParseQuery(const std::string& query) {
  size_t start = 0;
  while (start < query.size()) {
    const size_t slash = query.find('/', start);
    if (slash == std::string::npos) {
      ParseQueryWord(query.substr(start));
      break;
    }
    ParseQueryWord(query.substr(start, slash - start));
    start = slash + 1;
  }
  for (const Selector selector :
       {COUNT, AVERAGE_LIFE, BY_BIRTH_THREAD, BY_DEATH_THREAD,
        BY_BIRTH_FUNCTION, BY_BIRTH_FILE, BY_BIRTH_LINE}) {
    AddGroupingKey(selector);
  }
  return true;
}

bool Comparator::WriteSortGrouping(const Snapshot& sample,
                                   std::string* output) const {
  bool wrote_thread = false;
  switch (key_kind_) {
    case BY_BIRTH_THREAD:
      WriteEscapedBetween("All new on ", sample.BirthThreadName(), " ", output);
      wrote_thread = true;
      break;
    case BY_DEATH_THREAD:
      if (sample.death_thread()) {
        WriteEscapedBetween("All deleted on ", sample.DeathThreadName(), " ",
                            output);
      } else {
        output->append("All still alive ");
      }
      wrote_thread = true;
      break;
    case BY_BIRTH_FILE:
      WriteEscapedBetween("All born in ", sample.location().file_name(), " ",
                          output);
      break;
    case BY_BIRTH_FUNCTION:
      WriteEscapedBetween("All born in ", sample.location().function_name(),
                          " ", output);
      break;
    default:
      break;
  }
  if (next_key_ && !use_tiebreaker_for_sort_only_)
    wrote_thread |= next_key_->WriteSortGrouping(sample, output);
  return wrote_thread;
}

void Comparator::WriteSnapshot(const Snapshot& sample,
                               std::string* output) const {
  sample.death_data().Write(output);
  const bool by_birth_thread = IsGroupedBy(BY_BIRTH_THREAD);
  const bool by_death_thread = IsGroupedBy(BY_DEATH_THREAD);
  if (!by_birth_thread || !by_death_thread) {
    WriteEscapedBetween("", by_birth_thread ? "*" : sample.BirthThreadName(),
                        "->", output);
    WriteEscapedBetween("", by_death_thread ? "*" : sample.DeathThreadName(),
                        " ", output);
  }
  WriteLocation(sample.location(), !IsGroupedBy(BY_BIRTH_FILE),
                !IsGroupedBy(BY_BIRTH_FUNCTION), output);
}

std::string DecodeQueryText(const std::string& query) {
  std::string decoded;
  decoded.reserve(query.size());
  for (size_t i = 0; i < query.size(); ++i) {
    if (query[i] == '%' && i + 2 < query.size()) {
      const std::string code = query.substr(i + 1, 2);
      char replacement = 0;
      if (base::EqualsLowerAscii(code, "3c")) {
        replacement = '<';
      } else if (base::EqualsLowerAscii(code, "3e")) {
        replacement = '>';
      } else if (code == "20") {
        replacement = ' ';
      }
      if (replacement) {
        decoded.push_back(replacement);
        i += 2;
        continue;
      }
    }
    decoded.push_back(query[i]);
  }
  return decoded;
}

// The page --------------------------------------------------------------------

// static
void ThreadData::WriteHtmlReport(const std::string& query,
                                 std::string* output) {
  if (!IsActive())
    return;
  CHECK_OR_RETURN(ThreadData::current(), );

  output->append("<html><head><title>About Objects");
  // Decoded for the filters; escaped wherever the page shows it.
  const std::string escaped_query = DecodeQueryText(query);
  if (!escaped_query.empty())
    WriteEscapedBetween(" - ", escaped_query, "", output);
  output->append("</title></head><body><pre>");

  SnapshotGatherer collected_data;
  collected_data.AddLivingEntries();

  Comparator comparator;
  comparator.ParseQuery(escaped_query);

  Collection match_array;
  for (const Snapshot& snapshot : *collected_data.collection()) {
    if (comparator.Acceptable(snapshot))
      match_array.push_back(snapshot);
  }
  comparator.Sort(&match_array);

  WriteHTMLTotalAndSubtotals(match_array, comparator, output);
  comparator.Clear();
  output->append("</pre></body></html>");
}

// static
void ThreadData::WriteHTMLTotalAndSubtotals(const Collection& match_array,
                                            const Comparator& comparator,
                                            std::string* output) {
  if (match_array.empty()) {
    output->append("There were no tracked matches.");
    return;
  }

  SnapshotTotals totals;
  for (const Snapshot& snapshot : match_array)
    totals.AddDeathEntry(snapshot);
  output->append("Aggregate Stats: ");
  totals.Write(output);
  output->append("<hr><hr>");

  SnapshotTotals subtotals;
  for (size_t i = 0; i < match_array.size(); ++i) {
    const Snapshot& snapshot = match_array[i];
    if (i == 0 || !comparator.Equivalent(match_array[i - 1], snapshot)) {
      comparator.WriteSortGrouping(snapshot, output);
      output->append("<br><br>");
    }
    comparator.WriteSnapshot(snapshot, output);
    output->append("<br>");
    subtotals.AddDeathEntry(snapshot);
    if (i + 1 == match_array.size() ||
        !comparator.Equivalent(snapshot, match_array[i + 1])) {
      output->append("<br>");
      subtotals.Write(output);
      output->append("<br><hr><br>");
      subtotals.Clear();
    }
  }
}

}  // namespace tracked_objects
