#ifndef BASE_WIN_UTIL_H_
#define BASE_WIN_UTIL_H_

#include <windows.h>

#include <string>

#include "base/tracked.h"

// Small helpers over the Windows API that components share: non-client
// metrics, security (the current user's SID as text, a DACL that admits
// only the logon session, granting an access right on a kernel object),
// window-procedure subclassing through a window property, modifier keys,
// window class names, the user-account-control setting, system error texts,
// and a debugging aid that tracks where windows are created and destroyed.
//
// Free functions; any thread may call them, except that the window-tracking
// pair keeps process-wide maps without a lock and is called on the thread
// that creates and destroys the windows.

namespace base {

// Fills `metrics` with the system's non-client metrics, sized for the
// running release (the record grew in Vista). A failed query fails a check.
void ReadNonClientMetrics(NONCLIENTMETRICSW* metrics);

// Adds an allow entry for `access` to the DACL of the kernel object
// `handle` (which must carry READ_CONTROL and WRITE_DAC), for the
// well-known SID `known_sid`; WinSelfSid stands for the current user.
bool GrantAccessToObject(HANDLE handle,
                         WELL_KNOWN_SID_TYPE known_sid,
                         ACCESS_MASK access);

// The current user's SID in its text form ("S-1-5-...").
bool CurrentUserSidText(std::wstring* sid_text);

// A security descriptor whose DACL grants everything to the logon session
// of this process and nothing to anyone else. The caller frees it with
// LocalFree.
bool MakeLogonSessionDacl(PSECURITY_DESCRIPTOR* security_descriptor);

// The window's procedure and user data slots; each setter answers the
// previous value.
WNDPROC ReplaceWindowProc(HWND window, WNDPROC procedure);
LONG_PTR SetWindowUserValue(HWND window, LONG_PTR value);
LONG_PTR WindowUserData(HWND window);
bool HasWindowProc(HWND window, WNDPROC procedure);

// Installs `procedure` as the window's procedure and keeps the previous one
// in the window property "__ORIGINAL_MESSAGE_HANDLER__". False, changing
// nothing, when `procedure` is already installed.
bool Subclass(HWND window, WNDPROC procedure);
// Reinstalls the kept procedure. False, changing nothing, when `procedure`
// is not the current one or nothing was kept.
bool Unsubclass(HWND window, WNDPROC procedure);
// The procedure kept by Subclass, or null.
WNDPROC OriginalWindowProc(HWND window);

bool ShiftKeyDown();
bool CtrlKeyDown();
bool AltKeyDown();

// The window's class name, however long; empty when it cannot be read.
std::wstring WindowClassName(HWND window);

// Whether user account control is on: the policy value "EnableLUA" is
// non-zero. A value that cannot be read counts as on.
bool IsUacOn();
// The same policy read from `key_path` under `root`, so that it can be
// pointed at a key of one's own.
bool IsUacOnAt(HKEY root, const wchar_t* key_path);

// The system's text for the error `message_id` (as the system gives it,
// line end included), or "message number " and the id in decimal when the
// system has none.
std::wstring SystemErrorText(DWORD message_id);
std::wstring LastErrorText();

// Window tracking: records the place where `window` was created or
// destroyed. A creation of a tracked window that was not destroyed, a
// destruction of an unknown window, and a second destruction (reported with
// all three places) fail checks.
void TrackWindowCreated(const tracked_objects::Location& from_here,
                        HWND window);
void TrackWindowDestroyed(const tracked_objects::Location& from_here,
                          HWND window);

}  // namespace base

#endif  // BASE_WIN_UTIL_H_
