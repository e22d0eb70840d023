// KelvoSetup.exe as a user runs it: silent installs, an upgrade and a
// silent uninstall in the test prefix's own user profile, and the
// installer's image itself. Each test removes every trace of an
// installation, before and after it runs.

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/registry.h"
#include "base/scoped_handle_win.h"
#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/test_files.h"

namespace {

using test_support::FileExists;
using test_support::FixturePath;
using test_support::ReadTextFile;
using test_support::WriteTextFile;

constexpr DWORD kProcessTimeoutMs = 60000;
const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvo";
const wchar_t kPendingRenamesKey[] =
    L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenamesValue[] = L"PendingFileRenameOperations";

// The files the installer puts in place, relative to its folder.
const wchar_t* const kInstalledFiles[] = {
    L"Kelvo.exe",
    L"debug_message.exe",
    L"runtime\\Orvane.dll",
    L"uninstall.exe",
};

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                              path))) {
    return std::wstring();
  }
  return path;
}

std::wstring SetupPath() {
  return FixturePath(L"KelvoSetup.exe");
}

bool UninstallKeyExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring UninstallText(const wchar_t* name) {
  wchar_t text[MAX_PATH * 2] = {};
  size_t length = MAX_PATH * 2;
  if (!base::ReadRegistryText(HKEY_CURRENT_USER, kUninstallKey, name, text,
                              &length)) {
    return std::wstring();
  }
  return std::wstring(text, length);
}

// A DWORD of the uninstall key; `fallback` when it is missing.
DWORD UninstallNumber(const wchar_t* name, DWORD fallback) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_DWORD,
                   nullptr, &value, &size) != ERROR_SUCCESS) {
    return fallback;
  }
  return value;
}

DWORD FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    return 0;
  return data.nFileSizeLow;
}

// The target of the shell link at `path`, or an empty string.
std::wstring ShortcutTarget(const std::wstring& path) {
  std::wstring target;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    return target;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile,
                                       reinterpret_cast<void**>(&file)))) {
      wchar_t found[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
          SUCCEEDED(link->GetPath(found, MAX_PATH, nullptr, 0))) {
        target = found;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return target;
}

// Waits for the processes that `parent_id` started, which may outlive it.
void AwaitChildrenOf(DWORD parent_id) {
  const base::OwnedHandle snapshot(
      CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.is_valid())
    return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID != parent_id)
      continue;
    const base::OwnedHandle child(
        OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (child.is_valid())
      WaitForSingleObject(child.get(), kProcessTimeoutMs);
  }
}

