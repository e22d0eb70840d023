#include "base/observer_list_threadsafe.h"

#include <vector>

namespace base {
namespace internal {

// Tells every list when its loop is about to be destroyed, then deletes
// itself. One per watched loop: made on the loop's thread by the first
// observer added there, and kept in the registry until the loop goes, so
// that a later loop at the same address gets a watcher of its own.
class LoopWatcher final : public MessageLoop::DestructionObserver {
 public:
  // Starts watching `loop`, the calling thread's loop, unless a watcher
  // already does.
  static void Watch(MessageLoop* loop) {
    {
      StaticLockGuard guard(registry_lock_);
      for (LoopWatcher* watcher = watchers_; watcher;
           watcher = watcher->next_) {
        if (watcher->loop_ == loop)
          return;
      }
    }
    // Only the loop's own thread, this one, adds or removes its watcher, so
    // nobody can add a second one meanwhile.
    LoopWatcher* const watcher = new LoopWatcher(loop);
    {
      StaticLockGuard guard(registry_lock_);
      watcher->next_ = watchers_;
      watchers_ = watcher;
    }
    loop->AddDestructionObserver(watcher);
  }

  static void AddList(ObserverListThreadSafeBase* list) {
    StaticLockGuard guard(registry_lock_);
    list->next_ = lists_;
    if (lists_)
      lists_->previous_ = list;
    lists_ = list;
    list->registered_ = true;
  }

  static void RemoveList(ObserverListThreadSafeBase* list) {
    StaticLockGuard guard(registry_lock_);
    if (list->registered_) {
      if (list->previous_) {
        list->previous_->next_ = list->next_;
      } else {
        lists_ = list->next_;
      }
      if (list->next_)
        list->next_->previous_ = list->previous_;
      list->previous_ = list->next_ = nullptr;
      list->registered_ = false;
    }
    // A dying loop may still be dropping its observers from this list.
    while (list->visits_ > 0)
      visits_done_.Wait(registry_lock_);
  }

  void LoopWillBeDestroyed() override {
    loop_->RemoveDestructionObserver(this);
    // The lists are visited without the registry's lock, which so never
    // waits for a list's lock: a list may take the registry's lock while
    // it holds its own. A visited list that is being destroyed waits in
    // RemoveList until the visit is over.
    std::vector<ObserverListThreadSafeBase*> lists;
    {
      StaticLockGuard guard(registry_lock_);
      for (LoopWatcher** link = &watchers_; *link; link = &(*link)->next_) {
        if (*link == this) {
          *link = next_;
          break;
        }
      }
      for (ObserverListThreadSafeBase* list = lists_; list;
           list = list->next_) {
        ++list->visits_;
        lists.push_back(list);
      }
    }
    for (ObserverListThreadSafeBase* list : lists)
      list->DropLoop(loop_);
    {
      StaticLockGuard guard(registry_lock_);
      for (ObserverListThreadSafeBase* list : lists)
        --list->visits_;
    }
    visits_done_.WakeAll();
    delete this;
  }

 private:
  explicit LoopWatcher(MessageLoop* loop) : loop_(loop) {}

  // The registry. Constant-initialised, so that lists made and destroyed
  // by static constructors and destructors find it in place.
  static inline StaticLock registry_lock_;
  // Signalled when visits of dying loops end.
  static inline StaticCondition visits_done_;
  // Every list, and every watcher, newest first. Guarded by registry_lock_.
  static inline ObserverListThreadSafeBase* lists_ = nullptr;
  static inline LoopWatcher* watchers_ = nullptr;

  MessageLoop* const loop_;
  LoopWatcher* next_ = nullptr;  // Guarded by registry_lock_.
};

ObserverListThreadSafeBase::ObserverListThreadSafeBase() {
  LoopWatcher::AddList(this);
}

ObserverListThreadSafeBase::~ObserverListThreadSafeBase() {
  LeaveRegistry();
}

// static
void ObserverListThreadSafeBase::WatchLoop(MessageLoop* loop) {
  LoopWatcher::Watch(loop);
}

void ObserverListThreadSafeBase::LeaveRegistry() {
  LoopWatcher::RemoveList(this);
}

}  // namespace internal
}  // namespace base
