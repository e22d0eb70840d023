#ifndef BASE_OBSERVER_LIST_THREADSAFE_H_
#define BASE_OBSERVER_LIST_THREADSAFE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "base/lock_impl.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/observer_list.h"
#include "base/ref_counted.h"
#include "base/task.h"

namespace base {

namespace internal {

// The part of every thread-safe observer list that does not depend on the
// observer type: it hears of the destruction of every loop that has
// observers, so that no list keeps, or posts to, a loop that is gone. A new
// loop may be given the address of a destroyed one; the list must not take
// it for the old one.
//
// Lists are kept in a process-wide registry from construction to
// destruction. Nothing else is locked, and no observer runs, while the
// registry's lock is held, so any code may take it, also under a list's
// own lock.
class ObserverListThreadSafeBase {
 public:
  ObserverListThreadSafeBase(const ObserverListThreadSafeBase&) = delete;
  ObserverListThreadSafeBase& operator=(const ObserverListThreadSafeBase&) =
      delete;

 protected:
  ObserverListThreadSafeBase();
  virtual ~ObserverListThreadSafeBase();

  // Makes sure that `loop`, the calling thread's loop, tells every list
  // when it is about to be destroyed. On the loop's thread.
  static void WatchLoop(MessageLoop* loop);

  // Leaves the registry and waits for DropLoop calls under way: none is
  // made from then on. The derived list calls it first thing in its
  // destructor, before its map goes.
  void LeaveRegistry();

  // `loop` is about to be destroyed: forget its observers. Called on the
  // loop's thread; LeaveRegistry waits for calls under way.
  virtual void DropLoop(MessageLoop* loop) = 0;

 private:
  friend class LoopWatcher;

