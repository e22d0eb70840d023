#ifndef BASE_FILE_VERSION_INFO_H_
#define BASE_FILE_VERSION_INFO_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/file_path.h"

// The platform's fixed version block (VS_FIXEDFILEINFO), named here so that
// this header needs no platform headers.
struct tagVS_FIXEDFILEINFO;

namespace base {

// The version resource of an executable or module file: its standard text
// fields (company, product, versions, descriptions) and its fixed version
// block. Text fields are looked up under the first translation entry's
// language and code page, then under the user's default language with that
// code page, then under each of the two languages with code page 1252.
//
// Made only by the Open functions and owned by their caller. The resource
// comes from the file as it is: a value is never read beyond the length the
// resource gives it nor beyond the resource. Not thread-safe for writing;
// const members may be called from any thread.
class FileVersionInfo {
 public:
  FileVersionInfo(const FileVersionInfo&) = delete;
  FileVersionInfo& operator=(const FileVersionInfo&) = delete;
  ~FileVersionInfo();

  // Null when the file has no version resource or no readable translation
  // entry.
  static std::unique_ptr<FileVersionInfo> OpenVersionInfo(
      const FilePath& file_path);
  static std::unique_ptr<FileVersionInfo> OpenVersionInfo(
      const std::wstring& file_path);
  // The resource of the module that holds this code, as the path service
  // finds it.
  static std::unique_ptr<FileVersionInfo> OpenVersionInfoForThisModule();

  // Each getter answers its field's text, or an empty string when the
  // field is missing.
  std::wstring company_name() const;
  std::wstring company_short_name() const;
  std::wstring product_name() const;
  std::wstring product_short_name() const;
  std::wstring internal_name() const;
  std::wstring product_version() const;
  std::wstring private_build() const;
  std::wstring special_build() const;
  std::wstring comments() const;
  std::wstring original_filename() const;
  std::wstring file_description() const;
  std::wstring file_version() const;
  std::wstring legal_copyright() const;
  std::wstring legal_trademarks() const;
  std::wstring last_change() const;
  // True exactly when "Official Build" is "1".
  bool is_official_build() const;

  // The text of the field `name`; false when no translation has it.
  bool LookupField(const wchar_t* name, std::wstring* value) const;
  // LookupField's text, or empty.
  std::wstring StringField(const wchar_t* name) const;

  // The fixed version block inside the resource, or null when it has none.
  const tagVS_FIXEDFILEINFO* fixed_file_info() const { return fixed_info_; }

 private:
  FileVersionInfo(std::unique_ptr<uint8_t[]> data,
                  size_t size,
                  uint16_t language,
                  uint16_t code_page);

  // Queries `sub_block` of the resource: the value and its length in bytes
  // (cut to what lies inside the resource). False when it is missing.
  bool Query(const wchar_t* sub_block,
             const void** value,
             size_t* bytes,
             bool text) const;

  std::unique_ptr<uint8_t[]> data_;  // The whole version resource.
  size_t size_;                      // Of `data_`, in bytes.
  uint16_t language_;                // Of the first translation entry.
  uint16_t code_page_;               // Of the first translation entry.
  const tagVS_FIXEDFILEINFO* fixed_info_ = nullptr;  // Inside `data_`.
};

}  // namespace base

#endif  // BASE_FILE_VERSION_INFO_H_
