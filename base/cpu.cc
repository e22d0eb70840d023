#include "base/cpu.h"

#include <cpuid.h>

#include <cstring>

namespace base {

CpuIdentity::CpuIdentity() {
  unsigned int max_leaf = 0;
  unsigned int ebx = 0;
  unsigned int ecx = 0;
  unsigned int edx = 0;
  __cpuid(0, max_leaf, ebx, ecx, edx);
  // The vendor string is spelled across EBX, EDX, ECX, in that order.
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  if (max_leaf == 0)
    return;

  unsigned int signature = 0;
  __cpuid(1, signature, ebx, ecx, edx);
  stepping_ = signature & 0xF;
  model_ = (signature >> 4) & 0xF;
  family_ = (signature >> 8) & 0xF;
  type_ = (signature >> 12) & 0x3;
  ext_model_ = (signature >> 16) & 0xF;
  ext_family_ = (signature >> 20) & 0xFF;
  vendor_name_ = vendor;
}

}  // namespace base
