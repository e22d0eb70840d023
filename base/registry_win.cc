#include "base/registry.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <limits>

#include "base/base_paths.h"
#include "base/logging.h"

namespace base {
namespace {

// The access bits that make the key's constructor create rather than open.
constexpr REGSAM kCreatingAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

// ReadString's buffers, in wide units.
constexpr DWORD kStringUnits = 1024;

// Reads the value `name` of `key` into `out`, a buffer of `capacity` wide
// units, and terminates it right after the returned data (an odd last byte
// counts as a unit of its own). `*type` and `*bytes` receive the stored type
// and size. False, with `out` empty, when the value cannot be read or
// needs all of the buffer without ending in a terminator.
bool ReadTerminatedText(HKEY key,
                        const wchar_t* name,
                        wchar_t* out,
                        size_t capacity,
                        DWORD* type,
                        DWORD* bytes) {
  if (capacity == 0 ||
      capacity > std::numeric_limits<DWORD>::max() / sizeof(wchar_t)) {
    return false;
  }
  // Zeroed first, so that whatever the registry returns is followed by
  // zeros and never by what the buffer held before.
  std::wmemset(out, L'\0', capacity);
  *bytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
  if (!key ||
      RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(out),
                       bytes) != ERROR_SUCCESS) {
    out[0] = L'\0';
    return false;
  }
  const size_t units = (size_t{*bytes} + 1) / sizeof(wchar_t);
  if (units >= capacity && out[capacity - 1] != L'\0') {
    out[0] = L'\0';
    return false;
  }
  if (units < capacity)
    out[units] = L'\0';
  return true;
}

// Counts the subkeys and values of `key` (either pointer may be null).
bool CountEntries(HKEY key, DWORD* subkeys, DWORD* values) {
  return key && RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, subkeys,
                                 nullptr, nullptr, values, nullptr, nullptr,
                                 nullptr, nullptr) == ERROR_SUCCESS;
}

// True when `subkey` of `root` does not exist (as opposed to existing but
// being out of reach).
bool KeyIsMissing(HKEY root, const wchar_t* subkey) {
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, &key);
  if (result == ERROR_SUCCESS)
    RegCloseKey(key);
  return result == ERROR_FILE_NOT_FOUND;
}

// Opens `folder_key` of `rootkey` for reading and counts its subkeys and
// values (either pointer may be null). On any failure `*key` is null.
bool OpenForWalk(HKEY rootkey,
                 const wchar_t* folder_key,
                 HKEY* key,
                 DWORD* subkeys,
                 DWORD* values) {
  if (RegOpenKeyExW(rootkey, folder_key, 0, KEY_READ, key) != ERROR_SUCCESS) {
    *key = nullptr;
    return false;
  }
  if (!CountEntries(*key, subkeys, values)) {
    RegCloseKey(*key);
    *key = nullptr;
    return false;
  }
  return true;
}

}  // namespace

bool ReadRegistryText(HKEY root,
                      const wchar_t* sub_key,
                      const wchar_t* value_name,
                      wchar_t* out,
                      size_t* length) {
  const RegistryKey key(root, sub_key, KEY_READ);
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  if (!ReadTerminatedText(key.handle(), value_name, out, *length, &type,
                          &bytes)) {
    return false;
  }
  if (bytes == 0 || type != REG_SZ) {
    out[0] = L'\0';
    return false;
  }
  *length = std::wcslen(out);
  return true;
}

