#ifndef BASE_TRACKING_REPORT_H_
#define BASE_TRACKING_REPORT_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/lock_impl.h"
#include "base/time.h"
#include "base/tracked_objects.h"

// The task-tracking data of every thread as a report: snapshots gathered
// from all records, totals over them, and the "About Objects" HTML page
// (ThreadData::WriteHtmlReport), whose query chooses filters, grouping and
// order in a small path-like language, for example "file=foo/count":
//
//   keyword    groups, orders and filters by
//   birth      the name of the thread where the objects were born
//   death      the name of the thread where they died
//   file       the file of their birth place
//   function   the function of their birth place
//   line       the line of their birth place (orders, never splits groups)
//   count      their number (larger first)
//   duration   their mean lifetime (longer first)
//
// Phrases are separated by "/"; the keywords group in the order given, and
// "keyword=text" keeps only objects whose thread, file or function name
// contains the text (case-sensitive; keywords are not). Unknown keywords are
// ignored, as is a keyword given twice. Within a group the order is count,
// duration, birth thread, death thread (still alive first), function, file
// and line. "%3C", "%3E" and "%20" in the query stand for "<", ">" and a
// blank. Every name the page shows is escaped for HTML.
//
// A report is made on one thread while others go on counting; each thread's
// maps are copied once, under its lock, so a report may be a moment old.

namespace tracked_objects {

// One line of data: the deaths, on one thread, of objects born at one place
// on one thread; or, without a death thread, the objects born there that
// are still alive. Points at the Births and ThreadData records, which
// outlive any report; the threads' names are taken when it is made, so
// that one report sorts and shows each thread by one name.
class Snapshot {
 public:
  Snapshot(const BirthOnThread& birth,
           const ThreadData& death_thread,
           const DeathData& death_data);
  // `count` objects still alive.
  Snapshot(const BirthOnThread& birth, int count);

  const BirthOnThread* birth() const { return birth_; }
  // Null for objects still alive.
  const ThreadData* death_thread() const { return death_thread_; }
  const DeathData& death_data() const { return deaths_; }
  const Location& location() const { return birth_->location(); }
  const ThreadData* birth_thread() const { return birth_->birth_thread(); }
  int count() const { return deaths_.count(); }
  int MeanLifeMs() const { return deaths_.MeanLifeMs(); }
  base::TimeDelta total_life() const { return deaths_.total_life(); }

  // The birth thread's name; "UnknownThread" for objects born on a thread
  // that had no record.
  const std::string& BirthThreadName() const { return birth_thread_name_; }
  // The death thread's name; "Still_Alive" for objects still alive.
  const std::string& DeathThreadName() const { return death_thread_name_; }

  // The deaths, "<birth thread>-><death thread> " and the birth place with
  // file and function, escaped for HTML.
  void Write(std::string* output) const;

  void Add(const Snapshot& other);

 private:
  friend class SnapshotGatherer;

  Snapshot(const BirthOnThread& birth,
           const ThreadData* death_thread,
           const DeathData& deaths,
           std::string birth_thread_name,
           std::string death_thread_name);

  const BirthOnThread* birth_;
  const ThreadData* death_thread_;
  DeathData deaths_;
  std::string birth_thread_name_;
  std::string death_thread_name_;
};

using Collection = std::vector<Snapshot>;

// The snapshots of all threads, for one report: the constructor gathers
// every listed record's deaths, then AddLivingEntries adds, for each birth
// counter, the objects born and not yet dead, and collection() hands the
// lot out. On one thread; the records keep counting meanwhile.
class SnapshotGatherer {
 public:
  // Gathers every record in the list; tracking must be active. Gives the
  // calling thread its record.
  SnapshotGatherer();
  SnapshotGatherer(const SnapshotGatherer&) = delete;
  SnapshotGatherer& operator=(const SnapshotGatherer&) = delete;

  // Adds one thread's deaths, and the births counted on it. Only for the
  // records the constructor counted.
  void Append(const ThreadData& thread_data);

  // Adds a snapshot of the objects still alive for each birth counter whose
  // births outnumber the deaths gathered: births minus deaths on every
  // thread. After every record was appended.
  void AddLivingEntries();

