#include "base/at_exit.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

// The params of the callbacks that ran, in the order they ran. The runner's
// main has no manager, so every test below makes its own.
std::vector<void*> g_ran;

void RecordParam(void* param) {
  g_ran.push_back(param);
}

class AtExitTest : public testing::Test {
 protected:
  void SetUp() override { g_ran.clear(); }

  int first_ = 1;
  int second_ = 2;
  int third_ = 3;
};

TEST_F(AtExitTest, RunsLastRegisteredFirstWithEachParam) {
  {
    AtExitManager exit_manager;
    AtExitManager::RegisterCallback(&RecordParam, &first_);
    AtExitManager::RegisterCallback(&RecordParam, &second_);
    AtExitManager::RegisterCallback(&RecordParam, &third_);
    EXPECT_TRUE(g_ran.empty());
  }
  EXPECT_EQ(g_ran, (std::vector<void*>{&third_, &second_, &first_}));
}

TEST_F(AtExitTest, EachCallbackRunsOnceAcrossPasses) {
  {
    AtExitManager exit_manager;
    AtExitManager::RegisterCallback(&RecordParam, &first_);
    AtExitManager::ProcessCallbacksNow();
    AtExitManager::ProcessCallbacksNow();
    EXPECT_EQ(g_ran, (std::vector<void*>{&first_}));

    AtExitManager::RegisterCallback(&RecordParam, &second_);
    AtExitManager::ProcessCallbacksNow();
    EXPECT_EQ(g_ran, (std::vector<void*>{&first_, &second_}));

    // Left for the destructor.
    AtExitManager::RegisterCallback(&RecordParam, &third_);
  }
  EXPECT_EQ(g_ran, (std::vector<void*>{&first_, &second_, &third_}));
}

TEST_F(AtExitTest, ShadowManagerRunsOnlyItsOwnAndRestoresTheOuterOne) {
  AtExitManager exit_manager;
  AtExitManager::RegisterCallback(&RecordParam, &first_);
  {
    AtExitManager shadow(true);
    AtExitManager::RegisterCallback(&RecordParam, &second_);
    { AtExitManager empty_shadow(true); }
    // Still on top after the inner one went away.
    AtExitManager::RegisterCallback(&RecordParam, &third_);
  }
  EXPECT_EQ(g_ran, (std::vector<void*>{&third_, &second_}));

  // Registrations reach the outer manager again.
  int fourth = 4;
  AtExitManager::RegisterCallback(&RecordParam, &fourth);
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(g_ran, (std::vector<void*>{&third_, &second_, &fourth, &first_}));
}

TEST_F(AtExitTest, WithoutManagerNothingIsRegisteredOrRun) {
  {
    test_support::ScopedCheckRecorder recorder;
    AtExitManager::RegisterCallback(&RecordParam, &first_);
    AtExitManager::ProcessCallbacksNow();
    const std::vector<std::string> expected = {
        "Check failed: false. Tried to RegisterCallback without an "
        "AtExitManager",
        "Check failed: false. Tried to ProcessCallbacksNow without an "
        "AtExitManager",
    };
    EXPECT_EQ(recorder.messages(), expected);
  }
  { AtExitManager exit_manager; }
  EXPECT_TRUE(g_ran.empty());
}

TEST_F(AtExitTest, NullCallbackIsReportedAndDropped) {
  test_support::ScopedCheckRecorder recorder;
  {
    AtExitManager exit_manager;
    AtExitManager::RegisterCallback(nullptr, &first_);
    AtExitManager::RegisterCallback(&RecordParam, &second_);
  }
  EXPECT_EQ(g_ran, (std::vector<void*>{&second_}));
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: func. "});
}

TEST_F(AtExitTest, ManagersMisusedOutOfOrderAreReported) {
  const char kNoManager[] =
      "Check failed: false. Tried to ~AtExitManager without an AtExitManager";
  struct Case {
    const char* name;
    void (*misuse)();
    std::vector<std::string> messages;
  };
  const Case kCases[] = {
      {"second plain manager",
       [] {
         AtExitManager first;
         // Takes the top and, having no outer manager, leaves none behind.
         { AtExitManager second; }
       },
       {"Check failed: !g_top_manager. ", kNoManager}},
      {"outer destroyed before its shadow",
       [] {
         auto* outer = new AtExitManager;
         auto* shadow = new AtExitManager(true);
         delete outer;
         delete shadow;
       },
       {"Check failed: g_top_manager == this. ", kNoManager}},
  };
  for (const Case& c : kCases) {
    test_support::ScopedCheckRecorder recorder;
    c.misuse();
    EXPECT_EQ(recorder.messages(), c.messages) << c.name;
  }
  // Both misuses leave no manager on top.
  test_support::ScopedCheckRecorder recorder;
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(recorder.messages().size(), 1u);
}

}  // namespace
}  // namespace base
