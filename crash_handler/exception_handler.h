#ifndef CRASH_HANDLER_EXCEPTION_HANDLER_H_
#define CRASH_HANDLER_EXCEPTION_HANDLER_H_

#include <windows.h>

#include <dbghelp.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "base/lock_impl.h"
#include "base/scoped_handle_win.h"
#include "crash_handler/runtime_hooks_win.h"

namespace crash_handler {

// What the runtime reported, written into a dump as the assertion stream.
// The layout is the stream's byte layout.
struct AssertionInfo {
  wchar_t expression[128];  // Zero-terminated, cut to fit.
  wchar_t function[128];
  wchar_t file[128];
  uint32_t line;
  uint32_t type;  // One of AssertionType.
};
static_assert(sizeof(AssertionInfo) == 776, "the assertion stream's layout");

enum AssertionType : uint32_t {
  ASSERTION_INVALID_PARAMETER = 1,
  ASSERTION_PURE_VIRTUAL_CALL = 2,
};

// Which threads a dump came from, written into every dump.
struct HandlerInfo {
  uint32_t validity;  // kHandlerInfoValidity: both thread ids are valid.
  uint32_t dump_thread_id;
  uint32_t requesting_thread_id;
};
static_assert(sizeof(HandlerInfo) == 12, "the handler stream's layout");

inline constexpr uint32_t kHandlerInfoStream = 0x47670001;
inline constexpr uint32_t kAssertionInfoStream = 0x47670002;
inline constexpr uint32_t kReportFieldsStream = 0x47670003;
inline constexpr uint32_t kHandlerInfoValidity = 3;

// One field of a crash report: a name and a value, each zero-terminated in
// 64 UTF-16 units. Texts that do not fit are cut to 63 units; a null text
// is empty. Setting a text fills the rest of its field with zeros, so that
// nothing of an earlier, longer text stays behind. The layout is the byte
// layout of one field in the report-fields stream.
struct ReportField {
  static constexpr size_t kTextUnits = 64;

  void set_name(const wchar_t* text);
  void set_value(const wchar_t* text);

  wchar_t name[kTextUnits];
  wchar_t value[kTextUnits];
};
static_assert(sizeof(ReportField) == 256, "one report field's layout");

// The report fields a handler writes into its dumps: `count` fields at
// `fields`. The owner keeps the fields for the life of every handler given
// the table and may rewrite values at any time; a dump carries the values
// as they stand when it is written.
struct ReportFieldTable {
  const ReportField* fields;
  size_t count;
};

// The report-fields stream (kReportFieldsStream), written into every dump
// of a handler given a table: this header, little-endian, then
// `field_count` ReportFields of `field_size` (256) bytes each. Each name
// and value ends in a zero within its 64 units, whatever the owner wrote.
// At most kMaxReportFields fields are written; a longer table is cut.
struct ReportFieldsStreamHeader {
  uint32_t field_count;
  uint32_t field_size;
};
static_assert(sizeof(ReportFieldsStreamHeader) == 8,
              "the report-fields stream's header layout");
inline constexpr size_t kMaxReportFields = 64;

// Exception codes of our own for the dumps of a process that the C runtime
// ends without an exception: abort() (or raise(SIGABRT)), and
// std::terminate (a C++ exception that nothing catches, or one that leaves
// a noexcept function). The dump's exception stream and its file name carry
// the code; the exception context is that of the thread that ended the
// process, taken where the runtime handed over.
inline constexpr DWORD kAbortExceptionCode = 0xE04B0001;
inline constexpr DWORD kTerminateExceptionCode = 0xE04B0002;
// The exit code of a process that ends through abort() or std::terminate,
// with a dump or without: the C runtime's own.
inline constexpr int kAbortExitCode = 3;

// A handler of the C runtime's SIGABRT signal.
using AbortSignalHandler = void (*)(int signal_number);

// Writes minidumps of this process: for unhandled exceptions, for invalid
// parameters reported by the C runtime, for pure-virtual calls, for abort()
// and std::terminate, and on request.
//
// Every dump is written by the handler's own thread (64 KiB stack), made at
// construction; the thread that faulted or asked waits meanwhile, so a
// thread whose stack is exhausted still gets its dump. Handlers that catch
// something form a process-wide stack: the newest one serves faults, and a
// fault raised while it works goes to the one below. A handler made with no
// kinds installs nothing and only writes on request. dbghelp.dll and
// rpcrt4.dll are loaded at run time; without them the handler writes no
// dumps, or names every dump with the all-zero GUID.
//
// At most two ".dmp" files may stand in the dump folder: with two there, no
// dump is written. A dump's name is the GUID text prepared in advance,
// followed by the exception code in hexadecimal when there is an exception.
// Paths that do not fit in 260 characters are refused: no dump is written
// and the callback is told so. Given a table of report fields, every dump
// also carries them, as they stand at the time, in its report-fields stream.
//
// Dumps may be requested from any thread, one at a time per handler. Make
// and destroy handlers on any thread, in any order; destroying one waits
// for the faults it is serving. The filter and the callback run on the
// handler thread: they must not ask their own handler for a dump or destroy
// it, and a fault inside them goes to the entry point installed before the
// handler. Asking a handler for a dump while another thread destroys it is
// a misuse.
//
// After a dump for an invalid parameter or a pure-virtual call, or when the
// handler that was there before takes them, the process ends through a
// normal exit (at-exit processing runs) with the runtime's own codes:
// 0xC0000417 and 0xC0000409. An invalid parameter that no handler takes
// ends the same way; a pure-virtual call that none takes goes back to the
// runtime, which aborts.
//
// A handler of unhandled exceptions also takes the runtime's SIGABRT signal
// and std::terminate, installed and removed with its exception filter (the
// terminate handler is process-wide; so is the SIGABRT handler of the C
// runtime this library is linked with). Either writes a dump named by
// kAbortExceptionCode or kTerminateExceptionCode and ends the process at
// once with kAbortExitCode, without at-exit processing, as abort() does.
// When no dump is written, the handler that was there before runs first
// (the runtime's own terminate handler reports what was thrown).
class ExceptionHandler {
 public:
  // The kinds of faults a handler catches (bit flags).
  enum HandlerType {
    HANDLER_NONE = 0,
    // Unhandled exceptions, abort() and std::terminate.
    HANDLER_EXCEPTION = 1,
    HANDLER_INVALID_PARAMETER = 2,
    HANDLER_PURECALL = 4,
    HANDLER_ALL = 7,
  };

