#include "base/registry.h"

#include <sddl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_registry.h"

namespace base {
namespace {

using test_support::ScopedTestRegistryKey;

TEST(ReadRegistryTextTest, TerminatesAfterTheReturnedText) {
  ScopedTestRegistryKey key(L"Software\\KelvoTest\\RegistryText");
  const DWORD number = 7;
  ASSERT_TRUE(key.SetValue(L"terminated", REG_SZ, L"abc", 8));
  ASSERT_TRUE(key.SetValue(L"unterminated", REG_SZ, L"abc", 6));
  ASSERT_TRUE(key.SetValue(L"odd", REG_SZ, L"abcd", 7));
  ASSERT_TRUE(key.SetValue(L"exact", REG_SZ, L"abcd", 10));
  ASSERT_TRUE(key.SetValue(L"full", REG_SZ, L"abcde", 10));
  ASSERT_TRUE(key.SetValue(L"long", REG_SZ, L"abcdefgh", 18));
  ASSERT_TRUE(key.SetValue(L"empty", REG_SZ, L"", 0));
  ASSERT_TRUE(key.SetValue(L"expand", REG_EXPAND_SZ, L"%TEMP%", 14));
  ASSERT_TRUE(key.SetValue(L"number", REG_DWORD, &number, sizeof(number)));

  struct Case {
    const wchar_t* name;
    size_t buffer_length;
    bool ok;
    const wchar_t* text;
  };
  const Case kCases[] = {
      {L"terminated", 10, true, L"abc"},
      // Stored without a terminator: leftovers of the buffer must not show.
      {L"unterminated", 10, true, L"abc"},
      {L"odd", 10, true, L"abcd"},
      {L"exact", 5, true, L"abcd"},
      {L"full", 5, false, L""},  // Would need a sixth character.
      {L"long", 5, false, L""},
      {L"empty", 10, false, L""},
      {L"expand", 10, false, L""},
      {L"number", 10, false, L""},
      {L"missing", 10, false, L""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    std::vector<wchar_t> out(c.buffer_length, L'X');
    size_t length = out.size();
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, key.path().c_str(), c.name,
                               out.data(), &length),
              c.ok);
    EXPECT_EQ(std::wstring(out.data()), c.text);
    if (c.ok) {
      EXPECT_EQ(length, std::wcslen(c.text));
    }
  }
  wchar_t out[8];
  size_t length = 8;
  EXPECT_FALSE(ReadRegistryText(HKEY_CURRENT_USER, L"Software\\KelvoTest\\None",
                                L"terminated", out, &length));
}

TEST(ReadRegistryStringTest, ReadsTerminatedAndUnterminatedValues) {
  ScopedTestRegistryKey key(L"Software\\KelvoTest\\RegistryString");
  ASSERT_TRUE(key.get());
  const wchar_t terminated[] = L"C:\\Kelvo";
  ASSERT_TRUE(
      key.SetValue(L"terminated", REG_SZ, terminated, sizeof(terminated)));
  // Stored without its terminator, and with an odd byte count whose last
  // byte is not zero: the odd byte ('d', low byte first) is kept, and the
  // read still ends in a terminator of its own.
  const wchar_t bare[] = L"abcd";
  ASSERT_TRUE(key.SetValue(L"bare", REG_SZ, bare, 3 * sizeof(wchar_t) + 1));

  std::unique_ptr<wchar_t[]> value;
  ASSERT_TRUE(ReadRegistryString(key.get(), L"terminated", &value));
  EXPECT_STREQ(value.get(), L"C:\\Kelvo");
  ASSERT_TRUE(ReadRegistryString(key.get(), L"bare", &value));
  EXPECT_STREQ(value.get(), L"abcd");
  EXPECT_FALSE(ReadRegistryString(key.get(), L"missing", &value));
}

TEST(RegistryKeyTest, ReadsEachTypeWithinItsBuffer) {
  ScopedTestRegistryKey key(L"Software\\KelvoTest\\RegistryKeyRead");
  ASSERT_TRUE(key.get());
  const DWORD number = 0x01020304;
  const unsigned char four_bytes[] = {1, 0, 0, 0};
  const unsigned char eight_bytes[8] = {2};
  const unsigned long long wide_number = 5;
  // 1023 units and a terminator fill the 2048-byte buffer exactly; without
  // the terminator the same text must not be read with whatever follows.
  const std::wstring longest(1023, L'x');
  ASSERT_TRUE(key.SetValue(L"sz", REG_SZ, L"text", 10));
  ASSERT_TRUE(key.SetValue(L"empty", REG_SZ, L"", 2));
  ASSERT_TRUE(key.SetValue(L"bare", REG_SZ, L"abc", 6));
  ASSERT_TRUE(key.SetValue(L"odd", REG_SZ, L"abcd", 7));
  ASSERT_TRUE(key.SetValue(L"longest", REG_SZ, longest.c_str(), 2048));
  const std::wstring full(1024, L'y');
  ASSERT_TRUE(key.SetValue(L"full", REG_SZ, full.c_str(), 2048));
  const std::wstring too_long(1100, L'z');
  ASSERT_TRUE(key.SetValue(L"too_long", REG_SZ, too_long.c_str(), 2202));
  ASSERT_TRUE(key.SetValue(L"expand", REG_EXPAND_SZ, L"%SystemRoot%\\x", 30));
  ASSERT_TRUE(key.SetValue(L"dword", REG_DWORD, &number, 4));
  ASSERT_TRUE(key.SetValue(L"binary4", REG_BINARY, four_bytes, 4));
  ASSERT_TRUE(key.SetValue(L"binary8", REG_BINARY, eight_bytes, 8));
  ASSERT_TRUE(key.SetValue(L"qword", REG_DWORD, &wide_number, 8));
  ASSERT_TRUE(key.SetValue(L"short", REG_DWORD, &number, 2));

  wchar_t system_root[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", system_root, MAX_PATH), 0u);

  struct Case {
    const wchar_t* name;
    bool string_ok;
    std::wstring text;
    bool dword_ok;
    DWORD dword;
  };
  const Case kCases[] = {
      {L"sz", true, L"text", false, 0},
      {L"empty", true, L"", false, 0},
      {L"bare", true, L"abc", false, 0},
      {L"odd", true, L"abcd", false, 0},
      {L"longest", true, longest, false, 0},
      {L"full", false, L"", false, 0},
      {L"too_long", false, L"", false, 0},
      {L"expand", true, std::wstring(system_root) + L"\\x", false, 0},
      {L"dword", false, L"", true, 0x01020304},
      {L"binary4", false, L"", true, 1},
      {L"binary8", false, L"", false, 0},
      {L"qword", false, L"", false, 0},
      {L"short", false, L"", false, 0},
      {L"missing", false, L"", false, 0},
  };
  const RegistryKey reader(HKEY_CURRENT_USER, key.path().c_str(), KEY_READ);
  ASSERT_TRUE(reader.Valid());
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    std::wstring text = L"untouched";
    EXPECT_EQ(reader.ReadString(c.name, &text), c.string_ok);
    EXPECT_EQ(text, c.string_ok ? c.text : L"untouched");
    DWORD value = 77;
    EXPECT_EQ(reader.ReadDword(c.name, &value), c.dword_ok);
    EXPECT_EQ(value, c.dword_ok ? c.dword : 77u);
    EXPECT_EQ(reader.HasValue(c.name), std::wstring(c.name) != L"missing");
  }
}

TEST(RegistryKeyTest, WritesRemovesAndCountsValues) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\RegistryKeyWrite");
  RegistryKey key(HKEY_CURRENT_USER, scope.path().c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  EXPECT_EQ(key.ValueCount(), 0u);
  ASSERT_TRUE(key.WriteString(L"name", L"value"));
  ASSERT_TRUE(key.WriteString(L"empty", L""));
  ASSERT_TRUE(key.WriteDword(L"number", 42));
  ASSERT_TRUE(key.WriteString(nullptr, L"default"));
  EXPECT_EQ(key.ValueCount(), 4u);

  // An empty text is stored as its terminator alone.
  unsigned char raw[8] = {9, 9, 9};
  DWORD size = sizeof(raw);
  DWORD type = REG_NONE;
  ASSERT_TRUE(key.ReadRaw(L"empty", raw, &size, &type));
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw[0] | raw[1], 0);

