#include "base/ref_counted.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/waitable_event.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

using test_support::ScopedCheckRecorder;

// The two kinds of count, with what each reports when an object is
// destroyed without its last Release.
struct PlainKind {
  template <typename T>
  using Base = SharedCounted<T>;
  static constexpr const char* kUnreleasedText =
      "Check failed: in_dtor_. RefCounted object deleted without calling "
      "Release()";
};

struct SafeKind {
  template <typename T>
  using Base = SharedCountedSafe<T>;
  static constexpr const char* kUnreleasedText =
      "Check failed: in_dtor_. RefCountedThreadSafe object deleted without "
      "calling Release()";
};

// Counts the destructions of the objects that share it, and notes how many
// holders were still counted in when the last one happened.
struct DestructionProbe {
  std::atomic<int> deleted{0};
  const std::atomic<int>* holders = nullptr;
  int holders_at_deletion = -1;
};

template <typename Kind>
class Counted : public Kind::template Base<Counted<Kind>> {
 public:
  explicit Counted(DestructionProbe* probe) : probe_(probe) {}
  ~Counted() {
    if (probe_->holders)
      probe_->holders_at_deletion = probe_->holders->load();
    probe_->deleted.fetch_add(1);
  }

 private:
  DestructionProbe* const probe_;
};

// Hands itself to a holder while it is being destroyed.
template <typename Kind>
class Resurrecting : public Kind::template Base<Resurrecting<Kind>> {
 public:
  explicit Resurrecting(DestructionProbe* probe) : probe_(probe) {}
  ~Resurrecting() {
    probe_->deleted.fetch_add(1);
    shared_ref<Resurrecting> again(this);
  }

 private:
  DestructionProbe* const probe_;
};

template <typename Kind>
class SharedCountedTest : public testing::Test {};
using CountKinds = testing::Types<PlainKind, SafeKind>;
TYPED_TEST_SUITE(SharedCountedTest, CountKinds);

TYPED_TEST(SharedCountedTest, LastReleaseDeletesOnce) {
  DestructionProbe probe;
  auto* object = new Counted<TypeParam>(&probe);
  object->AddRef();
  object->AddRef();
  object->Release();
  EXPECT_EQ(probe.deleted.load(), 0);
  object->Release();
  EXPECT_EQ(probe.deleted.load(), 1);
}

TYPED_TEST(SharedCountedTest, HolderKeepsTheObjectThroughCopiesAndReuse) {
  using Object = Counted<TypeParam>;
  DestructionProbe probe;
  DestructionProbe other_probe;
  {
    shared_ref<Object> holder(new Object(&probe));
    {
      shared_ref<Object> copy(holder);
      EXPECT_EQ(copy.get(), holder.get());
    }
    // The holder has the only reference: reassigning the same object must
    // take the new reference before it lets go of the old one.
    holder = holder.get();
    holder = holder;
    EXPECT_EQ(probe.deleted.load(), 0);

    holder = new Object(&other_probe);
    EXPECT_EQ(probe.deleted.load(), 1);
    EXPECT_EQ(other_probe.deleted.load(), 0);

    holder = nullptr;
    EXPECT_EQ(other_probe.deleted.load(), 1);
    EXPECT_EQ(holder.get(), nullptr);
  }
  EXPECT_EQ(probe.deleted.load(), 1);
  EXPECT_EQ(other_probe.deleted.load(), 1);
}

TYPED_TEST(SharedCountedTest, DestroyingWithoutReleaseIsReported) {
  ScopedCheckRecorder recorder;
  DestructionProbe probe;
  { Counted<TypeParam> on_stack(&probe); }
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{TypeParam::kUnreleasedText});
}

TYPED_TEST(SharedCountedTest,
           CountUsedDuringDestructionIsReportedNotFreedAgain) {
  ScopedCheckRecorder recorder;
  DestructionProbe probe;
  shared_ref<Resurrecting<TypeParam>> holder(
      new Resurrecting<TypeParam>(&probe));
  holder = nullptr;
  EXPECT_EQ(probe.deleted.load(), 1);
  // The holder made in the destructor took and dropped a reference.
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{"Check failed: !in_dtor_. ",
                                      "Check failed: !in_dtor_. "}));
}

TEST(SharedCountedSafeTest, ReleaseBelowZeroIsReportedAndDeletesNothing) {
  ScopedCheckRecorder recorder;
  DestructionProbe probe;
  auto* object = new Counted<SafeKind>(&probe);
  object->Release();
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{
                "Check failed: !AtomicRefCountIsZero(&ref_count_). "});
  EXPECT_EQ(probe.deleted.load(), 0);
  // The count was left at 0: one reference taken and dropped frees it.
  object->AddRef();
  object->Release();
  EXPECT_EQ(probe.deleted.load(), 1);
}

TEST(SharedCountedSafeTest, EightThreadsReleasingAtOnceDeleteTheObjectOnce) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20000;
  DestructionProbe probe;
  auto* object = new Counted<SafeKind>(&probe);
  // Each thread starts with a reference of its own and drops it last; the
  // object must live until the last of them is gone.
  for (int i = 0; i < kThreads; ++i)
    object->AddRef();
  std::atomic<int> holders{kThreads};
  probe.holders = &holders;

  WaitableEvent start(true, false);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      start.Wait();
      for (int round = 0; round < kRounds; ++round) {
        shared_ref<Counted<SafeKind>> extra(object);
        shared_ref<Counted<SafeKind>> copy(extra);
      }
      holders.fetch_sub(1);
      object->Release();
    });
  }
  start.Signal();
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(probe.deleted.load(), 1);
  EXPECT_EQ(probe.holders_at_deletion, 0);
}

}  // namespace
}  // namespace base
