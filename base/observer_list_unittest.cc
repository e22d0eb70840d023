#include "base/observer_list.h"

#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

using test_support::ScopedCheckRecorder;

// Notes its id in a shared log when notified, and runs a one-time action on
// its first notification.
class Observer {
 public:
  Observer(int id, std::vector<int>* log) : id_(id), log_(log) {}

  void OnEvent() {
    log_->push_back(id_);
    if (action_) {
      std::function<void()> action = std::move(action_);
      action_ = nullptr;
      action();
    }
  }

  void set_action(std::function<void()> action) { action_ = std::move(action); }
  int id() const { return id_; }

 private:
  const int id_;
  std::vector<int>* const log_;
  std::function<void()> action_;
};

using List = ObserverList<Observer>;

// One notification pass; returns the ids in the order they were notified.
std::vector<int> Notify(List& list, std::vector<int>* log) {
  log->clear();
  List::Iterator it(list);
  while (Observer* observer = it.GetNext())
    observer->OnEvent();
  return *log;
}

TEST(ObserverListTest, ChangesDuringNotificationByIterationKind) {
  enum Action {
    REMOVE_SELF,
    REMOVE_LATER,
    REMOVE_EARLIER,
    ADD_NEW,
    REMOVE_LATER_AND_ADD_IT_BACK,
  };
  struct Case {
    const char* name;
    List::NotifyScope scope;
    Action action;  // Run by observer 1 when it is first notified.
    std::vector<int> first_pass;
    size_t size_after_action;  // Removed entries stay until the pass ends.
    std::vector<int> second_pass;
  };
  const auto kNew = List::NOTIFY_INCLUDING_NEW;
  const auto kPresent = List::NOTIFY_PRESENT_ONLY;
  const Case kCases[] = {
      {"self, new", kNew, REMOVE_SELF, {0, 1, 2}, 3, {0, 2}},
      {"self, present", kPresent, REMOVE_SELF, {0, 1, 2}, 3, {0, 2}},
      {"later, new", kNew, REMOVE_LATER, {0, 1}, 3, {0, 1}},
      {"later, present", kPresent, REMOVE_LATER, {0, 1}, 3, {0, 1}},
      {"earlier, new", kNew, REMOVE_EARLIER, {0, 1, 2}, 3, {1, 2}},
      {"earlier, present", kPresent, REMOVE_EARLIER, {0, 1, 2}, 3, {1, 2}},
      {"add, new", kNew, ADD_NEW, {0, 1, 2, 3}, 4, {0, 1, 2, 3}},
      {"add, present", kPresent, ADD_NEW, {0, 1, 2}, 4, {0, 1, 2, 3}},
      // The one added back goes to the end, behind its own null entry.
      {"re-add, new",
       kNew,
       REMOVE_LATER_AND_ADD_IT_BACK,
       {0, 1, 2},
       4,
       {0, 1, 2}},
      {"re-add, present",
       kPresent,
       REMOVE_LATER_AND_ADD_IT_BACK,
       {0, 1},
       4,
       {0, 1, 2}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<int> log;
    Observer observers[] = {{0, &log}, {1, &log}, {2, &log}, {3, &log}};
    List list(c.scope);
    for (int i = 0; i < 3; ++i)
      list.AddObserver(&observers[i]);

    size_t size_after_action = 0;
    observers[1].set_action([&] {
      switch (c.action) {
        case REMOVE_SELF:
          list.RemoveObserver(&observers[1]);
          break;
        case REMOVE_LATER:
          list.RemoveObserver(&observers[2]);
          break;
        case REMOVE_EARLIER:
          list.RemoveObserver(&observers[0]);
          break;
        case ADD_NEW:
          list.AddObserver(&observers[3]);
          break;
        case REMOVE_LATER_AND_ADD_IT_BACK:
          list.RemoveObserver(&observers[2]);
          list.AddObserver(&observers[2]);
          break;
      }
      size_after_action = list.size();
    });

    EXPECT_EQ(Notify(list, &log), c.first_pass);
    EXPECT_EQ(size_after_action, c.size_after_action);
    // The pass is over: the removed entries are gone.
    EXPECT_EQ(list.size(), c.second_pass.size());
    EXPECT_EQ(Notify(list, &log), c.second_pass);
  }
}

TEST(ObserverListTest, NestedNotificationCompactsOnlyWhenTheOutermostEnds) {
  std::vector<int> log;
  Observer observers[] = {{0, &log}, {1, &log}, {2, &log}};
  List list;
  for (Observer& observer : observers)
    list.AddObserver(&observer);

  std::vector<int> inner_pass;
  size_t size_after_inner = 0;
  observers[0].set_action([&] {
    {
      List::Iterator inner(list);
      while (Observer* observer = inner.GetNext()) {
        inner_pass.push_back(observer->id());
        if (observer == &observers[1])
          list.RemoveObserver(&observers[1]);
      }
    }
    size_after_inner = list.size();
  });

  EXPECT_EQ(Notify(list, &log), (std::vector<int>{0, 2}));
  EXPECT_EQ(inner_pass, (std::vector<int>{0, 1, 2}));
  // The inner iterator ended inside the outer one: the entry was only
  // nulled, so the outer pass's positions held.
  EXPECT_EQ(size_after_inner, 3u);
  EXPECT_EQ(list.size(), 2u);
}

TEST(ObserverListTest, AddingTwiceIsReportedAndKeepsOneEntry) {
  ScopedCheckRecorder recorder;
  std::vector<int> log;
  Observer observer(0, &log);
  List list;
  list.AddObserver(&observer);
  list.AddObserver(&observer);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{
                "Check failed: find(observers_.begin(), observers_.end(), obs) "
                "== observers_.end(). Observers can only be added once!"});
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(Notify(list, &log), std::vector<int>{0});
}

TEST(ObserverListTest, RemovingAnUnknownObserverChangesNothing) {
  std::vector<int> log;
  Observer known(0, &log);
  Observer unknown(1, &log);
  List list;
  list.AddObserver(&known);
  list.RemoveObserver(&unknown);
  EXPECT_EQ(list.size(), 1u);
  list.RemoveObserver(&known);
  list.RemoveObserver(&known);
  EXPECT_EQ(list.size(), 0u);
}

TEST(ObserverListTest, CheckedListReportsObserversLeftAtDestruction) {
  ScopedCheckRecorder recorder;
  std::vector<int> log;
  Observer first(0, &log);
  Observer second(1, &log);
  {
    ObserverList<Observer, true> emptied;
    emptied.AddObserver(&first);
    emptied.RemoveObserver(&first);
  }
  EXPECT_TRUE(recorder.messages().empty());
  {
    ObserverList<Observer, true> left;
    left.AddObserver(&first);
    left.AddObserver(&second);
  }
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{
                "Check failed: observers_.size() == 0U (2 vs. 0)"});
}

}  // namespace
}  // namespace base