  std::wstring text;
  EXPECT_TRUE(key.ReadString(L"", &text));
  EXPECT_EQ(text, L"default");
  std::vector<std::wstring> names;
  for (int i = 0; key.ValueNameAt(i, nullptr); ++i) {
    std::wstring name;
    ASSERT_TRUE(key.ValueNameAt(i, &name));
    names.push_back(name);
  }
  EXPECT_EQ(names.size(), 4u);
  EXPECT_FALSE(key.ValueNameAt(-1, nullptr));

  EXPECT_TRUE(key.RemoveValue(L"name"));
  EXPECT_FALSE(key.RemoveValue(L"name"));
  EXPECT_FALSE(key.HasValue(L"name"));
  EXPECT_EQ(key.ValueCount(), 3u);
}

TEST(RegistryKeyTest, AFailedOpenLeavesTheKeyClosed) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\RegistryKeyOpen");
  ASSERT_TRUE(scope.SetValue(L"here", REG_SZ, L"x", 4));
  RegistryKey key(HKEY_CURRENT_USER, scope.path().c_str(), KEY_READ);
  ASSERT_TRUE(key.HasValue(L"here"));
  EXPECT_FALSE(key.OpenSubkey(L"missing", KEY_READ));
  EXPECT_FALSE(key.Valid());
  EXPECT_FALSE(key.HasValue(L"here"));
  EXPECT_EQ(key.ValueCount(), 0u);

  ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, scope.path().c_str(), KEY_READ));
  EXPECT_FALSE(
      key.Open(HKEY_CURRENT_USER, L"Software\\KelvoTest\\None", KEY_READ));
  EXPECT_FALSE(key.Valid());
  std::wstring text;
  EXPECT_FALSE(key.ReadString(L"here", &text));

  // A key made for writing is created on the way; one made for reading is
  // not.
  const std::wstring made = scope.path() + L"\\made";
  EXPECT_FALSE(RegistryKey(HKEY_CURRENT_USER, made.c_str(), KEY_READ).Valid());
  DWORD disposition = 0;
  ASSERT_TRUE(key.CreateWithDisposition(HKEY_CURRENT_USER, made.c_str(),
                                        &disposition, KEY_ALL_ACCESS));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_TRUE(key.CreateWithDisposition(HKEY_CURRENT_USER, made.c_str(),
                                        &disposition, KEY_ALL_ACCESS));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_TRUE(key.CreateSubkey(L"deeper", KEY_ALL_ACCESS));
  ASSERT_TRUE(key.WriteDword(L"n", 1));
  ASSERT_TRUE(
      key.Open(HKEY_CURRENT_USER, scope.path().c_str(), KEY_ALL_ACCESS));
  EXPECT_TRUE(key.DeleteSubtree(L"made"));
  EXPECT_FALSE(RegistryKey(HKEY_CURRENT_USER, made.c_str(), KEY_READ).Valid());
  EXPECT_FALSE(key.DeleteSubtree(L"made"));
}

