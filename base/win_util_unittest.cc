#include "base/win_util.h"

#include <sddl.h>

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_registry.h"

namespace base {
namespace {

LRESULT CALLBACK FirstProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcW(window, message, w, l);
}

LRESULT CALLBACK SecondProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcW(window, message, w, l);
}

// A message-only window of a class registered for the test.
class TestWindow {
 public:
  explicit TestWindow(const std::wstring& class_name)
      : class_name_(class_name) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name_.c_str();
    RegisterClassExW(&window_class);
    window_ = CreateWindowExW(0, class_name_.c_str(), L"", 0, 0, 0, 0, 0,
                              HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  ~TestWindow() {
    if (window_)
      DestroyWindow(window_);
    UnregisterClassW(class_name_.c_str(), GetModuleHandleW(nullptr));
  }

  HWND get() const { return window_; }

 private:
  const std::wstring class_name_;
  HWND window_ = nullptr;
};

TEST(SubclassTest, SubclassesOnceAndGivesBackOnlyToItsOwnProcedure) {
  TestWindow window(L"KelvoSubclassTest");
  ASSERT_NE(window.get(), nullptr);
  const WNDPROC original =
      reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window.get(), GWLP_WNDPROC));

  enum Operation { SUBCLASS, UNSUBCLASS };
  struct Step {
    Operation operation;
    WNDPROC procedure;
    bool answer;
    WNDPROC current;  // The window's procedure afterwards.
    WNDPROC kept;     // The kept procedure afterwards.
  };
  const Step kSteps[] = {
      {UNSUBCLASS, FirstProc, false, original, nullptr},
      {SUBCLASS, FirstProc, true, FirstProc, original},
      // Again with the same procedure: nothing changes, and the kept
      // procedure is still the window's own.
      {SUBCLASS, FirstProc, false, FirstProc, original},
      {UNSUBCLASS, SecondProc, false, FirstProc, original},
      {UNSUBCLASS, FirstProc, true, original, nullptr},
      {UNSUBCLASS, FirstProc, false, original, nullptr},
  };
  int index = 0;
  for (const Step& step : kSteps) {
    SCOPED_TRACE(index++);
    const bool answer = step.operation == SUBCLASS
                            ? Subclass(window.get(), step.procedure)
                            : Unsubclass(window.get(), step.procedure);
    EXPECT_EQ(answer, step.answer);
    EXPECT_TRUE(HasWindowProc(window.get(), step.current));
    EXPECT_EQ(OriginalWindowProc(window.get()), step.kept);
  }

  EXPECT_EQ(SetWindowUserValue(window.get(), 42), 0);
  EXPECT_EQ(SetWindowUserValue(window.get(), 43), 42);
  EXPECT_EQ(WindowUserData(window.get()), 43);
}

TEST(WindowClassNameTest, ReadsShortAndLongestNames) {
  // 255 units is the longest class name the system registers (an atom).
  for (const std::wstring& name :
       {std::wstring(L"KelvoShort"), std::wstring(255, L'k')}) {
    TestWindow window(name);
    ASSERT_NE(window.get(), nullptr) << name.size();
    EXPECT_EQ(WindowClassName(window.get()), name);
  }
  EXPECT_EQ(WindowClassName(nullptr), L"");
}

