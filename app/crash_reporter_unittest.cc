#include "app/crash_reporter_win.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"
#include "test_support/test_files.h"

namespace app {
namespace {

using crash_handler::ReportField;
using crash_handler::ReportFieldTable;
using test_support::FixturePath;

struct NameValue {
  std::wstring name;
  std::wstring value;
  bool operator==(const NameValue& other) const {
    return name == other.name && value == other.value;
  }
};

void PrintTo(const NameValue& field, std::ostream* out) {
  *out << testing::PrintToString(field.name + L"=" + field.value);
}

// True when every unit after the name's and the value's terminators is
// zero: nothing of an earlier, longer text is left in the field.
bool OnlyZerosAfterTheTexts(const ReportField& field) {
  for (const wchar_t* text : {field.name, field.value}) {
    const size_t length = wcsnlen(text, ReportField::kTextUnits);
    for (size_t i = length; i < ReportField::kTextUnits; ++i) {
      if (text[i] != L'\0')
        return false;
    }
  }
  return true;
}

std::vector<NameValue> Texts(const ReportField* fields, size_t count) {
  std::vector<NameValue> texts;
  for (size_t i = 0; i < count; ++i)
    texts.push_back({fields[i].name, fields[i].value});
  return texts;
}

// The four fields every process has.
std::vector<NameValue> GeneralFields(const std::wstring& version,
                                     const std::wstring& product,
                                     const std::wstring& type) {
  return {{L"ver", version},
          {L"prod", product},
          {L"plat", L"Win32"},
          {L"ptype", type}};
}

// A renderer's fields: the four, then the URL in eight chunks.
std::vector<NameValue> RendererFields(const std::wstring& version,
                                      const std::wstring& product,
                                      const std::vector<std::wstring>& chunks) {
  std::vector<NameValue> fields = GeneralFields(version, product, L"renderer");
  for (size_t i = 0; i < kUrlChunkCount; ++i) {
    fields.push_back({L"url-chunk-" + std::to_wstring(i + 1),
                      i < chunks.size() ? chunks[i] : L""});
  }
  return fields;
}

TEST(ReportFieldsTest, NameTheModuleVersionAndProcessType) {
  const std::wstring long_type(70, L't');
  struct Case {
    std::wstring module;
    std::wstring process_type;
    std::vector<NameValue> fields;
  };
  const Case kCases[] = {
      // An official build keeps its version as it is.
      {FixturePath(L"version_main.dll"), L"browser",
       GeneralFields(L"5.6.7.8", L"Fixture", L"browser")},
      {FixturePath(L"Orvane.dll"), L"gpu",
       GeneralFields(L"0.9.2.7-devel", L"Orvane", L"gpu")},
      // "Official Build" "0", and neither product version nor short name.
      {FixturePath(L"version_fallback.dll"), L"browser",
       GeneralFields(L"-devel", L"", L"browser")},
      // No version resource, or no module at all.
      {FixturePath(L"no_entry_module.dll"), L"renderer",
       RendererFields(L"0.0.0.0-devel", L"Zephra", {})},
      {L"", L"browser", GeneralFields(L"0.0.0.0-devel", L"Zephra", L"browser")},
      // A value longer than a field keeps its first 63 units.
      {L"", long_type,
       GeneralFields(L"0.0.0.0-devel", L"Zephra", long_type.substr(0, 63))},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.module + L" " + c.process_type));
    const std::vector<ReportField> fields =
        MakeReportFields(c.module, c.process_type);
    EXPECT_EQ(c.fields, Texts(fields.data(), fields.size()));
  }
}

// The renderer table is filled once per process; the URL goes into its
// eight chunk fields, 63 units each, and a shorter URL empties the chunks
// it does not reach.
TEST(ReportFieldsTest, RendererUrlFillsTheChunksOfTheOneTable) {
  const ReportFieldTable* const table =
      BuildReportFields(FixturePath(L"version_main.dll"), L"renderer");
  ASSERT_NE(nullptr, table);
  ASSERT_EQ(12u, table->count);
  // Later calls answer the same table, whatever module they name.
  const std::vector<NameValue> first = Texts(table->fields, table->count);
  EXPECT_EQ(table, BuildReportFields(L"", L"renderer"));
  EXPECT_EQ(first, Texts(table->fields, table->count));
  EXPECT_EQ(4u, BuildReportFields(L"", L"gpu")->count);

  std::wstring url = L"https://kelvo.test/";
  for (int i = 0; url.size() < 600; ++i)
    url += static_cast<wchar_t>(L'a' + i % 26);
  struct Case {
    size_t length;
    std::vector<std::wstring> chunks;
  };
  const Case kCases[] = {
      {130, {url.substr(0, 63), url.substr(63, 63), url.substr(126, 4)}},
      {504,
       {url.substr(0, 63), url.substr(63, 63), url.substr(126, 63),
        url.substr(189, 63), url.substr(252, 63), url.substr(315, 63),
        url.substr(378, 63), url.substr(441, 63)}},
      // Beyond eight chunks the URL is dropped.
      {600,
       {url.substr(0, 63), url.substr(63, 63), url.substr(126, 63),
        url.substr(189, 63), url.substr(252, 63), url.substr(315, 63),
        url.substr(378, 63), url.substr(441, 63)}},
      {70, {url.substr(0, 63), url.substr(63, 7)}},
      {0, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.length);
    SetActiveRendererURL(url.substr(0, c.length).c_str());
    EXPECT_EQ(RendererFields(first[0].value, first[1].value, c.chunks),
              Texts(table->fields, table->count));
    for (size_t i = 0; i < table->count; ++i)
      EXPECT_TRUE(OnlyZerosAfterTheTexts(table->fields[i])) << i;
  }

  // A null URL is refused and changes nothing.
  SetActiveRendererURL(url.c_str());
  const std::vector<NameValue> before = Texts(table->fields, table->count);
  test_support::ScopedCheckRecorder recorder;
  SetActiveRendererURL(nullptr);
  EXPECT_EQ(std::vector<std::string>{"Check failed: url_cstring. "},
            recorder.messages());
  EXPECT_EQ(before, Texts(table->fields, table->count));
}

}  // namespace
}  // namespace app