bool ReadRegistryString(HKEY key,
                        const wchar_t* value_name,
                        std::unique_ptr<wchar_t[]>* out) {
  DWORD size = 0;
  if (RegQueryValueExW(key, value_name, nullptr, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  // Whole characters for every byte of the value, plus one zero character
  // that survives whatever the value holds.
  const size_t characters = size / sizeof(wchar_t) + size % sizeof(wchar_t) + 1;
  if (characters > std::numeric_limits<DWORD>::max() / sizeof(wchar_t))
    return false;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[characters]);
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  if (!ReadTerminatedText(key, value_name, buffer.get(), characters, &type,
                          &bytes)) {
    return false;
  }
  *out = std::move(buffer);
  return true;
}

RegistryKey::RegistryKey() = default;

RegistryKey::RegistryKey(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  if (!rootkey) {
    CHECK(!subkey);
    return;
  }
  // The answer shows in Valid(): every operation on a key that did not
  // open fails.
  if (access & kCreatingAccess)
    Create(rootkey, subkey, access);
  else
    Open(rootkey, subkey, access);
}

RegistryKey::~RegistryKey() {
  Close();
}

bool RegistryKey::Create(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  DWORD disposition = 0;
  return CreateWithDisposition(rootkey, subkey, &disposition, access);
}

bool RegistryKey::CreateWithDisposition(HKEY rootkey,
                                        const wchar_t* subkey,
                                        DWORD* disposition,
                                        REGSAM access) {
  CHECK_OR_RETURN(rootkey && subkey && access && disposition, false);
  Close();
  if (RegCreateKeyExW(rootkey, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      access, nullptr, &key_, disposition) != ERROR_SUCCESS) {
    key_ = nullptr;
    return false;
  }
  return true;
}

bool RegistryKey::Open(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  CHECK_OR_RETURN(rootkey && subkey && access, false);
  Close();
  if (RegOpenKeyExW(rootkey, subkey, 0, access, &key_) != ERROR_SUCCESS) {
    key_ = nullptr;
    return false;
  }
  return true;
}

bool RegistryKey::CreateSubkey(const wchar_t* name, REGSAM access) {
  CHECK_OR_RETURN(name && access, false);
  HKEY subkey = nullptr;
  const bool created =
      key_ &&
      RegCreateKeyExW(key_, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                      nullptr, &subkey, nullptr) == ERROR_SUCCESS;
  Close();
  key_ = created ? subkey : nullptr;
  return created;
}

bool RegistryKey::OpenSubkey(const wchar_t* name, REGSAM access) {
  CHECK_OR_RETURN(name && access, false);
  HKEY subkey = nullptr;
  const bool opened =
      key_ && RegOpenKeyExW(key_, name, 0, access, &subkey) == ERROR_SUCCESS;
  Close();
  key_ = opened ? subkey : nullptr;
  return opened;
}

void RegistryKey::Close() {
  EndWatch();
  if (key_) {
    RegCloseKey(key_);
    key_ = nullptr;
  }
}

DWORD RegistryKey::ValueCount() const {
  DWORD count = 0;
  return CountEntries(key_, nullptr, &count) ? count : 0;
}

bool RegistryKey::ValueNameAt(int index, std::wstring* name) const {
  wchar_t buffer[256];
  DWORD units = 256;
  if (!key_ || index < 0 ||
      RegEnumValueW(key_, static_cast<DWORD>(index), buffer, &units, nullptr,
                    nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (name)
    name->assign(buffer, units);
  return true;
}

bool RegistryKey::HasValue(const wchar_t* name) const {
  return key_ && RegQueryValueExW(key_, name, nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::ReadRaw(const wchar_t* name,
                          void* data,
                          DWORD* size,
                          DWORD* type) const {
  return key_ &&
         RegQueryValueExW(key_, name, nullptr, type, static_cast<BYTE*>(data),
                          size) == ERROR_SUCCESS;
}

bool RegistryKey::ReadString(const wchar_t* name, std::wstring* value) const {
  CHECK_OR_RETURN(value, false);
  wchar_t raw[kStringUnits];
  DWORD type = REG_SZ;
  DWORD bytes = 0;
  if (!ReadTerminatedText(key_, name, raw, kStringUnits, &type, &bytes))
    return false;
  if (type == REG_SZ) {
    value->assign(raw);
    return true;
  }
  if (type != REG_EXPAND_SZ)
    return false;
  wchar_t expanded[kStringUnits];
  const DWORD units = ExpandEnvironmentStringsW(raw, expanded, kStringUnits);
  if (units == 0 || units > kStringUnits)
    return false;
  value->assign(expanded);
  return true;
}

bool RegistryKey::ReadDword(const wchar_t* name, DWORD* value) const {
  CHECK_OR_RETURN(value, false);
  DWORD number = 0;
  DWORD size = sizeof(number);
  DWORD type = REG_DWORD;
  if (!ReadRaw(name, &number, &size, &type) ||
      (type != REG_DWORD && type != REG_BINARY) || size != sizeof(number)) {
    return false;
  }
  *value = number;
  return true;
}

bool RegistryKey::WriteRaw(const wchar_t* name,
                           const void* data,
                           DWORD size,
                           DWORD type) {
  CHECK_OR_RETURN(data, false);
  return key_ &&
         RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data),
                        size) == ERROR_SUCCESS;
}

bool RegistryKey::WriteString(const wchar_t* name, const wchar_t* value) {
  CHECK_OR_RETURN(value, false);
  const size_t units = std::wcslen(value) + 1;
  if (units > std::numeric_limits<DWORD>::max() / sizeof(wchar_t))
    return false;
  return WriteRaw(name, value, static_cast<DWORD>(units * sizeof(wchar_t)),
                  REG_SZ);
}

bool RegistryKey::WriteDword(const wchar_t* name, DWORD value) {
  return WriteRaw(name, &value, sizeof(value), REG_DWORD);
}

bool RegistryKey::DeleteSubtree(const wchar_t* name) {
  return key_ && SHDeleteKeyW(key_, name) == ERROR_SUCCESS;
}

bool RegistryKey::RemoveValue(const wchar_t* value_name) {
  CHECK_OR_RETURN(value_name, false);
  return key_ && RegDeleteValueW(key_, value_name) == ERROR_SUCCESS;
}

bool RegistryKey::BeginWatch() {
  CHECK_OR_RETURN(!watch_event_.is_valid(), false);
  if (!key_)
    return false;
  watch_event_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!watch_event_.is_valid())
    return false;
  const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                       REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
  if (RegNotifyChangeKeyValue(key_, TRUE, filter, watch_event_.get(), TRUE) !=
      ERROR_SUCCESS) {
    watch_event_.Close();
    return false;
  }
  return true;
}

bool RegistryKey::EndWatch() {
  if (!watch_event_.is_valid())
    return false;
  watch_event_.Close();
  return true;
}

bool RegistryKey::ChangedSinceWatch() {
  if (!watch_event_.is_valid() ||
      WaitForSingleObject(watch_event_.get(), 0) != WAIT_OBJECT_0) {
    return false;
  }
  watch_event_.Close();
  BeginWatch();
  return true;
}

RegistryValueWalker::RegistryValueWalker(HKEY rootkey,
                                         const wchar_t* folder_key) {
  DWORD count = 0;
  if (OpenForWalk(rootkey, folder_key, &key_, nullptr, &count))
    index_ = static_cast<int>(count) - 1;
  Read();
}

RegistryValueWalker::~RegistryValueWalker() {
  if (key_)
    RegCloseKey(key_);
}

bool RegistryValueWalker::Valid() const {
  return key_ && index_ >= 0;
}

void RegistryValueWalker::Advance() {
  --index_;
  Read();
}

DWORD RegistryValueWalker::ValueCount() const {
  DWORD count = 0;
  return CountEntries(key_, nullptr, &count) ? count : 0;
}

bool RegistryValueWalker::Read() {
  std::memset(name_, 0, sizeof(name_));
  std::memset(value_, 0, sizeof(value_));
  value_size_ = 0;
  type_ = REG_NONE;
  if (!Valid())
    return false;
  DWORD name_units = kNameUnits;
  DWORD value_bytes = kValueBytes;
  if (RegEnumValueW(key_, static_cast<DWORD>(index_), name_, &name_units,
                    nullptr, &type_, reinterpret_cast<BYTE*>(value_),
                    &value_bytes) != ERROR_SUCCESS) {
    // The platform may have written part of the entry before it failed.
    std::memset(name_, 0, sizeof(name_));
    std::memset(value_, 0, sizeof(value_));
    type_ = REG_NONE;
    return false;
  }
  value_size_ = value_bytes;
  return true;
}

RegistrySubkeyWalker::RegistrySubkeyWalker(HKEY rootkey,
                                           const wchar_t* folder_key) {
  DWORD count = 0;
  if (OpenForWalk(rootkey, folder_key, &key_, &count, nullptr))
    index_ = static_cast<int>(count) - 1;
  Read();
}

RegistrySubkeyWalker::~RegistrySubkeyWalker() {
  if (key_)
    RegCloseKey(key_);
}

bool RegistrySubkeyWalker::Valid() const {
  return key_ && index_ >= 0;
}

void RegistrySubkeyWalker::Advance() {
  --index_;
  Read();
}

DWORD RegistrySubkeyWalker::SubkeyCount() const {
  DWORD count = 0;
  return CountEntries(key_, &count, nullptr) ? count : 0;
}

bool RegistrySubkeyWalker::Read() {
  std::memset(name_, 0, sizeof(name_));
  if (!Valid())
    return false;
  DWORD name_units = kNameUnits;
  if (RegEnumKeyExW(key_, static_cast<DWORD>(index_), name_, &name_units,
                    nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    std::memset(name_, 0, sizeof(name_));
    return false;
  }
  return true;
}

bool RegisterInprocServer(const wchar_t* clsid,
                          const wchar_t* description,
                          const wchar_t* server_path,
                          HKEY classes_root) {
  CHECK_OR_RETURN(clsid && description && server_path, false);
  RegistryKey key(classes_root, L"CLSID", KEY_WRITE);
  return key.CreateSubkey(clsid, KEY_WRITE) &&
         key.WriteString(nullptr, description) &&
         key.CreateSubkey(L"InprocServer32", KEY_WRITE) &&
         key.WriteString(nullptr, server_path) &&
         key.WriteString(L"ThreadingModel", L"Apartment");
}

bool RegisterInprocServerModule(const wchar_t* clsid,
                                const wchar_t* description,
                                HMODULE module,
                                HKEY classes_root) {
  std::wstring path = ModuleFilePath(module);
  if (path.empty())
    return false;
  CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
  return RegisterInprocServer(clsid, description, path.c_str(), classes_root);
}

bool UnregisterInprocServer(const wchar_t* clsid, HKEY classes_root) {
  CHECK_OR_RETURN(clsid, false);
  RegistryKey classes;
  if (!classes.Open(classes_root, L"CLSID", KEY_WRITE))
    return KeyIsMissing(classes_root, L"CLSID");
  return classes.DeleteSubtree(clsid) || KeyIsMissing(classes.handle(), clsid);
}

}  // namespace base
