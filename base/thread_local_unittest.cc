#include "base/thread_local.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

TEST(ThreadSlotPointerTest, EachThreadSeesOnlyItsOwnValue) {
  ThreadSlotPointer<int> pointer;
  ThreadSlotPointer<const int> other;
  EXPECT_EQ(pointer.Get(), nullptr);
  int main_value = 1;
  const int other_value = 2;
  pointer.Set(&main_value);
  other.Set(&other_value);

  int worker_value = 3;
  std::thread([&] {
    EXPECT_EQ(pointer.Get(), nullptr);
    EXPECT_EQ(other.Get(), nullptr);
    pointer.Set(&worker_value);
    EXPECT_EQ(pointer.Get(), &worker_value);
  }).join();

  EXPECT_EQ(pointer.Get(), &main_value);
  EXPECT_EQ(other.Get(), &other_value);
  pointer.Set(nullptr);
  EXPECT_EQ(pointer.Get(), nullptr);
}

TEST(ThreadSlotPointerTest, NoPlatformIndexIsReportedAndStoresNothing) {
  std::vector<DWORD> taken;
  for (DWORD index; (index = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
    taken.push_back(index);
  {
    test_support::ScopedCheckRecorder recorder;
    {
      ThreadSlotPointer<int> pointer;
      int value = 0;
      pointer.Set(&value);
      EXPECT_EQ(pointer.Get(), nullptr);
    }
    const std::vector<std::string> expected = {
        "Check failed: slot != TLS_OUT_OF_INDEXES. ",
        "Check failed: false. Failed to TlsSetValue().",
    };
    EXPECT_EQ(recorder.messages(), expected);
  }
  for (DWORD index : taken)
    TlsFree(index);
}

}  // namespace
}  // namespace base
