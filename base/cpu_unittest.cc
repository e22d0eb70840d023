#include "base/cpu.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

// Every x86 processor this program meets has the signature leaf, so the
// vendor string was read, in register order, and the family is set.
TEST(CpuIdentityTest, ReadsVendorAndSignature) {
  const CpuIdentity cpu;
  const std::string kVendors[] = {"GenuineIntel", "AuthenticAMD",
                                  "HygonGenuine", "CentaurHauls",
                                  "  Shanghai  "};
  bool known = false;
  for (const std::string& vendor : kVendors)
    known = known || cpu.vendor_name() == vendor;
  EXPECT_TRUE(known) << cpu.vendor_name();
  EXPECT_NE(cpu.family(), 0);
  EXPECT_LE(cpu.type(), 3);
  EXPECT_LE(cpu.ext_family(), 0xFF);
}

}  // namespace
}  // namespace base
