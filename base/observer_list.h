#ifndef BASE_OBSERVER_LIST_H_
#define BASE_OBSERVER_LIST_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/logging.h"

namespace base {

// A list of observer pointers, in the order they were added, that may be
// changed while it is being notified.
//
// Observers are notified by walking an Iterator:
//
//   ObserverList<Observer>::Iterator it(list);
//   while (Observer* observer = it.GetNext())
//     observer->OnEvent();
//
// While any iterator is alive, RemoveObserver only nulls the observer's
// entry, so that the positions under a running iterator never move; the
// null entries are dropped when the outermost iterator ends. Observers added
// during a notification are notified in the same pass with
// NOTIFY_INCLUDING_NEW, and not with NOTIFY_PRESENT_ONLY.
//
// The list does not own its observers. One thread only; no locking. With
// `check_empty`, a list destroyed with observers left is a failed check.
template <typename ObserverType, bool check_empty = false>
class ObserverList {
 public:
  enum NotifyScope {
    // Observers added during a notification are notified in it too.
    NOTIFY_INCLUDING_NEW = 0,
    // A notification reaches only the observers present when it began.
    NOTIFY_PRESENT_ONLY = 1,
  };

  // One pass over the list. Not copyable; it must not outlive the list.
  class Iterator {
   public:
    explicit Iterator(ObserverList& list)
        : list_(list),
          end_index_(list.type_ == NOTIFY_INCLUDING_NEW
                         ? std::numeric_limits<size_t>::max()
                         : list.observers_.size()) {
      ++list_.iteration_depth_;
    }
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;
    ~Iterator() {
      if (--list_.iteration_depth_ == 0)
        list_.Compact();
    }

    // The next observer still in the list, or null at the end of the pass.
    ObserverType* GetNext() {
      const size_t bound = std::min(end_index_, list_.observers_.size());
      while (index_ < bound && !list_.observers_[index_])
        ++index_;
      return index_ < bound ? list_.observers_[index_++] : nullptr;
    }

   private:
    ObserverList& list_;
    size_t index_ = 0;        // The next position to look at.
    const size_t end_index_;  // The bound of the pass; see NotifyScope.
  };

  ObserverList() = default;
  explicit ObserverList(NotifyScope type) : type_(type) {}
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;
  ~ObserverList() {
    if constexpr (check_empty) {
      Compact();
      CHECK_EQ(observers_.size(), 0U);
    }
  }

  // Adding an observer that is already in the list is a failed check and
  // leaves the list as it was.
  void AddObserver(ObserverType* obs) {
    using std::find;
    CHECK_OR_RETURN(
        find(observers_.begin(), observers_.end(), obs) == observers_.end(), ,
        "Observers can only be added once!");
    observers_.push_back(obs);
  }

  // Removes `obs`; an observer that is not in the list is ignored.
  void RemoveObserver(ObserverType* obs) {
    const auto it = std::find(observers_.begin(), observers_.end(), obs);
    if (it == observers_.end())
      return;
    if (iteration_depth_ > 0) {
      *it = nullptr;
    } else {
      observers_.erase(it);
    }
  }

  // The number of entries, counting those removed during a notification
  // that is still running.
  size_t size() const { return observers_.size(); }

 private:
  // Drops the entries removed during notifications, keeping the order.
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  std::vector<ObserverType*> observers_;  // Null: removed while iterating.
  int32_t iteration_depth_ = 0;           // Iterators alive on this list.
  const NotifyScope type_ = NOTIFY_INCLUDING_NEW;
};

}  // namespace base

#endif  // BASE_OBSERVER_LIST_H_