  // The registry's links and marks, guarded by the registry's lock: the
  // neighbours in the list of lists, whether this list is in it, and how
  // many dying loops are dropping their observers from it right now.
  ObserverListThreadSafeBase* previous_ = nullptr;
  ObserverListThreadSafeBase* next_ = nullptr;
  bool registered_ = false;
  int visits_ = 0;
};

}  // namespace internal

// A list of observers that live on several threads, each called back on
// its own thread. It keeps one ObserverList per message loop: AddObserver
// and RemoveObserver work on the calling thread's loop's list, and Notify,
// callable from any thread, posts one task to every loop that has
// observers; that task calls the loop's observers, in the order they were
// added, on the loop's thread. Notify returns before any observer has run.
//
// Reference-counted: every pending notification holds a reference, so the
// list outlives them. AddObserver and RemoveObserver for one observer must
// be called on the same thread; on a thread without a message loop they do
// nothing. A notification reaches only the observers that are still in the
// list when it runs, and never a list made after it was posted (each loop's
// list carries a generation number, so a new list at the address of an old
// one is still told apart). When a loop is destroyed, its observers are
// dropped.
//
// `list_lock_` guards the map from loops to lists; each loop's list itself
// is touched only on that loop's thread, without the lock.
template <typename ObserverType>
class ObserverListThreadSafe
    : public SharedCountedSafe<ObserverListThreadSafe<ObserverType>>,
      public internal::ObserverListThreadSafeBase {
 public:
  // `notify_function_name` names the place where notification tasks are
  // born, as task-tracking reports show it; it must live as long as the
  // program (a literal). Null takes the compiler's name of Notify.
  explicit ObserverListThreadSafe(const char* notify_function_name = nullptr)
      : notify_function_name_(notify_function_name) {}

  // Adds `obs` on the calling thread's loop. Adding an observer twice is a
  // failed check.
  void AddObserver(ObserverType* obs) {
    MessageLoop* const loop = MessageLoop::current();
    if (!loop)
      return;
    WatchLoop(loop);
    LoopList* list = nullptr;
    {
      LockGuard guard(list_lock_);
      auto it = observer_lists_.find(loop);
      if (it == observer_lists_.end()) {
        it = observer_lists_.emplace(loop, new LoopList(++last_generation_))
                 .first;
      }
      list = it->second;
    }
    list->AddObserver(obs);
  }

  // Removes `obs` from the calling thread's loop's list. Removing on a
  // thread whose loop has no observers here is a failed check.
  void RemoveObserver(ObserverType* obs) {
    MessageLoop* const loop = MessageLoop::current();
    if (!loop)
      return;
    LoopList* list = nullptr;
    {
      LockGuard guard(list_lock_);
      const auto it = observer_lists_.find(loop);
      if (it == observer_lists_.end()) {
        NOTREACHED() << "RemoveObserver called on for unknown thread";
        return;
      }
      list = it->second;
    }
    list->RemoveObserver(obs);
    // The loop's entry goes with its last live observer, and only then:
    // entries that a running notification merely nulled are not counted,
    // and removing an observer that is not there changes nothing.
    if (HasLiveObservers(list))
      return;
    {
      LockGuard guard(list_lock_);
      const auto it = observer_lists_.find(loop);
      if (it != observer_lists_.end() && it->second == list)
        observer_lists_.erase(it);
    }
    // During a notification on this thread the list still holds the nulled
    // entries; that notification deletes it when it ends.
    if (list->size() == 0)
      delete list;
  }

  // Posts to every loop with observers a task that calls
  // `(observer->*method)(args...)` on each of them, with copies of `args`.
  template <typename Method, typename... Args>
  void Notify(Method method, const Args&... args) {
    const std::function<void(ObserverType*)> call =
        [method, args...](ObserverType* observer) {
          (observer->*method)(args...);
        };
    const tracked_objects::Location from_here(
        notify_function_name_ ? notify_function_name_ : __PRETTY_FUNCTION__,
        __FILE__, kNotifyLine);
    // The tasks are made before the lock is taken: making a task reads the
    // clock, and the first reading makes the clock, which joins the
    // power-state monitor's list (perhaps this one).
    std::vector<std::unique_ptr<NotifyTask>> tasks;
    size_t loops = LoopCount();
    for (;;) {
      while (tasks.size() < loops)
        tasks.push_back(std::make_unique<NotifyTask>(this, call));
      // Posted under the lock: a loop in the map has not yet begun to be
      // destroyed (it drops its entries under this lock first), so the
      // post never reaches a loop that is gone.
      LockGuard guard(list_lock_);
      loops = observer_lists_.size();
      if (loops > tasks.size())
        continue;  // A loop joined meanwhile.
      auto task = tasks.begin();
      for (const auto& [loop, list] : observer_lists_) {
        (*task)->set_generation(list->generation());
        loop->QueueTask(from_here, (task++)->release());
      }
      return;
    }
  }

 protected:
  ~ObserverListThreadSafe() override {
    LeaveRegistry();
    LockGuard guard(list_lock_);
    for (const auto& entry : observer_lists_)
      delete entry.second;
    observer_lists_.clear();
  }

 private:
  friend class SharedCountedSafe<ObserverListThreadSafe<ObserverType>>;

  // Notification tasks are born at one fixed place, which task-tracking
  // reports show by this line.
  static constexpr int kNotifyLine = 140;

  // One loop's observers, with the number that tells this list from every
  // other list made for the loop before or after it.
  class LoopList : public ObserverList<ObserverType> {
   public:
    explicit LoopList(uint64_t generation)
        : ObserverList<ObserverType>(
              ObserverList<ObserverType>::NOTIFY_INCLUDING_NEW),
          generation_(generation) {}
    uint64_t generation() const { return generation_; }

   private:
    const uint64_t generation_;
  };

  // Calls a notification on one loop's observers.
  class NotifyTask : public Task {
   public:
    NotifyTask(ObserverListThreadSafe* owner,
               std::function<void(ObserverType*)> call)
        : owner_(owner), call_(std::move(call)) {}

    // Names the list the notification is for.
    void set_generation(uint64_t generation) { generation_ = generation; }

    void Run() override { owner_->NotifyOnThisLoop(generation_, call_); }

   private:
    const shared_ref<ObserverListThreadSafe> owner_;
    const std::function<void(ObserverType*)> call_;
    uint64_t generation_ = 0;  // Of the list the notification is for.
  };

  size_t LoopCount() {
    LockGuard guard(list_lock_);
    return observer_lists_.size();
  }

  // Whether a notification would reach anyone: nulled entries of a running
  // notification do not count.
  static bool HasLiveObservers(LoopList* list) {
    typename ObserverList<ObserverType>::Iterator it(*list);
    return it.GetNext() != nullptr;
  }

  // Runs on the loop's thread: calls the observers of the list that the
  // notification was posted for, if it is still the loop's list.
  void NotifyOnThisLoop(uint64_t generation,
                        const std::function<void(ObserverType*)>& call) {
    MessageLoop* const loop = MessageLoop::current();
    LoopList* list = nullptr;
    {
      LockGuard guard(list_lock_);
      const auto it = observer_lists_.find(loop);
      if (it == observer_lists_.end() || it->second->generation() != generation)
        return;
      list = it->second;
    }
    {
      typename ObserverList<ObserverType>::Iterator it(*list);
      while (ObserverType* observer = it.GetNext())
        call(observer);
    }
    if (list->size() != 0)
      return;
    // Every observer left during the notification; the last one to go took
    // the loop's entry with it.
    {
      LockGuard guard(list_lock_);
      const auto it = observer_lists_.find(loop);
      CHECK_OR_RETURN(it == observer_lists_.end() || it->second != list, );
    }
    delete list;
  }

  void DropLoop(MessageLoop* loop) override {
    LockGuard guard(list_lock_);
    const auto it = observer_lists_.find(loop);
    if (it == observer_lists_.end())
      return;
    delete it->second;
    observer_lists_.erase(it);
  }

  const char* const notify_function_name_;
  Lock list_lock_;
  // Guarded by list_lock_: each loop's list, owned, and the generation of
  // the newest list.
  std::map<MessageLoop*, LoopList*> observer_lists_;
  uint64_t last_generation_ = 0;
};

}  // namespace base

#endif  // BASE_OBSERVER_LIST_THREADSAFE_H_