TEST(RegistryKeyTest, NullArgumentsFailTheirChecks) {
  test_support::ScopedCheckRecorder recorder;
  RegistryKey key;
  DWORD value = 0;
  EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, nullptr, KEY_READ));
  EXPECT_FALSE(key.Create(HKEY_CURRENT_USER, L"x", 0));
  EXPECT_FALSE(key.OpenSubkey(nullptr, KEY_READ));
  EXPECT_FALSE(key.ReadDword(L"x", nullptr));
  EXPECT_FALSE(key.ReadString(L"x", nullptr));
  EXPECT_FALSE(key.WriteRaw(L"x", nullptr, 0, REG_BINARY));
  EXPECT_FALSE(key.RemoveValue(nullptr));
  EXPECT_FALSE(key.ReadDword(L"x", &value));
  RegistryKey rootless(nullptr, L"x", KEY_READ);
  const std::vector<std::string> expected = {
      "Check failed: rootkey && subkey && access. ",
      "Check failed: rootkey && subkey && access && disposition. ",
      "Check failed: name && access. ",
      "Check failed: value. ",
      "Check failed: value. ",
      "Check failed: data. ",
      "Check failed: value_name. ",
      "Check failed: !subkey. ",
  };
  EXPECT_EQ(recorder.messages(), expected);
}

