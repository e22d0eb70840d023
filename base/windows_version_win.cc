#include "base/windows_version.h"

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace {

// The release and the service pack as the platform reports them.
struct VersionRecord {
  WindowsReleaseId release = WINREL_BEFORE_2000;
  int service_pack_major = -1;
  int service_pack_minor = -1;
};

VersionRecord ReadVersionRecord() {
  VersionRecord record;
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
    return record;
  record.release = WindowsReleaseFromVersion(
      static_cast<int>(info.dwMajorVersion),
      static_cast<int>(info.dwMinorVersion), info.wProductType);
  record.service_pack_major = info.wServicePackMajor;
  record.service_pack_minor = info.wServicePackMinor;
  return record;
}

// Read on first use; later callers share the answer.
const VersionRecord& CachedVersionRecord() {
  static const VersionRecord record = ReadVersionRecord();
  return record;
}

}  // namespace

WindowsReleaseId WindowsReleaseFromVersion(int major,
                                           int minor,
                                           int product_type) {
  if (major < 5)
    return WINREL_BEFORE_2000;
  if (major == 5) {
    if (minor == 0)
      return WINREL_2000;
    return minor == 1 ? WINREL_XP : WINREL_SERVER_2003;
  }
  if (major > 6)
    return WINREL_7;
  if (product_type != kWorkstationProductType)
    return WINREL_SERVER_2008;
  return minor == 0 ? WINREL_VISTA : WINREL_7;
}

WindowsReleaseId WindowsRelease() {
  return CachedVersionRecord().release;
}

void ServicePackLevel(int* major, int* minor) {
  CHECK_OR_RETURN(major && minor, );
  *major = CachedVersionRecord().service_pack_major;
  *minor = CachedVersionRecord().service_pack_minor;
}

}  // namespace base
