#include "base/file_version_info.h"

#include <windows.h>

#include <new>
#include <utility>

#include "base/logging.h"
#include "base/path_service.h"
#include "base/string_util.h"

namespace base {
namespace {

// The code page tried after the translation entry's own.
constexpr uint16_t kFallbackCodePage = 1252;

// A translation entry: a language and a code page, two 16-bit words.
constexpr size_t kTranslationBytes = 4;

}  // namespace

FileVersionInfo::FileVersionInfo(std::unique_ptr<uint8_t[]> data,
                                 size_t size,
                                 uint16_t language,
                                 uint16_t code_page)
    : data_(std::move(data)),
      size_(size),
      language_(language),
      code_page_(code_page) {
  const void* fixed = nullptr;
  size_t bytes = 0;
  if (Query(L"\\", &fixed, &bytes, false) &&
      bytes >= sizeof(VS_FIXEDFILEINFO)) {
    fixed_info_ = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  }
}

FileVersionInfo::~FileVersionInfo() {
  CHECK(data_.get());
}

// static
std::unique_ptr<FileVersionInfo> FileVersionInfo::OpenVersionInfo(
    const FilePath& file_path) {
  const std::wstring& path = file_path.text();
  DWORD dummy = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &dummy);
  if (size == 0)
    return nullptr;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size]());
  if (!data || !GetFileVersionInfoW(path.c_str(), 0, size, data.get()))
    return nullptr;

  // A translation entry needs all of its four bytes: a shorter value would
  // be read past its end.
  void* translate = nullptr;
  UINT page_count = 0;
  if (!VerQueryValueW(data.get(), L"\\VarFileInfo\\Translation", &translate,
                      &page_count) ||
      !translate || page_count < kTranslationBytes) {
    return nullptr;
  }
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data.get());
  const uintptr_t entry_start = reinterpret_cast<uintptr_t>(translate);
  if (entry_start < begin || entry_start - begin > size - kTranslationBytes)
    return nullptr;
  const WORD* const entry = static_cast<const WORD*>(translate);
  return std::unique_ptr<FileVersionInfo>(
      new FileVersionInfo(std::move(data), size, entry[0], entry[1]));
}

// static
std::unique_ptr<FileVersionInfo> FileVersionInfo::OpenVersionInfo(
    const std::wstring& file_path) {
  const FilePath file_path_fp(file_path);
  return OpenVersionInfo(file_path_fp);
}

// static
std::unique_ptr<FileVersionInfo>
FileVersionInfo::OpenVersionInfoForThisModule() {
  FilePath app_path;
  if (!PathKeyService::Get(FILE_CODE_MODULE, &app_path))
    return nullptr;
  return OpenVersionInfo(app_path);
}

bool FileVersionInfo::Query(const wchar_t* sub_block,
                            const void** value,
                            size_t* bytes,
                            bool text) const {
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data_.get(), sub_block, &found, &length) || !found)
    return false;
  // Offsets, not pointer sums: the answer must lie inside the resource.
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data_.get());
  const uintptr_t start = reinterpret_cast<uintptr_t>(found);
  if (start < begin || start - begin > size_)
    return false;
  // Text lengths are counted in characters.
  const size_t declared = text ? size_t{length} * sizeof(wchar_t) : length;
  const size_t available = size_ - (start - begin);
  *value = found;
  *bytes = declared < available ? declared : available;
  return true;
}

bool FileVersionInfo::LookupField(const wchar_t* name,
                                  std::wstring* value) const {
  const WORD user_language = GetUserDefaultLangID();
  const std::pair<uint16_t, uint16_t> lang_codepage[] = {
      {language_, code_page_},
      {user_language, code_page_},
      {language_, kFallbackCodePage},
      {user_language, kFallbackCodePage},
  };
  for (const auto& [language, code_page] : lang_codepage) {
    const std::wstring sub_block = FormatString(
        L"\\StringFileInfo\\%04x%04x\\%ls", language, code_page, name);
    const void* found = nullptr;
    size_t bytes = 0;
    if (!Query(sub_block.c_str(), &found, &bytes, true))
      continue;
    // At most the given length, and no further than a terminator inside it.
    const wchar_t* const text = static_cast<const wchar_t*>(found);
    const size_t units = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < units && text[length] != L'\0')
      ++length;
    value->assign(text, length);
    return true;
  }
  return false;
}

std::wstring FileVersionInfo::StringField(const wchar_t* name) const {
  std::wstring value;
  LookupField(name, &value);
  return value;
}

std::wstring FileVersionInfo::company_name() const {
  return StringField(L"CompanyName");
}

std::wstring FileVersionInfo::company_short_name() const {
  return StringField(L"CompanyShortName");
}

std::wstring FileVersionInfo::product_name() const {
  return StringField(L"ProductName");
}

std::wstring FileVersionInfo::product_short_name() const {
  return StringField(L"ProductShortName");
}

std::wstring FileVersionInfo::internal_name() const {
  return StringField(L"InternalName");
}

std::wstring FileVersionInfo::product_version() const {
  return StringField(L"ProductVersion");
}

std::wstring FileVersionInfo::private_build() const {
  return StringField(L"PrivateBuild");
}

std::wstring FileVersionInfo::special_build() const {
  return StringField(L"SpecialBuild");
}

std::wstring FileVersionInfo::comments() const {
  return StringField(L"Comments");
}

std::wstring FileVersionInfo::original_filename() const {
  return StringField(L"OriginalFilename");
}

std::wstring FileVersionInfo::file_description() const {
  return StringField(L"FileDescription");
}

std::wstring FileVersionInfo::file_version() const {
  return StringField(L"FileVersion");
}

std::wstring FileVersionInfo::legal_copyright() const {
  return StringField(L"LegalCopyright");
}

std::wstring FileVersionInfo::legal_trademarks() const {
  return StringField(L"LegalTrademarks");
}

std::wstring FileVersionInfo::last_change() const {
  return StringField(L"LastChange");
}

bool FileVersionInfo::is_official_build() const {
  return StringField(L"Official Build") == L"1";
}

}  // namespace base