TEST(RegistryKeyTest, AWatchFiresOnceThenRearms) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\RegistryWatch");
  RegistryKey key(HKEY_CURRENT_USER, scope.path().c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(key.Valid());
  EXPECT_FALSE(key.ChangedSinceWatch());
  EXPECT_FALSE(key.EndWatch());
  ASSERT_TRUE(key.BeginWatch());
  EXPECT_FALSE(key.ChangedSinceWatch());

  // A change below the key counts, reported once.
  RegistryKey writer(HKEY_CURRENT_USER, (scope.path() + L"\\below").c_str(),
                     KEY_ALL_ACCESS);
  ASSERT_TRUE(writer.WriteDword(L"n", 1));
  EXPECT_TRUE(key.ChangedSinceWatch());
  EXPECT_FALSE(key.ChangedSinceWatch());

  // The watch was armed again by the report.
  ASSERT_TRUE(writer.WriteDword(L"n", 2));
  EXPECT_TRUE(key.ChangedSinceWatch());

  {
    test_support::ScopedCheckRecorder recorder;
    EXPECT_FALSE(key.BeginWatch());
    EXPECT_EQ(
        recorder.messages(),
        std::vector<std::string>{"Check failed: !watch_event_.is_valid(). "});
  }
  EXPECT_TRUE(key.EndWatch());
  ASSERT_TRUE(writer.WriteDword(L"n", 3));
  EXPECT_FALSE(key.ChangedSinceWatch());
}

TEST(RegistryWalkerTest, WalksFromTheLastIndexAndSkipsOversizedValues) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\RegistryWalk");
  ASSERT_TRUE(scope.SetValue(L"a", REG_SZ, L"one", 8));
  // 520 bytes of data are read; 521 are too many for the walker.
  const std::vector<unsigned char> fits(520, 7);
  const std::vector<unsigned char> too_big(521, 7);
  ASSERT_TRUE(scope.SetValue(L"b", REG_BINARY, fits.data(), fits.size()));
  ASSERT_TRUE(scope.SetValue(L"c", REG_BINARY, too_big.data(), too_big.size()));
  ASSERT_TRUE(scope.SetValue(L"d", REG_SZ, L"four", 10));

  // The platform's index order, which the walk visits backwards.
  std::vector<std::wstring> index_order;
  {
    const RegistryKey key(HKEY_CURRENT_USER, scope.path().c_str(), KEY_READ);
    std::wstring name;
    for (int i = 0; key.ValueNameAt(i, &name); ++i)
      index_order.push_back(name);
  }
  ASSERT_EQ(index_order.size(), 4u);

  struct Seen {
    std::wstring name;
    DWORD size;
  };
  std::vector<Seen> seen;
  RegistryValueWalker walker(HKEY_CURRENT_USER, scope.path().c_str());
  EXPECT_EQ(walker.ValueCount(), 4u);
  for (; walker.Valid(); walker.Advance())
    seen.push_back({walker.Name(), walker.ValueSize()});
  ASSERT_EQ(seen.size(), 4u);
  for (size_t i = 0; i < seen.size(); ++i) {
    const std::wstring& expected = index_order[index_order.size() - 1 - i];
    SCOPED_TRACE(testing::PrintToString(expected));
    if (expected == L"c") {
      EXPECT_EQ(seen[i].name, L"");
      EXPECT_EQ(seen[i].size, 0u);
    } else {
      EXPECT_EQ(seen[i].name, expected);
      EXPECT_EQ(seen[i].size, expected == L"a"   ? 8u
                              : expected == L"b" ? 520u
                                                 : 10u);
    }
  }
  EXPECT_EQ(walker.Name(), std::wstring());

  RegistryValueWalker missing(HKEY_CURRENT_USER, L"Software\\KelvoTest\\None");
  EXPECT_FALSE(missing.Valid());
  EXPECT_EQ(missing.ValueCount(), 0u);
}

TEST(RegistryWalkerTest, WalksSubkeysBackwards) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\RegistrySubkeys");
  for (const wchar_t* name : {L"x", L"y", L"z"}) {
    ASSERT_TRUE(RegistryKey(HKEY_CURRENT_USER,
                            (scope.path() + L"\\" + name).c_str(),
                            KEY_ALL_ACCESS)
                    .Valid());
  }
  std::vector<std::wstring> names;
  RegistrySubkeyWalker walker(HKEY_CURRENT_USER, scope.path().c_str());
  EXPECT_EQ(walker.SubkeyCount(), 3u);
  for (; walker.Valid(); walker.Advance())
    names.push_back(walker.Name());
  // Subkeys are indexed in name order.
  EXPECT_EQ(names, (std::vector<std::wstring>{L"z", L"y", L"x"}));
}

