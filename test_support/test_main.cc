#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A check that fails unexpectedly fails its test instead of ending the
  // whole run in a breakpoint.
  test_support::InstallFailingFatalHandler();
  return RUN_ALL_TESTS();
}