  // Consulted on the handler thread before a dump is written; false means
  // no dump and a failed request. `exception` or `assertion` may be null.
  using FilterCallback = bool (*)(void* context,
                                  EXCEPTION_POINTERS* exception,
                                  AssertionInfo* assertion);
  // Called on the handler thread after every attempt with its outcome; its
  // answer becomes the result of the attempt. `dump_id` is the GUID text;
  // the file name also carries the exception code when there is one.
  using MinidumpCallback = bool (*)(const wchar_t* dump_folder,
                                    const wchar_t* dump_id,
                                    void* context,
                                    EXCEPTION_POINTERS* exception,
                                    AssertionInfo* assertion,
                                    bool succeeded);

  // `reserved_name` is accepted and ignored. With `report_fields`, every
  // dump carries the report-fields stream; the table (which is copied) and
  // its fields must outlive the handler.
  ExceptionHandler(const std::wstring& dump_folder,
                   FilterCallback filter,
                   MinidumpCallback callback,
                   void* callback_state,
                   int handler_types,
                   MINIDUMP_TYPE dump_kind,
                   const wchar_t* reserved_name,
                   const ReportFieldTable* report_fields);
  // A normal minidump.
  ExceptionHandler(const std::wstring& dump_folder,
                   FilterCallback filter,
                   MinidumpCallback callback,
                   void* callback_state,
                   int handler_types);
  ExceptionHandler(const ExceptionHandler&) = delete;
  ExceptionHandler& operator=(const ExceptionHandler&) = delete;
  ~ExceptionHandler();

  // Writes a dump of the process now, then prepares the next dump's name.
  bool WriteDumpNow();
  // The same for the given exception.
  bool WriteDumpForException(EXCEPTION_POINTERS* exception);

  // Writes one dump through a temporary handler that installs nothing.
  static bool WriteDumpNow(const std::wstring& dump_folder,
                           MinidumpCallback callback,
                           void* callback_state);

  // Breakpoint and single-step exceptions are dumped only when this is set.
  void set_dump_debug_exceptions(bool dump) { dump_debug_exceptions_ = dump; }
  bool dump_debug_exceptions() const { return dump_debug_exceptions_.load(); }

  // The path the next dump without an exception gets; empty when it would
  // not fit.
  const std::wstring& next_dump_path() const { return next_dump_path_; }

 private:
  class ServingHandlerScope;
  friend class ServingHandlerScope;

  void SetReportFields(const ReportFieldTable* report_fields);
  void Initialize(const std::wstring& dump_folder,
                  FilterCallback filter,
                  MinidumpCallback callback,
                  void* callback_state,
                  int handler_types,
                  MINIDUMP_TYPE dump_kind);
  void LoadLibraries();
  void SetDumpFolder(const std::wstring& dump_folder);
  void UpdateNextId();
  void Install();
  void Uninstall();
  void InstallOwnEntryPoints() const;
  void InstallSavedEntryPoints() const;
  void StopHandlerThread();

