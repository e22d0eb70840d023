#include "crash_handler/exception_handler.h"

#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/child_process.h"
#include "test_support/minidump_reader.h"
#include "test_support/test_files.h"

namespace crash_handler {
namespace {

using test_support::MinidumpFile;

constexpr DWORD kChildTimeoutMs = 120000;

// What the dump callback saw.
struct CallbackRecord {
  int calls = 0;
  std::wstring folder;
  std::wstring id;
  bool succeeded = false;
  bool had_exception = false;
};

bool RecordCallback(const wchar_t* dump_folder,
                    const wchar_t* dump_id,
                    void* context,
                    EXCEPTION_POINTERS* exception,
                    AssertionInfo* /*assertion*/,
                    bool succeeded) {
  CallbackRecord* record = static_cast<CallbackRecord*>(context);
  ++record->calls;
  record->folder = dump_folder;
  record->id = dump_id;
  record->succeeded = succeeded;
  record->had_exception = exception != nullptr;
  return succeeded;
}

bool RefuseEveryDump(void*, EXCEPTION_POINTERS*, AssertionInfo*) {
  return false;
}

// The names of the ".dmp" files in `folder`.
std::vector<std::wstring> DumpFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*.dmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

HandlerInfo ReadHandlerInfo(const MinidumpFile& dump) {
  HandlerInfo info = {};
  const MinidumpFile::Stream* stream = dump.FindStream(kHandlerInfoStream);
  if (stream && stream->bytes.size() == sizeof(info))
    memcpy(&info, stream->bytes.data(), sizeof(info));
  return info;
}

// The process's current entry points, read by replacing and restoring them.
struct EntryPoints {
  LPTOP_LEVEL_EXCEPTION_FILTER filter;
  InvalidParameterHandler invalid_parameter;
  PureCallHandler pure_call;
  AbortSignalHandler abort_signal;
  std::terminate_handler terminate;

