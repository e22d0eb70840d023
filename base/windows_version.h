#ifndef BASE_WINDOWS_VERSION_H_
#define BASE_WINDOWS_VERSION_H_

// Which Windows release the process runs on. The answer is read once from
// the platform's version record and then served from a process-wide cache;
// any thread may ask.

namespace base {

// Ordered so that callers compare with "at least".
enum WindowsReleaseId {
  WINREL_BEFORE_2000 = 0,
  WINREL_2000 = 1,
  WINREL_XP = 2,
  WINREL_SERVER_2003 = 3,
  WINREL_VISTA = 4,
  WINREL_SERVER_2008 = 5,
  WINREL_7 = 6,
};

// The product type the version record gives a workstation release.
inline constexpr int kWorkstationProductType = 1;

// Maps a version record's major and minor version and product type to the
// release. Every major version above 6 counts as WINREL_7.
WindowsReleaseId WindowsReleaseFromVersion(int major,
                                           int minor,
                                           int product_type);

WindowsReleaseId WindowsRelease();

// Fills both with the installed service pack's major and minor number (0
// and 0 without one). Both pointers must be given.
void ServicePackLevel(int* major, int* minor);

}  // namespace base

#endif  // BASE_WINDOWS_VERSION_H_