  // The snapshots: deaths in list and map order, then the living.
  Collection* collection();

 private:
  // `thread`'s name, read once per report. Under gather_lock_.
  const std::string& CachedName(const ThreadData& thread);
  std::string BirthThreadNameOf(const BirthOnThread& birth);

  int count_of_contributing_threads_ = 0;  // Records still to be appended.
  Collection collection_;
  // For each birth counter: births less deaths gathered so far.
  std::map<const BirthOnThread*, int> birth_totals_;
  std::map<const ThreadData*, std::string> thread_names_;
  // Guards the above while records are appended.
  base::Lock gather_lock_;
};

// Totals over a set of snapshots: the sum of their deaths (the DeathData
// part), and how many distinct places, files and threads they come from.
class SnapshotTotals : public DeathData {
 public:
  void AddDeathEntry(const Snapshot& snapshot);
  void AddBirths(const Births& births);
  void AddBirth(const BirthOnThread& birth);
  void AddBirthPlace(const Location& location);

  // Names the one place, file and threads they share, or counts them; then
  // the summed deaths.
  void Write(std::string* output) const;
  void Clear();

 private:
  int births_ = 0;
  std::map<std::string, int> file_counts_;
  std::map<Location, int, LocationOrder> location_counts_;
  std::map<const ThreadData*, int> birth_thread_counts_;
  // The null key stands for objects still alive.
  std::map<const ThreadData*, int> death_thread_counts_;
};

// The filters, grouping and order of a query, as a chain of links: each
// link compares by one selector and passes what it cannot decide to the
// next. The head holds the first grouping selector, more grouping links
// follow, and the last of them (its flag set) leads into the links that
// only order items within a group. The head owns the chain. One thread.
class Comparator {
 public:
  enum Selector {
    NIL = 0,
    BY_BIRTH_THREAD = 1,
    BY_DEATH_THREAD = 2,
    BY_BIRTH_FILE = 4,
    BY_BIRTH_FUNCTION = 8,
    BY_BIRTH_LINE = 16,
    COUNT = 32,
    AVERAGE_LIFE = 64,
  };

  Comparator() = default;
  Comparator(const Comparator&) = delete;
  Comparator& operator=(const Comparator&) = delete;

  // Frees the links below and makes this link empty again; the filter text
  // and the selectors seen stay.
  void Clear();

  // Whether `left` sorts before `right`.
  bool operator()(const Snapshot& left, const Snapshot& right) const;
  void Sort(Collection* collection) const;
  // Whether the two belong to one group.
  bool Equivalent(const Snapshot& left, const Snapshot& right) const;
  // Whether `sample` passes every filter.
  bool Acceptable(const Snapshot& sample) const;

  // Appends a grouping selector, with the text its field must contain
  // (empty: any). A selector already grouped by is ignored.
  void AddSortKey(Selector selector, const std::string& required);
  // Appends a selector that only orders within groups, unless the chain
  // already has it.
  void AddGroupingKey(Selector selector);
  bool IsGroupedBy(Selector selector) const {
    return (all_selectors_ & selector) != 0;
  }

  // One phrase of a query: "keyword" or "keyword=text".
  void ParseQueryWord(const std::string& key_phrase);
  // A whole query, then the order within groups. Always true.
  bool ParseQuery(const std::string& query);

  // The group header for `sample`; true when a thread selector wrote
  // something.
  bool WriteSortGrouping(const Snapshot& sample, std::string* output) const;
  // One line for `sample`, leaving out what the group header says.
  void WriteSnapshot(const Snapshot& sample, std::string* output) const;

 private:
  Selector key_kind_ = NIL;
  std::string filter_text_;  // Empty: no filter.
  std::unique_ptr<Comparator> next_key_;
  // The grouping selectors at and below this link.
  int all_selectors_ = 0;
  // Set: the links below only order items within a group.
  bool use_tiebreaker_for_sort_only_ = false;
};

// The query with "%3C" (either case), "%3E" (either case) and "%20"
// replaced by "<", ">" and a blank; any other "%" stays as it is.
std::string DecodeQueryText(const std::string& query);

}  // namespace tracked_objects

#endif  // BASE_TRACKING_REPORT_H_