TEST(SystemErrorTextTest, KnownAndUnknownIds) {
  const std::wstring known = SystemErrorText(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(known.empty());
  EXPECT_EQ(known.find(L"message number"), std::wstring::npos);
  EXPECT_EQ(SystemErrorText(0x2FFFFFF), L"message number 50331647");
  // Ids above the signed range are shown as they are.
  EXPECT_EQ(SystemErrorText(0xE0001234u), L"message number 3758101044");
  SetLastError(0x2FFFFFF);
  EXPECT_EQ(LastErrorText(), L"message number 50331647");
}

TEST(IsUacOnTest, ReadsThePolicyValueAndAssumesOnWithoutIt) {
  test_support::ScopedTestRegistryKey key(L"Software\\KelvoTest\\UacPolicy");
  ASSERT_TRUE(key.get());
  struct Case {
    const wchar_t* description;
    DWORD type;  // REG_NONE: no value.
    DWORD value;
    DWORD size;
    bool on;
  };
  const Case kCases[] = {
      {L"missing", REG_NONE, 0, 0, true},
      {L"zero", REG_DWORD, 0, 4, false},
      {L"one", REG_DWORD, 1, 4, true},
      {L"two", REG_DWORD, 2, 4, true},
      {L"binary zero", REG_BINARY, 0, 4, false},
      {L"short", REG_BINARY, 0, 2, true},
      {L"text", REG_SZ, 0, 2, true},
  };
  for (const Case& c : kCases) {
    RegDeleteValueW(key.get(), L"EnableLUA");
    if (c.type != REG_NONE) {
      ASSERT_TRUE(key.SetValue(L"EnableLUA", c.type, &c.value, c.size));
    }
    EXPECT_EQ(IsUacOnAt(HKEY_CURRENT_USER, key.path().c_str()), c.on)
        << c.description;
  }
  EXPECT_TRUE(IsUacOnAt(HKEY_CURRENT_USER, L"Software\\KelvoTest\\None"));
  // The machine's own setting, whatever it is, is read without trouble.
  IsUacOn();
}

TEST(SecurityTest, GrantedAccessLetsTheEventBeOpenedWithThatRight) {
  struct Case {
    const wchar_t* name;
    WELL_KNOWN_SID_TYPE sid;
  };
  const Case kCases[] = {
      {L"Local\\KelvoGrantSelf", WinSelfSid},
      {L"Local\\KelvoGrantWorld", WinWorldSid},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    const std::wstring name = c.name + std::to_wstring(GetCurrentProcessId());
    // Everyone may wait on the event, and nobody may set it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;0x00100000;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const OwnedHandle event(
        CreateEventW(&attributes, TRUE, FALSE, name.c_str()));
    LocalFree(descriptor);
    ASSERT_TRUE(event.is_valid());

    const OwnedHandle before(
        OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    EXPECT_FALSE(before.is_valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    ASSERT_TRUE(GrantAccessToObject(event.get(), c.sid, EVENT_MODIFY_STATE));
    const OwnedHandle after(
        OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    ASSERT_TRUE(after.is_valid());
    EXPECT_TRUE(SetEvent(after.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0),
              static_cast<DWORD>(WAIT_OBJECT_0));
  }
}

TEST(SecurityTest, UserSidAndLogonSessionDacl) {
  std::wstring sid;
  ASSERT_TRUE(CurrentUserSidText(&sid));
  EXPECT_EQ(sid.rfind(L"S-1-5-", 0), 0u) << sid;

  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(MakeLogonSessionDacl(&descriptor));
  wchar_t* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
  // One entry: everything, for the logon session's SID (S-1-5-5-x-y).
  EXPECT_EQ(std::wstring(text).rfind(L"D:(A;OICI;GA;;;S-1-5-5-", 0), 0u)
      << text;
  LocalFree(text);
  LocalFree(descriptor);
}

TEST(NonClientMetricsTest, FillsTheVistaRecord) {
  NONCLIENTMETRICSW metrics = {};
  ReadNonClientMetrics(&metrics);
  EXPECT_EQ(metrics.cbSize, 504u);
  EXPECT_GT(metrics.iScrollWidth, 0);
}

const HWND kWindow = reinterpret_cast<HWND>(0x1234);

TEST(WindowTrackingTest, ReCreationAfterDestructionIsQuiet) {
  AtExitManager exit_manager;
  test_support::ScopedCheckRecorder recorder;
  TrackWindowCreated(CURRENT_LOCATION, kWindow);
  TrackWindowDestroyed(CURRENT_LOCATION, kWindow);
  TrackWindowCreated(CURRENT_LOCATION, kWindow);
  TrackWindowDestroyed(CURRENT_LOCATION, kWindow);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST(WindowTrackingTest, MisuseIsReportedWithItsPlaces) {
  AtExitManager exit_manager;
  test_support::ScopedCheckRecorder recorder;
  const tracked_objects::Location born("Born", "born.cc", 1);
  const tracked_objects::Location first("First", "first.cc", 2);
  const tracked_objects::Location again("Again", "again.cc", 3);
  TrackWindowCreated(born, kWindow);
  TrackWindowDestroyed(first, kWindow);
  TrackWindowDestroyed(again, kWindow);
  // A creation while the window is still alive, and a destruction of a
  // window never created.
  const HWND other = reinterpret_cast<HWND>(0xABC0);
  TrackWindowCreated(born, other);
  TrackWindowCreated(born, other);
  TrackWindowDestroyed(first, reinterpret_cast<HWND>(0x5678));

  const std::string handle =
      sizeof(HWND) == 8 ? "0000000000001234" : "00001234";
  const std::vector<std::string> expected = {
      "Double delete of an HWND. Please file a bug with info on how you got "
      "that assertion and the following information:\n"
      "Double delete of HWND 0x" +
          handle +
          "\n"
          "Allocated at born.cc[1] Born \n"
          "Deleted first at first.cc[2] First \n"
          "Deleted again at again.cc[3] Again ",
      "Check failed: false. Creation of HWND reported for already tracked "
      "HWND. The HWND destruction is probably not tracked properly. Fix it!",
      "Check failed: false. Destruction of HWND reported for unknown HWND. "
      "The HWND construction is probably not tracked properly. Fix it!",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

}  // namespace
}  // namespace base
