#include "base/win_util.h"

#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <memory>
#include <vector>

#include "base/logging.h"
#include "base/registry.h"
#include "base/scoped_handle_win.h"
#include "base/singleton.h"
#include "base/string_util.h"
#include "base/windows_version.h"

namespace base {
namespace {

// The non-client metrics record before Vista, and from Vista on (one more
// field at the end).
constexpr UINT kNonClientMetricsSizeBeforeVista = 500;
constexpr UINT kNonClientMetricsSize = 504;
static_assert(sizeof(NONCLIENTMETRICSW) == kNonClientMetricsSize,
              "the headers must describe the Vista record");

constexpr wchar_t kOriginalProcProperty[] = L"__ORIGINAL_MESSAGE_HANDLER__";

constexpr wchar_t kUacPolicyKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// Frees memory that the platform allocated with LocalAlloc.
struct LocalMemoryFree {
  void operator()(void* memory) const { LocalFree(memory); }
};
template <typename T>
using LocalMemory = std::unique_ptr<T, LocalMemoryFree>;

// Reads one kind of information about this process's token into `out`,
// sized as the platform asks.
bool ReadProcessTokenInformation(TOKEN_INFORMATION_CLASS kind,
                                 std::vector<BYTE>* out) {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token))
    return false;
  const OwnedHandle token_scoped(raw_token);
  DWORD size = 0;
  if (!GetTokenInformation(token_scoped.get(), kind, nullptr, 0, &size) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  if (size == 0)
    return false;
  out->assign(size, 0);
  return GetTokenInformation(token_scoped.get(), kind, out->data(), size,
                             &size) != 0;
}

// The current user's SID, copied into a buffer of its own length.
bool CopyCurrentUserSid(std::vector<BYTE>* sid) {
  std::vector<BYTE> token_user;
  if (!ReadProcessTokenInformation(TokenUser, &token_user))
    return false;
  const PSID user_sid =
      reinterpret_cast<const TOKEN_USER*>(token_user.data())->User.Sid;
  if (!user_sid || !IsValidSid(user_sid))
    return false;
  const DWORD length = GetLengthSid(user_sid);
  sid->assign(length, 0);
  return CopySid(length, sid->data(), user_sid) != 0;
}

bool SidText(PSID sid, std::wstring* text) {
  wchar_t* sid_string = nullptr;
  if (!ConvertSidToStringSidW(sid, &sid_string))
    return false;
  const LocalMemory<wchar_t> owned(sid_string);
  text->assign(sid_string);
  return true;
}

// Where tracked windows were created and destroyed, keyed by handle.
struct WindowBirthMap : std::map<HWND, tracked_objects::Location> {};
struct WindowDeathMap : std::map<HWND, tracked_objects::Location> {};

std::string PlaceText(const tracked_objects::Location& place) {
  std::string text;
  place.Write(true, true, &text);
  return text;
}

}  // namespace

void ReadNonClientMetrics(NONCLIENTMETRICSW* metrics) {
  CHECK_OR_RETURN(metrics, );
  static const UINT metrics_size = WindowsRelease() >= WINREL_VISTA
                                       ? kNonClientMetricsSize
                                       : kNonClientMetricsSizeBeforeVista;
  metrics->cbSize = metrics_size;
  const bool success = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS,
                                             metrics_size, metrics, 0) != 0;
  CHECK(success);
}

bool GrantAccessToObject(HANDLE handle,
                         WELL_KNOWN_SID_TYPE known_sid,
                         ACCESS_MASK access) {
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, &old_dacl, nullptr,
                      &raw_descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const LocalMemory<void> descriptor(raw_descriptor);

  std::vector<BYTE> sid;
  if (known_sid == WinSelfSid) {
    if (!CopyCurrentUserSid(&sid))
      return false;
  } else {
    DWORD size = SECURITY_MAX_SID_SIZE;
    sid.assign(size, 0);
    if (!CreateWellKnownSid(known_sid, nullptr, sid.data(), &size))
      return false;
  }

  EXPLICIT_ACCESSW new_access = {};
  new_access.grfAccessMode = GRANT_ACCESS;
  new_access.grfAccessPermissions = access;
  new_access.grfInheritance = NO_INHERITANCE;
  new_access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  new_access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid.data());
  PACL raw_new_dacl = nullptr;
  if (SetEntriesInAclW(1, &new_access, old_dacl, &raw_new_dacl) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LocalMemory<ACL> new_dacl(raw_new_dacl);
  return SetSecurityInfo(handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                         nullptr, nullptr, new_dacl.get(),
                         nullptr) == ERROR_SUCCESS;
}

bool CurrentUserSidText(std::wstring* sid_text) {
  std::vector<BYTE> sid;
  return CopyCurrentUserSid(&sid) && SidText(sid.data(), sid_text);
}

bool MakeLogonSessionDacl(PSECURITY_DESCRIPTOR* security_descriptor) {
  std::vector<BYTE> token_groups;
  if (!ReadProcessTokenInformation(TokenGroups, &token_groups))
    return false;
  const TOKEN_GROUPS* groups =
      reinterpret_cast<const TOKEN_GROUPS*>(token_groups.data());
  PSID logon_sid = nullptr;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) {
      logon_sid = groups->Groups[i].Sid;
      break;
    }
  }
  std::wstring sid_string;
  if (!logon_sid || !SidText(logon_sid, &sid_string))
    return false;
  const std::wstring dacl = L"D:(A;OICI;GA;;;" + sid_string + L")";
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(
             dacl.c_str(), SDDL_REVISION_1, security_descriptor, nullptr) != 0;
}