constexpr wchar_t kClsid[] = L"{6A1C2E44-58A3-4D2B-9C11-7B0E5A3F9D21}";

TEST(InprocServerTest, RegistersUnderAClassesKeyItMayWrite) {
  ScopedTestRegistryKey classes(L"Software\\KelvoTest\\Classes");
  ASSERT_TRUE(classes.get());
  EXPECT_TRUE(RegisterInprocServer(kClsid, L"Kelvo sample", L"c:\\x\\s.dll",
                                   classes.get()));
  const std::wstring server =
      classes.path() + L"\\CLSID\\" + kClsid + L"\\InprocServer32";
  const RegistryKey key(HKEY_CURRENT_USER, server.c_str(), KEY_READ);
  std::wstring text;
  EXPECT_TRUE(key.ReadString(nullptr, &text));
  EXPECT_EQ(text, L"c:\\x\\s.dll");
  EXPECT_TRUE(key.ReadString(L"ThreadingModel", &text));
  EXPECT_EQ(text, L"Apartment");

  // The module form stores the module's path in lower case.
  EXPECT_TRUE(RegisterInprocServerModule(kClsid, L"Kelvo sample", nullptr,
                                         classes.get()));
  EXPECT_TRUE(key.ReadString(nullptr, &text));
  std::wstring lower = ModuleFilePath(nullptr);
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  EXPECT_EQ(text, lower);

  EXPECT_TRUE(UnregisterInprocServer(kClsid, classes.get()));
  EXPECT_FALSE(
      RegistryKey(HKEY_CURRENT_USER, server.c_str(), KEY_READ).Valid());
  // A class that is not registered counts as unregistered.
  EXPECT_TRUE(UnregisterInprocServer(kClsid, classes.get()));
}

// A key that cannot hold the registration: a volatile key takes no lasting
// subkeys, so the very first step fails.
TEST(InprocServerTest, AClassesKeyThatCannotHoldItAnswersFalse) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\VolatileClasses");
  HKEY volatile_key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(scope.get(), L"Classes", 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &volatile_key, nullptr),
      ERROR_SUCCESS);
  EXPECT_FALSE(RegisterInprocServer(kClsid, L"Kelvo sample", L"c:\\s.dll",
                                    volatile_key));
  // Nothing was registered there, so there is nothing to remove.
  EXPECT_TRUE(UnregisterInprocServer(kClsid, volatile_key));
  RegCloseKey(volatile_key);
}

// A classes key that grants only reading, like the machine-wide one to a
// process that runs as the invoking user.
TEST(InprocServerTest, AClassesKeyItMayOnlyReadAnswersFalse) {
  ScopedTestRegistryKey scope(L"Software\\KelvoTest\\ReadOnlyClasses");
  ASSERT_TRUE(scope.get());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;OICI;KR;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  HKEY clsid_key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(scope.get(), L"CLSID", 0, nullptr, 0, KEY_READ,
                            &attributes, &clsid_key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(clsid_key);
  LocalFree(descriptor);

  HKEY probe = nullptr;
  if (RegOpenKeyExW(scope.get(), L"CLSID", 0, KEY_SET_VALUE, &probe) ==
      ERROR_SUCCESS) {
    // Wine keeps no access control on registry keys: the key opens for
    // writing whatever it grants. The volatile-key case above shows the
    // failing answer there.
    RegCloseKey(probe);
    GTEST_SKIP() << "registry keys are not access-checked here";
  }
  EXPECT_FALSE(
      RegisterInprocServer(kClsid, L"Kelvo sample", L"c:\\s.dll", scope.get()));
  EXPECT_FALSE(UnregisterInprocServer(kClsid, scope.get()));

  // The owner may always change the key's access list: open it up again so
  // that the scope can delete it.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;OICI;KA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  ASSERT_EQ(RegOpenKeyExW(scope.get(), L"CLSID", 0, WRITE_DAC, &clsid_key),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetKeySecurity(clsid_key, DACL_SECURITY_INFORMATION, descriptor),
            ERROR_SUCCESS);
  RegCloseKey(clsid_key);
  LocalFree(descriptor);
}

}  // namespace
}  // namespace base
