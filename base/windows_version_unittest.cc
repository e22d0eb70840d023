#include "base/windows_version.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

TEST(WindowsVersionTest, MapsVersionRecordsToReleases) {
  constexpr int kWorkstation = kWorkstationProductType;
  constexpr int kServer = 3;
  struct Case {
    int major;
    int minor;
    int product_type;
    WindowsReleaseId release;
  };
  const Case kCases[] = {
      {4, 0, kWorkstation, WINREL_BEFORE_2000},
      {4, 90, kWorkstation, WINREL_BEFORE_2000},
      {5, 0, kWorkstation, WINREL_2000},
      {5, 1, kWorkstation, WINREL_XP},
      {5, 2, kServer, WINREL_SERVER_2003},
      {5, 2, kWorkstation, WINREL_SERVER_2003},
      {6, 0, kWorkstation, WINREL_VISTA},
      {6, 0, kServer, WINREL_SERVER_2008},
      {6, 1, kServer, WINREL_SERVER_2008},
      {6, 1, kWorkstation, WINREL_7},
      {6, 3, kWorkstation, WINREL_7},
      {10, 0, kWorkstation, WINREL_7},
      {10, 0, kServer, WINREL_7},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(WindowsReleaseFromVersion(c.major, c.minor, c.product_type),
              c.release)
        << c.major << "." << c.minor << " type " << c.product_type;
  }
}

TEST(WindowsVersionTest, ReportsThisSystem) {
  // Every system this program builds for is Vista or later.
  EXPECT_GE(WindowsRelease(), WINREL_VISTA);
  EXPECT_EQ(WindowsRelease(), WindowsRelease());
  int major = -1;
  int minor = -1;
  ServicePackLevel(&major, &minor);
  EXPECT_GE(major, 0);
  EXPECT_GE(minor, 0);
}

TEST(WindowsVersionTest, ServicePackLevelNeedsBothOutputs) {
  test_support::ScopedCheckRecorder recorder;
  int major = -1;
  ServicePackLevel(&major, nullptr);
  EXPECT_EQ(major, -1);
  EXPECT_EQ(recorder.messages(),
            std::vector<std::string>{"Check failed: major && minor. "});
}

}  // namespace
}  // namespace base
