#ifndef BASE_REGISTRY_H_
#define BASE_REGISTRY_H_

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "base/scoped_handle_win.h"

// The registry: reading single strings, an owner of one open key that reads,
// writes, enumerates, deletes and watches, walkers over a key's values and
// subkeys, and the class registration of an in-process component server.
//
// Values come from outside the program, so every read stays inside its
// buffer whatever the stored value holds (odd byte counts, no terminator).
// The free functions keep no state and any thread may call them; a
// `RegistryKey` or walker belongs to one thread at a time.

namespace base {

// Reads the string value `value_name` of `root`\`sub_key` into `out`, a
// buffer of `*length` wide characters. The text is always terminated inside
// the buffer; on success `*length` becomes the text's length. False when the
// key or value is missing, empty, not a plain string, or does not fit.
bool ReadRegistryText(HKEY root,
                      const wchar_t* sub_key,
                      const wchar_t* value_name,
                      wchar_t* out,
                      size_t* length);

// Reads the registry value `value_name` of the open `key` into `out`, a new
// buffer of the value's size in whole wide characters plus one zero
// character, so the text is terminated even when the stored value is not.
// False, leaving `out` as it was, when the value cannot be read.
bool ReadRegistryString(HKEY key,
                        const wchar_t* value_name,
                        std::unique_ptr<wchar_t[]>* out);

// One open registry key (or none), closed when replaced or destroyed. A
// failed open or create leaves the object closed, and every operation on a
// closed object answers false (0 for counts). A null or empty value name
// means the key's default value. A watch reports, once per arming, that the
// key or anything below it changed. Not copyable; one thread at a time.
class RegistryKey {
 public:
  RegistryKey();
  // Creates the key when `access` asks for any of KEY_SET_VALUE,
  // KEY_CREATE_SUB_KEY or KEY_CREATE_LINK, else opens it. Without a root the
  // object starts closed and `subkey` must be null.
  RegistryKey(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();

  bool Create(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  // As Create; `disposition` receives REG_CREATED_NEW_KEY or
  // REG_OPENED_EXISTING_KEY.
  bool CreateWithDisposition(HKEY rootkey,
                             const wchar_t* subkey,
                             DWORD* disposition,
                             REGSAM access);
  bool Open(HKEY rootkey, const wchar_t* subkey, REGSAM access);

  // Make the subkey `name` the current key. The current key is closed
  // whatever the outcome, so a failure leaves the object closed.
  bool CreateSubkey(const wchar_t* name, REGSAM access);
  bool OpenSubkey(const wchar_t* name, REGSAM access);

  // Ends a watch and closes the key.
  void Close();

  HKEY handle() const { return key_; }
  bool Valid() const { return key_ != nullptr; }

  DWORD ValueCount() const;
  // The name of the value at `index` (names of up to 255 units); `name` may
  // be null to test for the value only.
  bool ValueNameAt(int index, std::wstring* name) const;
  bool HasValue(const wchar_t* name) const;

  // Reads the value into `data`, a buffer of `*size` bytes; `*size`
  // becomes the stored size and `*type` the stored type. Both pointers may
  // be null as the platform allows.
  bool ReadRaw(const wchar_t* name, void* data, DWORD* size, DWORD* type) const;
  // A string value as stored, or an expandable string expanded with the
  // process environment; each at most 1023 units. Any other type fails.
  // `value` is replaced only on success.
  bool ReadString(const wchar_t* name, std::wstring* value) const;
  // A number value, or a binary value of exactly 4 bytes.
  bool ReadDword(const wchar_t* name, DWORD* value) const;

  bool WriteRaw(const wchar_t* name, const void* data, DWORD size, DWORD type);
  // Stores the text with its terminator as a string value.
  bool WriteString(const wchar_t* name, const wchar_t* value);
  bool WriteDword(const wchar_t* name, DWORD value);

  // Deletes the subkey `name` with everything below it.
  bool DeleteSubtree(const wchar_t* name);
  bool RemoveValue(const wchar_t* name);

  // Arms a watch on the key and its whole subtree (names, attributes,
  // values, security). Only one watch at a time.
  bool BeginWatch();
  // False when there is no watch to end.
  bool EndWatch();
  // True, once, when something changed since the watch was armed; the
  // watch is then armed again. False without a watch.
  bool ChangedSinceWatch();

 private:
  HKEY key_ = nullptr;       // Null when closed.
  OwnedHandle watch_event_;  // Empty when not watching.
};

// Walks the values of one key, from the last index down to 0. A value whose
// name needs more than 259 units or whose data needs more than 520 bytes is
// shown as an empty entry (empty name, size 0) for its step. Closes the key
// when destroyed. One thread at a time.
class RegistryValueWalker {
 public:
  RegistryValueWalker(HKEY rootkey, const wchar_t* folder_key);
  RegistryValueWalker(const RegistryValueWalker&) = delete;
  RegistryValueWalker& operator=(const RegistryValueWalker&) = delete;
  ~RegistryValueWalker();

  bool Valid() const;
  void Advance();
  DWORD ValueCount() const;

  const wchar_t* Name() const { return name_; }
  // The data, terminated with zero bytes after `ValueSize()` bytes, so a
  // string value reads as a terminated string.
  const wchar_t* Value() const {
    return reinterpret_cast<const wchar_t*>(value_);
  }
  DWORD ValueSize() const { return value_size_; }
  DWORD Type() const { return type_; }

 private:
  static constexpr DWORD kNameUnits = MAX_PATH;
  static constexpr DWORD kValueBytes = MAX_PATH * 2;

  // Reads the entry at `index_`; false (and an empty entry) when there is
  // none or it cannot be read.
  bool Read();

  HKEY key_ = nullptr;  // Null when the key could not be opened.
  int index_ = -1;
  wchar_t name_[kNameUnits];
  // Two spare zero bytes keep a string of the full size terminated.
  alignas(wchar_t) char value_[kValueBytes + sizeof(wchar_t)];
  DWORD value_size_ = 0;
  DWORD type_ = 0;
};

// Walks the subkeys of one key, from the last index down to 0; a name of
// 260 units or more is shown empty for its step. One thread at a time.
class RegistrySubkeyWalker {
 public:
  RegistrySubkeyWalker(HKEY rootkey, const wchar_t* folder_key);
  RegistrySubkeyWalker(const RegistrySubkeyWalker&) = delete;
  RegistrySubkeyWalker& operator=(const RegistrySubkeyWalker&) = delete;
  ~RegistrySubkeyWalker();

  bool Valid() const;
  void Advance();
  DWORD SubkeyCount() const;

  const wchar_t* Name() const { return name_; }

 private:
  static constexpr DWORD kNameUnits = MAX_PATH;

  bool Read();

  HKEY key_ = nullptr;
  int index_ = -1;
  wchar_t name_[kNameUnits];
};

// Registers the in-process server `server_path` for the class `clsid`
// (text in braces): "CLSID\<clsid>" with `description` as its default
// value, and below it "InprocServer32" with the path and the threading
// model "Apartment". Written under `classes_root`: the machine-wide
// HKEY_CLASSES_ROOT, or a per-user classes key. True only when every step
// succeeded; a process that may not write there gets false.
bool RegisterInprocServer(const wchar_t* clsid,
                          const wchar_t* description,
                          const wchar_t* server_path,
                          HKEY classes_root = HKEY_CLASSES_ROOT);
// The same for the file of `module`, in lower case.
bool RegisterInprocServerModule(const wchar_t* clsid,
                                const wchar_t* description,
                                HMODULE module,
                                HKEY classes_root = HKEY_CLASSES_ROOT);
// Deletes "CLSID\<clsid>" with everything below it. True when the class is
// no longer registered there, also when it never was.
bool UnregisterInprocServer(const wchar_t* clsid,
                            HKEY classes_root = HKEY_CLASSES_ROOT);

}  // namespace base

#endif  // BASE_REGISTRY_H_