WNDPROC ReplaceWindowProc(HWND window, WNDPROC procedure) {
  return reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

LONG_PTR SetWindowUserValue(HWND window, LONG_PTR value) {
  return SetWindowLongPtrW(window, GWLP_USERDATA, value);
}

LONG_PTR WindowUserData(HWND window) {
  return GetWindowLongPtrW(window, GWLP_USERDATA);
}

bool HasWindowProc(HWND window, WNDPROC procedure) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) ==
         procedure;
}

bool Subclass(HWND window, WNDPROC procedure) {
  if (HasWindowProc(window, procedure))
    return false;
  const WNDPROC previous = ReplaceWindowProc(window, procedure);
  // Every window has a procedure: none back means the window could not be
  // changed (another process's, or gone).
  if (!previous)
    return false;
  // Without the kept procedure the window could never be given back its
  // own; undo instead.
  if (!SetPropW(window, kOriginalProcProperty,
                reinterpret_cast<HANDLE>(previous))) {
    ReplaceWindowProc(window, previous);
    return false;
  }
  return true;
}

bool Unsubclass(HWND window, WNDPROC procedure) {
  if (!HasWindowProc(window, procedure))
    return false;
  const WNDPROC original = OriginalWindowProc(window);
  if (!original)
    return false;
  RemovePropW(window, kOriginalProcProperty);
  ReplaceWindowProc(window, original);
  return true;
}

WNDPROC OriginalWindowProc(HWND window) {
  return reinterpret_cast<WNDPROC>(GetPropW(window, kOriginalProcProperty));
}

bool ShiftKeyDown() {
  return (GetKeyState(VK_SHIFT) & 0x80) != 0;
}

bool CtrlKeyDown() {
  return (GetKeyState(VK_CONTROL) & 0x80) != 0;
}

bool AltKeyDown() {
  return (GetKeyState(VK_MENU) & 0x80) != 0;
}

std::wstring WindowClassName(HWND window) {
  // Class names are far shorter than the limit; it only keeps a broken
  // answer from growing the buffer for ever.
  constexpr int kMaxCapacity = 1 << 16;
  for (int capacity = MAX_PATH; capacity <= kMaxCapacity; capacity *= 2) {
    std::wstring output(capacity, L'\0');
    const int count = GetClassNameW(window, output.data(), capacity);
    if (count <= 0)
      return std::wstring();
    // A name that filled the buffer may have been cut: read it again with
    // more room.
    if (count < capacity - 1) {
      output.resize(count);
      return output;
    }
  }
  return std::wstring();
}

bool IsUacOn() {
  return IsUacOnAt(HKEY_LOCAL_MACHINE, kUacPolicyKey);
}

bool IsUacOnAt(HKEY root, const wchar_t* key_path) {
  const RegistryKey key(root, key_path, KEY_READ);
  DWORD uac_enabled = 0;
  if (!key.ReadDword(L"EnableLUA", &uac_enabled))
    return true;
  return uac_enabled != 0;
}

std::wstring SystemErrorText(DWORD message_id) {
  wchar_t* string_buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, message_id, 0, reinterpret_cast<wchar_t*>(&string_buffer), 0,
      nullptr);
  const LocalMemory<wchar_t> owned(string_buffer);
  if (length > 0 && string_buffer)
    return std::wstring(string_buffer, length);
  std::wstring formatted_string;
  FormatStringInto(&formatted_string, L"message number %u", message_id);
  return formatted_string;
}

std::wstring LastErrorText() {
  return SystemErrorText(GetLastError());
}

void TrackWindowCreated(const tracked_objects::Location& from_here,
                        HWND window) {
  WindowBirthMap& births = *Singleton<WindowBirthMap>::get();
  WindowDeathMap& deaths = *Singleton<WindowDeathMap>::get();
  const auto birth_iter = births.find(window);
  if (birth_iter != births.end()) {
    births.erase(birth_iter);
    const auto death_iter = deaths.find(window);
    if (death_iter == deaths.end()) {
      NOTREACHED() << "Creation of HWND reported for already tracked HWND. "
                      "The HWND destruction is probably not tracked "
                      "properly. Fix it!";
    } else {
      deaths.erase(death_iter);
    }
  }
  births.insert({window, from_here});
}

void TrackWindowDestroyed(const tracked_objects::Location& from_here,
                          HWND window) {
  WindowBirthMap& births = *Singleton<WindowBirthMap>::get();
  WindowDeathMap& deaths = *Singleton<WindowDeathMap>::get();
  const auto death_iter = deaths.find(window);
  const auto birth_iter = births.find(window);
  if (death_iter != deaths.end()) {
    const std::string allocation = birth_iter == births.end()
                                       ? std::string()
                                       : PlaceText(birth_iter->second);
    LOG(FATAL) << "Double delete of an HWND. Please file a bug with info on "
                  "how you got that assertion and the following "
                  "information:\nDouble delete of HWND 0x"
               << FormatString("%0*llX", static_cast<int>(2 * sizeof(HWND)),
                               static_cast<unsigned long long>(
                                   reinterpret_cast<uintptr_t>(window)))
               << "\nAllocated at " << allocation << "\nDeleted first at "
               << PlaceText(death_iter->second) << "\nDeleted again at "
               << PlaceText(from_here);
    deaths.erase(death_iter);
  }
  if (birth_iter == births.end()) {
    NOTREACHED() << "Destruction of HWND reported for unknown HWND. The HWND "
                    "construction is probably not tracked properly. Fix it!";
  }
  deaths.insert({window, from_here});
}

}  // namespace base
