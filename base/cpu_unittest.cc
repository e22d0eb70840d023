#include "base/cpu.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

// Every x86 processor this program meets has the signature leaf, so the
// vendor string was read and the family is set. The vendor is whatever the
// maker (or a virtual machine) chose: 12 printable characters, in register
// order, with no terminator among them.
TEST(CpuIdentityTest, ReadsVendorAndSignature) {
  const CpuIdentity cpu;
  const std::string& vendor = cpu.vendor_name();
  EXPECT_EQ(vendor.size(), 12u) << "'" << vendor << "'";
  for (const char ch : vendor)
    EXPECT_TRUE(ch >= 0x20 && ch <= 0x7e) << "'" << vendor << "'";
  EXPECT_NE(cpu.family(), 0);
  EXPECT_LE(cpu.type(), 3);
  EXPECT_LE(cpu.ext_family(), 0xFF);
}

}  // namespace
}  // namespace base