  static EntryPoints Current() {
    EntryPoints current;
    current.filter = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(current.filter);
    current.invalid_parameter = SetInvalidParameterHandler(nullptr);
    SetInvalidParameterHandler(current.invalid_parameter);
    current.pure_call = SetPureCallHandler(nullptr);
    SetPureCallHandler(current.pure_call);
    current.abort_signal = std::signal(SIGABRT, SIG_DFL);
    std::signal(SIGABRT, current.abort_signal);
    current.terminate = std::get_terminate();
    return current;
  }
  // Each kind apart, so that one that stays installed is caught.
  bool AllDifferFrom(const EntryPoints& other) const {
    return filter != other.filter &&
           invalid_parameter != other.invalid_parameter &&
           pure_call != other.pure_call && abort_signal != other.abort_signal &&
           terminate != other.terminate;
  }
  bool operator==(const EntryPoints& other) const {
    return filter == other.filter &&
           invalid_parameter == other.invalid_parameter &&
           pure_call == other.pure_call && abort_signal == other.abort_signal &&
           terminate == other.terminate;
  }
};

TEST(GuidTextTest, FormatsDashedLowerAndCompactUpper) {
  struct Case {
    GUID guid;
    const wchar_t* dashed;
    const wchar_t* compact;
  };
  const Case kCases[] = {
      {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
       L"00000000-0000-0000-0000-000000000000",
       L"00000000000000000000000000000000"},
      {{0x0123ABCD,
        0x4E5F,
        0xA0B1,
        {0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17, 0x28, 0x39}},
       L"0123abcd-4e5f-a0b1-c2d3-e4f506172839",
       L"0123ABCD4E5FA0B1C2D3E4F506172839"},
      {{0xFFFFFFFF,
        0xFFFF,
        0xFFFF,
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
       L"ffffffff-ffff-ffff-ffff-ffffffffffff",
       L"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.dashed)));
    wchar_t dashed[37];
    wchar_t compact[33];
    FormatGuidDashed(c.guid, dashed);
    FormatGuidCompact(c.guid, compact);
    EXPECT_EQ(std::wstring(c.dashed), dashed);
    EXPECT_EQ(std::wstring(c.compact), compact);
  }
}

TEST(ExceptionHandlerTest, WriteDumpNowWritesNamedDumpOnItsOwnThread) {
  test_support::ScopedTempDir folder;
  CallbackRecord record;
  ExceptionHandler handler(folder.path(), nullptr, &RecordCallback, &record,
                           ExceptionHandler::HANDLER_NONE);
  const std::wstring first_path = handler.next_dump_path();
  ASSERT_EQ(folder.path() + L"\\",
            first_path.substr(0, folder.path().size() + 1));

  ASSERT_TRUE(handler.WriteDumpNow());
  EXPECT_EQ(1, record.calls);
  EXPECT_TRUE(record.succeeded);
  EXPECT_FALSE(record.had_exception);
  EXPECT_EQ(folder.path(), record.folder);
  EXPECT_EQ(36u, record.id.size());
  // Without an exception the prepared name is used as it is.
  EXPECT_EQ(folder.path() + L"\\" + record.id + L".dmp", first_path);
  EXPECT_EQ(std::vector<std::wstring>{record.id + L".dmp"},
            DumpFiles(folder.path()));

  MinidumpFile dump;
  ASSERT_TRUE(dump.Read(first_path));
  const HandlerInfo info = ReadHandlerInfo(dump);
  EXPECT_EQ(kHandlerInfoValidity, info.validity);
  EXPECT_EQ(GetCurrentThreadId(), info.requesting_thread_id);
  EXPECT_NE(0u, info.dump_thread_id);
  EXPECT_NE(info.requesting_thread_id, info.dump_thread_id);
  EXPECT_EQ(nullptr, dump.FindStream(kAssertionInfoStream));
  EXPECT_EQ(nullptr, dump.FindStream(kReportFieldsStream));

  // Each dump gets a new name.
  EXPECT_NE(first_path, handler.next_dump_path());
}

TEST(ExceptionHandlerTest, WriteDumpForExceptionNamesTheCode) {
  test_support::ScopedTempDir folder;
  CallbackRecord record;
  ExceptionHandler handler(folder.path(), nullptr, &RecordCallback, &record,
                           ExceptionHandler::HANDLER_NONE);
  EXCEPTION_RECORD exception_record = {};
  exception_record.ExceptionCode = 0xE0000001;
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_POINTERS exception = {&exception_record, &context};

  ASSERT_TRUE(handler.WriteDumpForException(&exception));
  EXPECT_TRUE(record.had_exception);
  const std::wstring name = record.id + L"e0000001.dmp";
  EXPECT_EQ(std::vector<std::wstring>{name}, DumpFiles(folder.path()));

  MinidumpFile dump;
  ASSERT_TRUE(dump.Read(folder.path() + L"\\" + name));
  MinidumpFile::Exception written;
  ASSERT_TRUE(dump.GetException(&written));
  EXPECT_EQ(0xE0000001u, written.code);
  EXPECT_EQ(GetCurrentThreadId(), written.thread_id);
}

// A dump carries the report fields as they stand when it is written: a
// value rewritten after the handler was made shows its new text, each text
// ends within its field whatever the owner left there, and a table longer
// than the stream's bound is cut.
TEST(ExceptionHandlerTest, DumpCarriesTheReportFieldsAsTheyStand) {
  std::vector<ReportField> fields(kMaxReportFields + 6);
  for (size_t i = 0; i < fields.size(); ++i) {
    fields[i].set_name((L"field-" + std::to_wstring(i)).c_str());
    fields[i].set_value(std::to_wstring(i * 7).c_str());
  }
  fields[0].set_value(L"before");
  std::fill(std::begin(fields[1].name), std::end(fields[1].name), L'n');
  std::fill(std::begin(fields[1].value), std::end(fields[1].value), L'v');
  const ReportFieldTable table = {fields.data(), fields.size()};
  test_support::ScopedTempDir folder;
  ExceptionHandler handler(folder.path(), nullptr, nullptr, nullptr,
                           ExceptionHandler::HANDLER_NONE, MiniDumpNormal,
                           nullptr, &table);
  fields[0].set_value(L"after");

  ASSERT_TRUE(handler.WriteDumpNow());
  const std::vector<std::wstring> dumps = DumpFiles(folder.path());
  ASSERT_EQ(1u, dumps.size());
  MinidumpFile dump;
  ASSERT_TRUE(dump.Read(folder.path() + L"\\" + dumps[0]));
  std::vector<MinidumpFile::ReportField> written;
  ASSERT_TRUE(dump.GetReportFields(&written));
  ASSERT_EQ(kMaxReportFields, written.size());
  EXPECT_EQ(L"field-0", written[0].name);
  EXPECT_EQ(L"after", written[0].value);
  EXPECT_EQ(std::wstring(63, L'n'), written[1].name);
  EXPECT_EQ(std::wstring(63, L'v'), written[1].value);
  EXPECT_EQ(L"field-63", written[63].name);
  EXPECT_EQ(std::to_wstring(63 * 7), written[63].value);
  // The owner's fields are left as they were.
  EXPECT_EQ(L'n', fields[1].name[ReportField::kTextUnits - 1]);
}

// At most two ".dmp" files may stand in the dump folder, which is searched
// whether or not it was given with a trailing backslash.
TEST(ExceptionHandlerTest, TwoDumpsInTheFolderStopTheNext) {
  struct Case {
    const char* name;
    int dumps_inside;
    bool lookalikes_beside;  // "<folder>a.dmp" and "<folder>b.dmp" beside it.
    bool trailing_backslash;
    bool written;
  };
  const Case kCases[] = {
      {"empty folder", 0, false, false, true},
      {"one dump", 1, false, false, true},
      {"two dumps", 2, false, false, false},
      {"two dumps, trailing backslash", 2, false, true, false},
      {"look-alikes beside the folder", 0, true, false, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedTempDir parent;
    const std::wstring folder = parent.path() + L"\\dumps";
    ASSERT_TRUE(test_support::MakeFolder(folder));
    for (int i = 0; i < c.dumps_inside; ++i) {
      ASSERT_TRUE(test_support::WriteTextFile(
          folder + L"\\old" + std::to_wstring(i) + L".dmp", "x"));
    }
    if (c.lookalikes_beside) {
      ASSERT_TRUE(test_support::WriteTextFile(folder + L"a.dmp", "x"));
      ASSERT_TRUE(test_support::WriteTextFile(folder + L"b.dmp", "x"));
    }

    CallbackRecord record;
    ExceptionHandler handler(c.trailing_backslash ? folder + L"\\" : folder,
                             nullptr, &RecordCallback, &record,
                             ExceptionHandler::HANDLER_NONE);
    EXPECT_EQ(c.written, handler.WriteDumpNow());
    EXPECT_EQ(1, record.calls);
    EXPECT_EQ(c.written, record.succeeded);
    EXPECT_EQ(static_cast<size_t>(c.dumps_inside + (c.written ? 1 : 0)),
              DumpFiles(folder).size());
  }
}

// Paths that would not fit in 260 units are refused, not cut short: no dump
// is written and the callback is told so.
TEST(ExceptionHandlerTest, PathTooLongWritesNothing) {
  struct Case {
    size_t folder_length;
    bool with_exception;
    bool prepared;  // Whether the name without the code still fits.
  };
  const Case kCases[] = {
      // No room for "\<36-character id>.dmp".
      {230, false, false},
      // Room for that, but not for the 8 digits of the exception code.
      {215, true, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.folder_length);
    const std::wstring folder =
        L"C:\\" + std::wstring(c.folder_length - 3, L'd');
    CallbackRecord record;
    ExceptionHandler handler(folder, nullptr, &RecordCallback, &record,
                             ExceptionHandler::HANDLER_NONE);
    EXPECT_EQ(c.prepared, !handler.next_dump_path().empty());
    EXCEPTION_RECORD exception_record = {};
    exception_record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context = {};
    EXCEPTION_POINTERS exception = {&exception_record, &context};
    EXPECT_FALSE(
        handler.WriteDumpForException(c.with_exception ? &exception : nullptr));
    EXPECT_EQ(1, record.calls);
    EXPECT_FALSE(record.succeeded);
  }
}

// Each handler's thread ends with it, also one still starting up.
TEST(ExceptionHandlerTest, HandlersMadeAndDestroyedAtOnceNeverHang) {
  test_support::ScopedTempDir folder;
  for (int i = 0; i < 200; ++i) {
    ExceptionHandler handler(folder.path(), nullptr, nullptr, nullptr,
                             ExceptionHandler::HANDLER_ALL);
  }
  EXPECT_TRUE(DumpFiles(folder.path()).empty());
}

TEST(ExceptionHandlerTest, RefusingFilterSkipsDumpAndCallback) {
  test_support::ScopedTempDir folder;
  CallbackRecord record;
  ExceptionHandler handler(folder.path(), &RefuseEveryDump, &RecordCallback,
                           &record, ExceptionHandler::HANDLER_NONE);
  EXPECT_FALSE(handler.WriteDumpNow());
  EXPECT_EQ(0, record.calls);
  EXPECT_TRUE(DumpFiles(folder.path()).empty());
}

TEST(ExceptionHandlerTest, StaticWriteDumpNowInstallsNothing) {
  LoadLibraryW(L"ucrtbase.dll");
  const EntryPoints before = EntryPoints::Current();
  test_support::ScopedTempDir folder;
  CallbackRecord record;
  EXPECT_TRUE(
      ExceptionHandler::WriteDumpNow(folder.path(), &RecordCallback, &record));
  EXPECT_TRUE(record.succeeded);
  EXPECT_EQ(1u, DumpFiles(folder.path()).size());
  EXPECT_TRUE(before == EntryPoints::Current());
}

// Handlers destroyed oldest first leave the newest one serving, and the
// last one gone leaves the process as it found it.
TEST(ExceptionHandlerTest, OutOfOrderDestructionKeepsEntryPointsRight) {
  const HMODULE runtime = LoadLibraryW(L"ucrtbase.dll");
  ASSERT_NE(nullptr, runtime);
  using GetHandlerFunction = InvalidParameterHandler(__cdecl*)();
  const auto runtime_handler =
      reinterpret_cast<GetHandlerFunction>(reinterpret_cast<void*>(
          GetProcAddress(runtime, "_get_invalid_parameter_handler")));
  ASSERT_NE(nullptr, runtime_handler);
  const InvalidParameterHandler runtime_before = runtime_handler();

  const EntryPoints before = EntryPoints::Current();
  test_support::ScopedTempDir folder;
  auto oldest = std::make_unique<ExceptionHandler>(
      folder.path(), nullptr, nullptr, nullptr, ExceptionHandler::HANDLER_ALL);
  const EntryPoints installed = EntryPoints::Current();
  EXPECT_TRUE(installed.AllDifferFrom(before));
  EXPECT_NE(runtime_before, runtime_handler());
  EXPECT_GE(HookedRuntimeCount(), 1);

  auto middle = std::make_unique<ExceptionHandler>(
      folder.path(), nullptr, nullptr, nullptr,
      ExceptionHandler::HANDLER_EXCEPTION);
  auto newest = std::make_unique<ExceptionHandler>(
      folder.path(), nullptr, nullptr, nullptr, ExceptionHandler::HANDLER_ALL);
  oldest.reset();
  middle.reset();
  EXPECT_TRUE(installed == EntryPoints::Current());
  newest.reset();
  EXPECT_TRUE(before == EntryPoints::Current());
  EXPECT_EQ(runtime_before, runtime_handler());
}

// A crash_child run: how it faults, what it must leave behind.
struct ChildCase {
  const wchar_t* mode;
  const wchar_t* option;
  int existing_dumps;
  DWORD exit_code;
  // The dump's name after the GUID text, or null when none is written.
  const wchar_t* dump_suffix;
  // The callback line's outcome: "1", "0", or null when it is not called.
  const char* callback;
  uint32_t assertion_type;  // 0: no assertion stream.
  bool at_exit_runs;
  const char* output_text;  // Also in the output, or null.
  int output_text_count;    // How often.
  // The code in the dump's exception stream, when it is not the exit code.
  DWORD dump_code = 0;
  // Whether the dumped exception comes from a thread other than the main
  // thread.
  bool other_thread = false;
};

// Exit codes of faults that reached no handler. Wine's unhandled
// breakpoint ends the process with the exception code.
const ChildCase kChildCases[] = {
    {L"access-violation", L"", 0, 0xC0000005, L"c0000005.dmp", "1", 0, false,
     nullptr, 0},
    {L"access-violation", L"", 2, 0xC0000005, nullptr, "0", 0, false, nullptr,
     0},
    {L"breakpoint", L"", 0, 0x80000003, nullptr, nullptr, 0, false, nullptr, 0},
    {L"breakpoint", L"--dump-debug", 0, 0x80000003, L"80000003.dmp", "1", 0,
     false, nullptr, 0},
    {L"invalid-parameter", L"", 0, 0xC0000417, L".dmp", "1",
     ASSERTION_INVALID_PARAMETER, true, nullptr, 0},
    {L"pure-call", L"", 0, 0xC0000409, L".dmp", "1",
     ASSERTION_PURE_VIRTUAL_CALL, true, nullptr, 0},
    {L"stack-overflow", L"", 0, 0xC00000FD, L"c00000fd.dmp", "1", 0, false,
     nullptr, 0},
    // The fatal message is shown twice: by the program and by
    // debug_message.exe, which shares its standard error.
    {L"fatal", L"--dump-debug", 0, 0x80000003, L"80000003.dmp", "1", 0, false,
     "Check failed: false. crash_child fatal", 2},
    {L"out-of-order", L"", 0, 0xC0000005, L"c0000005.dmp", "1", 0, false,
     "warning: removing crash handler out of order\n", 2},
    // The fault goes to the filter installed before the handler, instead of
    // the handler thread waiting for itself; no dump is written.
    {L"fault-in-filter", L"", 0, 0xC0000005, nullptr, nullptr, 0, false,
     nullptr, 0},
    {L"divide-by-zero", L"", 0, 0xC0000094, L"c0000094.dmp", "1", 0, false,
     nullptr, 0},
    {L"illegal-instruction", L"", 0, 0xC000001D, L"c000001d.dmp", "1", 0, false,
     nullptr, 0},
    {L"thread-fault", L"", 0, 0xC0000005, L"c0000005.dmp", "1", 0, false,
     nullptr, 0, 0, true},
    // The process ends as abort() ends it, after a dump named by a code of
    // our own.
    {L"abort", L"", 0, kAbortExitCode, L"e04b0001.dmp", "1", 0, false, nullptr,
     0, kAbortExceptionCode},
    {L"uncaught-exception", L"", 0, kAbortExitCode, L"e04b0002.dmp", "1", 0,
     false, "terminate called", 0, kTerminateExceptionCode},
    // Without a dump, the runtime's own terminate handler reports what was
    // thrown, and its abort writes no second dump.
    {L"uncaught-exception", L"", 2, kAbortExitCode, nullptr, "0", 0, false,
     "terminate called after throwing an instance of 'std::runtime_error'", 1},
};

size_t CountOf(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + piece.size())) {
    ++count;
  }
  return count;
}

void PrintTo(const ChildCase& c, std::ostream* out) {
  *out << testing::PrintToString(std::wstring(c.mode) + L" " + c.option);
}

class CrashChildTest : public testing::TestWithParam<ChildCase> {
 protected:
  // Runs crash_child; answers its exit code and fills `output`.
  DWORD RunChild(const ChildCase& c, std::string* output) {
    const std::wstring output_file = output_folder_.path() + L"\\output.txt";
    test_support::ChildProcess child;
    child.set_output_file(output_file);
    const std::wstring arguments =
        std::wstring(c.mode) + L" \"" + dump_folder_.path() + L"\" " + c.option;
    if (!child.Start(test_support::FixturePath(L"crash_child.exe"), arguments))
      return test_support::kNoExitCode;
    DWORD exit_code = test_support::kNoExitCode;
    child.WaitForExit(kChildTimeoutMs, &exit_code);
    *output = test_support::ReadTextFile(output_file);
    return exit_code;
  }

  test_support::ScopedTempDir dump_folder_{L"dumps"};
  test_support::ScopedTempDir output_folder_{L"output"};
};

// The GUID text from the line "callback FOLDER ID SUCCEEDED".
std::string CallbackId(const std::string& line) {
  const size_t end = line.rfind(' ');
  const size_t start = line.rfind(' ', end - 1);
  return line.substr(start + 1, end - start - 1);
}

// The id from the line "main thread ID".
DWORD MainThreadId(const std::string& output) {
  const size_t start = output.find("main thread ");
  return start == std::string::npos
             ? 0
             : static_cast<DWORD>(
                   strtoul(output.c_str() + start + 12, nullptr, 10));
}

// The child's standard output is in text mode: lines end in CR LF.
std::string CallbackLine(const std::string& output) {
  const size_t start = output.find("callback ");
  if (start == std::string::npos)
    return std::string();
  return output.substr(start, output.find_first_of("\r\n", start) - start);
}

TEST_P(CrashChildTest, FaultEndsInTheExpectedDumpAndExitCode) {
  const ChildCase& c = GetParam();
  for (int i = 0; i < c.existing_dumps; ++i) {
    ASSERT_TRUE(test_support::WriteTextFile(
        dump_folder_.path() + L"\\old" + std::to_wstring(i) + L".dmp", "x"));
  }
  std::string output;
  EXPECT_EQ(c.exit_code, RunChild(c, &output)) << output;

  const std::string line = CallbackLine(output);
  if (!c.callback) {
    EXPECT_EQ("", line);
  } else {
    std::string narrow_folder(dump_folder_.path().begin(),
                              dump_folder_.path().end());
    EXPECT_EQ(0u, line.find("callback " + narrow_folder + " ")) << output;
    EXPECT_EQ(c.callback, line.substr(line.size() - 1)) << output;
  }
  EXPECT_EQ(c.at_exit_runs, output.find("at-exit ran") != std::string::npos);
  // One fault, one attempt at most.
  EXPECT_LE(CountOf(output, "callback "), 1u) << output;
  if (c.output_text) {
    EXPECT_EQ(static_cast<size_t>(c.output_text_count),
              CountOf(output, c.output_text))
        << output;
  }

  const std::vector<std::wstring> dumps = DumpFiles(dump_folder_.path());
  if (!c.dump_suffix) {
    EXPECT_EQ(static_cast<size_t>(c.existing_dumps), dumps.size());
    return;
  }
  const std::string id = CallbackId(line);
  const std::wstring name = std::wstring(id.begin(), id.end()) + c.dump_suffix;
  ASSERT_EQ(std::vector<std::wstring>{name}, dumps);

  MinidumpFile dump;
  ASSERT_TRUE(dump.Read(dump_folder_.path() + L"\\" + name));
  const HandlerInfo info = ReadHandlerInfo(dump);
  EXPECT_EQ(kHandlerInfoValidity, info.validity);
  EXPECT_NE(info.requesting_thread_id, info.dump_thread_id);
  MinidumpFile::Exception exception;
  if (c.assertion_type == 0) {
    ASSERT_TRUE(dump.GetException(&exception));
    EXPECT_EQ(c.dump_code ? c.dump_code : c.exit_code, exception.code);
    EXPECT_NE(0u, exception.address);
    EXPECT_EQ(info.requesting_thread_id, exception.thread_id);
    EXPECT_EQ(c.other_thread, exception.thread_id != MainThreadId(output))
        << output;
  }
  const MinidumpFile::Stream* assertion = dump.FindStream(kAssertionInfoStream);
  if (c.assertion_type == 0) {
    EXPECT_EQ(nullptr, assertion);
    return;
  }
  ASSERT_NE(nullptr, assertion);
  ASSERT_EQ(sizeof(AssertionInfo), assertion->bytes.size());
  AssertionInfo written;
  memcpy(&written, assertion->bytes.data(), sizeof(written));
  EXPECT_EQ(c.assertion_type, written.type);
}

std::string ChildCaseName(const testing::TestParamInfo<ChildCase>& info) {
  std::string name = std::to_string(info.index);
  for (const wchar_t* text : {info.param.mode, info.param.option}) {
    for (const wchar_t* unit = text; *unit; ++unit)
      name += iswalnum(*unit) ? static_cast<char>(*unit) : '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Faults,
                         CrashChildTest,
                         testing::ValuesIn(kChildCases),
                         &ChildCaseName);

// The runtime's handler called with texts, as a runtime built with them
// does: they reach the assertion stream, cut to their fields. (Wine's
// runtime reports an invalid parameter without texts.)
TEST(CrashChildTexts, InvalidParameterTextsReachTheAssertionStream) {
  test_support::ScopedTempDir dump_folder(L"dumps");
  EXPECT_EQ(0xC0000417u,
            test_support::RunToExit(
                test_support::FixturePath(L"crash_child.exe"),
                L"invalid-parameter-texts \"" + dump_folder.path() + L"\"",
                kChildTimeoutMs));
  const std::vector<std::wstring> dumps = DumpFiles(dump_folder.path());
  ASSERT_EQ(1u, dumps.size());
  MinidumpFile dump;
  ASSERT_TRUE(dump.Read(dump_folder.path() + L"\\" + dumps[0]));
  const MinidumpFile::Stream* stream = dump.FindStream(kAssertionInfoStream);
  ASSERT_NE(nullptr, stream);
  ASSERT_EQ(sizeof(AssertionInfo), stream->bytes.size());
  AssertionInfo written;
  memcpy(&written, stream->bytes.data(), sizeof(written));
  // 127 units of the long expression, then the terminator.
  EXPECT_EQ(L"buffer != nullptr && " + std::wstring(106, L'x'),
            written.expression);
  EXPECT_EQ(std::wstring(L"CopyName"), written.function);
  EXPECT_EQ(std::wstring(L"crash_child.cc"), written.file);
  EXPECT_EQ(42u, written.line);
  EXPECT_EQ(static_cast<uint32_t>(ASSERTION_INVALID_PARAMETER), written.type);
}

}  // namespace
}  // namespace crash_handler
