#ifndef BASE_CPU_H_
#define BASE_CPU_H_

#include <string>

namespace base {

// The processor's identity as the CPUID instruction reports it: vendor and
// signature (family, model, stepping and their extensions). Filled once at
// construction; a processor without the signature leaf keeps the vendor
// "unknown" and every number 0. Value type; any thread may make one.
class CpuIdentity {
 public:
  CpuIdentity();

  const std::string& vendor_name() const { return vendor_name_; }
  int family() const { return family_; }
  int model() const { return model_; }
  int stepping() const { return stepping_; }
  int type() const { return type_; }
  int ext_model() const { return ext_model_; }
  int ext_family() const { return ext_family_; }

 private:
  int type_ = 0;        // 2 bits.
  int family_ = 0;      // 4 bits.
  int model_ = 0;       // 4 bits.
  int stepping_ = 0;    // 4 bits.
  int ext_model_ = 0;   // 4 bits.
  int ext_family_ = 0;  // 8 bits.
  std::string vendor_name_ = "unknown";
};

}  // namespace base

#endif  // BASE_CPU_H_