// Removes the deletions at the next restart that name a path under
// `folder`. The value holds pairs of strings, a source and a target that is
// empty for a deletion, each zero-terminated.
void ForgetPendingDeletionsUnder(const std::wstring& folder) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPendingRenamesKey, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  DWORD size = 0;
  std::wstring stored;
  if (RegQueryValueExW(key, kPendingRenamesValue, nullptr, nullptr, nullptr,
                       &size) == ERROR_SUCCESS) {
    stored.resize(size / sizeof(wchar_t));
    if (RegQueryValueExW(key, kPendingRenamesValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&stored[0]),
                         &size) != ERROR_SUCCESS) {
      stored.clear();
    }
  }
  std::vector<std::wstring> strings;
  for (size_t at = 0; at < stored.size();) {
    const size_t end = std::min(stored.find(L'\0', at), stored.size());
    strings.push_back(stored.substr(at, end - at));
    at = end + 1;
  }
  const std::wstring prefix = L"\\??\\" + folder + L"\\";
  std::wstring kept;
  bool changed = false;
  for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
    if (_wcsnicmp(strings[i].c_str(), prefix.c_str(), prefix.size()) == 0) {
      changed = true;
      continue;
    }
    kept += strings[i] + L'\0' + strings[i + 1] + L'\0';
  }
  if (changed && kept.empty()) {
    RegDeleteValueW(key, kPendingRenamesValue);
  } else if (changed) {
    kept += L'\0';
    RegSetValueExW(key, kPendingRenamesValue, 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(kept.data()),
                   static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

// Polls for a file a child writes; false after `timeout_ms`.
bool AwaitFile(const std::wstring& path, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    if (FileExists(path))
      return true;
    Sleep(50);
  }
  return FileExists(path);
}

// The version block of a program.
class VersionBlock {
 public:
  explicit VersionBlock(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
      return;
    data_.resize(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data_.data()))
      data_.clear();
  }

  // File and product version, most significant part first.
  std::vector<DWORD> Numbers() const {
    void* value = nullptr;
    UINT length = 0;
    if (data_.empty() ||
        !VerQueryValueW(data_.data(), L"\\", &value, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
      return {};
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    return {info->dwFileVersionMS, info->dwFileVersionLS,
            info->dwProductVersionMS, info->dwProductVersionLS};
  }

  // A text of the US English, Unicode string table.
  std::wstring Text(const wchar_t* name) const {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query =
        std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (data_.empty() ||
        !VerQueryValueW(data_.data(), query.c_str(), &value, &length) ||
        length == 0) {
      return std::wstring();
    }
    return static_cast<const wchar_t*>(value);
  }

 private:
  std::vector<char> data_;
};

class InstallerTest : public testing::Test {
 protected:
  InstallerTest()
      : install_folder_(ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Kelvo"),
        shortcut_(ShellFolder(CSIDL_PROGRAMS) + L"\\Kelvo.lnk") {}

  void SetUp() override {
    ASSERT_NE(install_folder_, L"\\Kelvo");
    RemoveInstallation();
    // The uninstaller runs a copy of itself from the temporary folder: the
    // installer's programs get one of their own.
    wchar_t saved[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", saved, MAX_PATH);
    saved_temp_ = saved;
    temp_ = std::make_unique<test_support::ScopedTempDir>(L"setup temp");
    SetTemporaryFolder(temp_->path());
  }

  void TearDown() override {
    RemoveInstallation();
    SetTemporaryFolder(saved_temp_);
    const std::wstring temp = temp_->path();
    temp_.reset();
    ForgetPendingDeletionsUnder(temp);
  }

  const std::wstring& temp_path() const { return temp_->path(); }

  std::wstring Installed(const wchar_t* name) const {
    return install_folder_ + L"\\" + name;
  }

  DWORD RunSetup() {
    return test_support::RunToExit(SetupPath(), L"/S", kProcessTimeoutMs);
  }

  // Runs the installed uninstaller silently and waits for the copy of
  // itself that does the work.
  DWORD RunUninstaller() {
    test_support::ChildProcess uninstaller;
    if (!uninstaller.Start(Installed(L"uninstall.exe"), L"/S"))
      return test_support::kNoExitCode;
    DWORD exit_code = test_support::kNoExitCode;
    uninstaller.WaitForExit(kProcessTimeoutMs, &exit_code);
    AwaitChildrenOf(uninstaller.id());
    return exit_code;
  }

  void ExpectInstalled() {
    for (const wchar_t* file : kInstalledFiles)
      EXPECT_TRUE(FileExists(Installed(file))) << file;
    EXPECT_EQ(ShortcutTarget(shortcut_), Installed(L"Kelvo.exe"));
    EXPECT_TRUE(UninstallKeyExists());
  }

  void ExpectNothingOfOursLeft() {
    for (const wchar_t* file : kInstalledFiles)
      EXPECT_FALSE(FileExists(Installed(file))) << file;
    EXPECT_FALSE(FileExists(shortcut_));
    EXPECT_FALSE(UninstallKeyExists());
  }

  const std::wstring install_folder_;
  const std::wstring shortcut_;

 private:
  static void SetTemporaryFolder(const std::wstring& folder) {
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
    SetEnvironmentVariableW(L"TMP", folder.c_str());
  }

  void RemoveInstallation() {
    test_support::DeleteTree(install_folder_);
    DeleteFileW(shortcut_.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
  }

  std::unique_ptr<test_support::ScopedTempDir> temp_;
  std::wstring saved_temp_;
};

TEST_F(InstallerTest, InstallsRunsAndUninstallsWithoutTrace) {
  ASSERT_EQ(RunSetup(), 0u);
  ExpectInstalled();

  EXPECT_EQ(UninstallText(L"DisplayName"), L"Kelvo");
  const std::wstring version =
      VersionBlock(Installed(L"Kelvo.exe")).Text(L"ProductVersion");
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(UninstallText(L"DisplayVersion"), version);
  EXPECT_EQ(UninstallText(L"InstallLocation"), install_folder_);
  EXPECT_EQ(UninstallText(L"UninstallString"),
            L"\"" + Installed(L"uninstall.exe") + L"\"");
  EXPECT_EQ(UninstallText(L"QuietUninstallString"),
            L"\"" + Installed(L"uninstall.exe") + L"\" /S");
  // In KiB: each installed program's size, rounded up.
  DWORD kib = 0;
  for (const wchar_t* file :
       {L"Kelvo.exe", L"debug_message.exe", L"runtime\\Orvane.dll"}) {
    kib += (FileSize(Installed(file)) + 1023) / 1024;
  }
  EXPECT_EQ(UninstallNumber(L"EstimatedSize", 0), kib);
  EXPECT_EQ(UninstallNumber(L"NoModify", 0), 1u);

  // The installed launcher finds the module where it was put.
  EXPECT_EQ(test_support::RunToExit(Installed(L"Kelvo.exe"),
                                    L"--close-after-ms=0 --exit-code=17",
                                    kProcessTimeoutMs),
            17u);

  EXPECT_EQ(RunUninstaller(), 0u);
  ExpectNothingOfOursLeft();
  EXPECT_FALSE(FileExists(install_folder_));
}

TEST_F(InstallerTest, UpgradeKeepsStagedUpdateAndUserFiles) {
  ASSERT_EQ(RunSetup(), 0u);
  const std::string module = ReadTextFile(Installed(L"runtime\\Orvane.dll"));
  ASSERT_FALSE(module.empty());
  struct UserFile {
    const wchar_t* name;
    const char* contents;
  };
  const UserFile kUserFiles[] = {
      {L"runtime\\updatePkg.exe.tbd", "the staged update"},
      {L"runtime\\settings.txt", "the user's settings"},
      {L"notes.txt", "the user's notes"},
  };
  for (const UserFile& file : kUserFiles)
    ASSERT_TRUE(WriteTextFile(Installed(file.name), file.contents));
  // As if an older version had put another module there.
  ASSERT_TRUE(WriteTextFile(Installed(L"runtime\\Orvane.dll"), "old module"));

  ASSERT_EQ(RunSetup(), 0u);

  ExpectInstalled();
  EXPECT_EQ(ReadTextFile(Installed(L"runtime\\Orvane.dll")), module);
  for (const UserFile& file : kUserFiles)
    EXPECT_EQ(ReadTextFile(Installed(file.name)), file.contents) << file.name;

  // The uninstaller removes what was installed, and nothing else.
  EXPECT_EQ(RunUninstaller(), 0u);
  ExpectNothingOfOursLeft();
  for (const UserFile& file : kUserFiles)
    EXPECT_EQ(ReadTextFile(Installed(file.name)), file.contents) << file.name;
}

// While Kelvo.exe runs, its files can be neither replaced nor removed: the
// installer and the uninstaller refuse to start rather than leave half an
// upgrade or an unregistered remnant behind.
TEST_F(InstallerTest, RefusesUpgradeAndUninstallWhileKelvoRuns) {
  ASSERT_EQ(RunSetup(), 0u);
  ASSERT_TRUE(
      WriteTextFile(Installed(L"debug_message.exe"), "an older helper"));
  const std::wstring ready = temp_path() + L"\\ready.txt";
  test_support::ChildProcess kelvo;
  ASSERT_TRUE(kelvo.Start(
      Installed(L"Kelvo.exe"),
      L"--close-after-ms=60000 --exit-code=23 --ready=\"" + ready + L"\""));
  ASSERT_TRUE(AwaitFile(ready, kProcessTimeoutMs));

  // The installer's own way of stopping: exit code 2.
  EXPECT_EQ(RunSetup(), 2u);
  EXPECT_EQ(ReadTextFile(Installed(L"debug_message.exe")), "an older helper");
  RunUninstaller();
  ExpectInstalled();

  const HWND window = FindWindowW(L"Zephra_WidgetWin_0", L"KELVO");
  ASSERT_TRUE(window);
  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD exit_code = 0;
  ASSERT_TRUE(kelvo.WaitForExit(kProcessTimeoutMs, &exit_code));
  EXPECT_EQ(exit_code, 23u);
}

// A file that cannot be written or deleted stops the installer and the
// uninstaller with an error; the uninstaller keeps itself and its key, and
// finishes once the file is free.
TEST_F(InstallerTest, HeldFileStopsSetupAndUninstallerWithAnError) {
  ASSERT_EQ(RunSetup(), 0u);
  const std::wstring module = Installed(L"runtime\\Orvane.dll");
  {
    // Readable by others, but neither writable nor deletable.
    const base::OwnedHandle hold(CreateFileW(module.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold.is_valid());

    EXPECT_EQ(RunSetup(), 2u);
    RunUninstaller();
    EXPECT_TRUE(FileExists(module));
    EXPECT_TRUE(FileExists(Installed(L"uninstall.exe")));
    EXPECT_TRUE(FileExists(shortcut_));
    EXPECT_TRUE(UninstallKeyExists());
  }

  RunUninstaller();
  ExpectNothingOfOursLeft();
  EXPECT_FALSE(FileExists(install_folder_));
}

// The bytes of every RT_ICON image in the program at `path`.
std::vector<std::string> IconImages(const std::wstring& path) {
  std::vector<std::string> images;
  const HMODULE module =
      LoadLibraryExW(path.c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module)
    return images;
  EnumResourceNamesW(
      module, RT_ICON,
      [](HMODULE source, const wchar_t* type, wchar_t* name,
         LONG_PTR found) -> BOOL {
        const HRSRC resource = FindResourceW(source, name, type);
        const HGLOBAL loaded =
            resource ? LoadResource(source, resource) : nullptr;
        if (loaded) {
          reinterpret_cast<std::vector<std::string>*>(found)->emplace_back(
              static_cast<const char*>(LockResource(loaded)),
              SizeofResource(source, resource));
        }
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&images));
  FreeLibrary(module);
  return images;
}

// The text of the program's manifest, or an empty string.
std::string Manifest(const std::wstring& path) {
  std::string text;
  const HMODULE module =
      LoadLibraryExW(path.c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module)
    return text;
  const HRSRC resource =
      FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  const HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  if (loaded) {
    text.assign(static_cast<const char*>(LockResource(loaded)),
                SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return text;
}

TEST(InstallerImageTest, IsA64BitPerUserProgramWithKelvosVersionAndIcon) {
  const std::string image = ReadTextFile(SetupPath());
  ASSERT_GT(image.size(), 0x40u);
  uint32_t header = 0;
  memcpy(&header, image.data() + 0x3C, sizeof(header));
  ASSERT_LT(header + 6u, image.size());
  EXPECT_EQ(image.substr(header, 4), std::string("PE\0\0", 4));
  uint16_t machine = 0;
  memcpy(&machine, image.data() + header + 4, sizeof(machine));
  EXPECT_EQ(machine, IMAGE_FILE_MACHINE_AMD64);
  // A per-user installer: it asks for no elevation.
  EXPECT_NE(Manifest(SetupPath()).find("level=\"asInvoker\""),
            std::string::npos);

  const VersionBlock kelvo(FixturePath(L"Kelvo.exe"));
  const VersionBlock setup(SetupPath());
  ASSERT_EQ(kelvo.Numbers().size(), 4u);
  EXPECT_EQ(setup.Numbers(), kelvo.Numbers());
  for (const wchar_t* name :
       {L"CompanyName", L"ProductName", L"ProductVersion", L"FileVersion"}) {
    EXPECT_FALSE(kelvo.Text(name).empty()) << name;
    EXPECT_EQ(setup.Text(name), kelvo.Text(name)) << name;
  }

  const std::vector<std::string> kelvo_icons =
      IconImages(FixturePath(L"Kelvo.exe"));
  const std::vector<std::string> setup_icons = IconImages(SetupPath());
  ASSERT_FALSE(kelvo_icons.empty());
  for (const std::string& icon : kelvo_icons) {
    bool carried = false;
    for (const std::string& candidate : setup_icons)
      carried = carried || candidate == icon;
    EXPECT_TRUE(carried) << "an icon image of " << icon.size() << " bytes";
  }
}

}  // namespace