  static DWORD WINAPI HandlerLoop(void* parameter);
  bool RequestDumpFromHandlerThread(EXCEPTION_POINTERS* exception,
                                    AssertionInfo* assertion);
  // The same with request_section_ already held.
  bool RequestDumpLocked(EXCEPTION_POINTERS* exception,
                         AssertionInfo* assertion);
  bool WriteDumpOnHandlerThread(DWORD requesting_thread_id,
                                EXCEPTION_POINTERS* exception,
                                AssertionInfo* assertion);
  bool MayWriteAnotherDump() const;
  bool FormDumpPath(EXCEPTION_POINTERS* exception,
                    wchar_t (&path)[MAX_PATH]) const;
  bool WriteDumpFile(const wchar_t* path,
                     DWORD requesting_thread_id,
                     EXCEPTION_POINTERS* exception,
                     AssertionInfo* assertion);
  // Copies the report fields as they stand into report_stream_; answers
  // the stream's size in bytes.
  uint32_t CopyReportFields();

  // The entry points installed into the process.
  static LONG WINAPI HandleException(EXCEPTION_POINTERS* exception);
  static void HandleInvalidParameter(const wchar_t* expression,
                                     const wchar_t* function,
                                     const wchar_t* file,
                                     unsigned int line,
                                     uintptr_t reserved);
  static void HandlePureVirtualCall();
  static void HandleAbortSignal(int signal_number);
  [[noreturn]] static void HandleTerminate();
  // Writes a dump for `code` with the calling thread's context as the
  // exception's, through the handler that serves `scope`.
  static bool WriteDumpForRuntimeEnd(const ServingHandlerScope& scope,
                                     DWORD code);

  using MiniDumpWriteDumpFunction =
      BOOL(WINAPI*)(HANDLE process,
                    DWORD process_id,
                    HANDLE file,
                    MINIDUMP_TYPE dump_type,
                    PMINIDUMP_EXCEPTION_INFORMATION exception_param,
                    PMINIDUMP_USER_STREAM_INFORMATION user_stream_param,
                    PMINIDUMP_CALLBACK_INFORMATION callback_param);
  using UuidCreateFunction = long(WINAPI*)(GUID* uuid);

  FilterCallback filter_ = nullptr;
  MinidumpCallback callback_ = nullptr;
  void* callback_state_ = nullptr;

  // Prepared outside any fault, so that the handler thread only reads them.
  // next_dump_path_ keeps room for 260 characters: renaming it on the
  // handler thread never allocates.
  std::wstring dump_folder_;
  std::wstring next_dump_id_;
  std::wstring next_dump_path_;
  const wchar_t* dump_folder_text_ = nullptr;
  const wchar_t* next_dump_id_text_ = nullptr;
  const wchar_t* next_dump_path_text_ = nullptr;

  HMODULE dump_writer_module_ = nullptr;
  MiniDumpWriteDumpFunction dump_writer_fn_ = nullptr;
  MINIDUMP_TYPE dump_kind_ = MiniDumpNormal;
  HMODULE uuid_module_ = nullptr;
  UuidCreateFunction uuid_create_ = nullptr;

  int handler_types_ = HANDLER_NONE;
  // The entry points that were installed before this handler's, restored
  // when it goes and consulted when it fails. Guarded by the handler stack's
  // lock once the handler is on the stack.
  LPTOP_LEVEL_EXCEPTION_FILTER saved_filter_ = nullptr;
  InvalidParameterHandler saved_invalid_param_handler_ = nullptr;
  PureCallHandler saved_pure_call_handler_ = nullptr;
  AbortSignalHandler saved_abort_handler_ = nullptr;
  std::terminate_handler saved_terminate_handler_ = nullptr;
  // Guarded by the handler stack's lock: whether the handler is on the
  // stack, and the faults it is serving (and the thread of the last one).
  bool installed_ = false;
  int serving_count_ = 0;
  DWORD serving_thread_id_ = 0;

  base::OwnedHandle handler_thread_;
  DWORD handler_thread_id_ = 0;
  // Tells the handler thread to leave its loop at the next wake-up.
  std::atomic<bool> stop_requested_{false};
  // Admits one request at a time; held by the destructor while it stops
  // the handler thread.
  base::Lock request_section_;
  base::OwnedHandle handler_start_semaphore_;
  base::OwnedHandle handler_finish_semaphore_;

  // The request in progress; guarded by request_section_ and handed to the
  // handler thread through the semaphores.
  DWORD request_thread_id_ = 0;
  EXCEPTION_POINTERS* request_exception_ = nullptr;
  AssertionInfo* request_assertion_ = nullptr;
  bool request_result_ = false;

  // Read by faulting threads.
  std::atomic<bool> dump_debug_exceptions_{false};

  // The owner's report fields (count cut to kMaxReportFields), and the
  // stream's bytes: allocated at construction and filled by the handler
  // thread for each dump, so that nothing is allocated after a fault.
  ReportFieldTable report_fields_ = {nullptr, 0};
  std::unique_ptr<uint8_t[]> report_stream_;
};

// A GUID as "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x" (36
// characters, lower case).
void FormatGuidDashed(const GUID& guid, wchar_t (&guid_string)[37]);
// A GUID as 32 upper-case hexadecimal digits, without dashes.
void FormatGuidCompact(const GUID& guid, wchar_t (&guid_string)[33]);

}  // namespace crash_handler

#endif  // CRASH_HANDLER_EXCEPTION_HANDLER_H_
