#include "crash_handler/exception_handler.h"

#include <algorithm>
#include <cassert>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "base/fault_safe_writer.h"
#include "base/lock_impl.h"
#include "base/string_util.h"

namespace crash_handler {
namespace {

// Paths are formed in fixed buffers of this many units, terminator included,
// so that nothing is allocated on the handler thread after a fault.
constexpr size_t kMaxPathUnits = MAX_PATH;
constexpr SIZE_T kHandlerThreadStackSize = 0x10000;
constexpr DWORD kHandlerThreadStopWaitMs = 5000;
// The platform runtime's own exit codes for these faults.
constexpr unsigned int kInvalidParameterExitCode = 0xC0000417;
constexpr unsigned int kPureVirtualCallExitCode = 0xC0000409;

// The handler stack: handlers that install entry points, oldest first. The
// lock is constant-initialised and never destroyed, so handlers made or
// destroyed on any thread, even by static destructors, find it. The vector
// exists while the stack is not empty.
base::StaticLock g_handler_stack_lock;
std::vector<ExceptionHandler*>* g_handler_stack = nullptr;  // Guarded.
// Handlers busy with a fault, counting nested faults. Guarded.
int g_busy_handler_depth = 0;
// Signalled whenever a handler stops serving a fault, for a destructor that
// waits until its handler is no longer in use.
base::StaticCondition g_serving_ended;

// The C runtime's assertion, with the handler's own texts.
void RuntimeAssert([[maybe_unused]] bool condition,
                   [[maybe_unused]] const char* text,
                   [[maybe_unused]] unsigned int line) {
#ifndef NDEBUG
  if (!condition)
    _assert(text, __FILE__, line);
#endif
}

bool EndsWithSeparator(const std::wstring& folder) {
  return !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
}

// Appends `text` to the `length` units in `buffer`; refuses, changing
// nothing, when the result would not fit in kMaxPathUnits.
bool AppendBounded(wchar_t (&buffer)[kMaxPathUnits],
                   size_t* length,
                   const wchar_t* text) {
  const size_t text_length = wcslen(text);
  if (*length + text_length >= kMaxPathUnits)
    return false;
  wmemcpy(buffer + *length, text, text_length + 1);
  *length += text_length;
  return true;
}

// `value` in lower-case hexadecimal without leading zeros. By hand, because
// the handler thread must not allocate after a fault.
void FormatHex(DWORD value, wchar_t (&text)[9]) {
  wchar_t digits[8];
  int count = 0;
  do {
    digits[count++] = L"0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int i = 0; i < count; ++i)
    text[i] = digits[count - 1 - i];
  text[count] = L'\0';
}

// The GUID's 32-bit, two 16-bit and eight byte parts in order, through
// `format`.
void FormatGuid(const wchar_t* format,
                const GUID& guid,
                wchar_t* guid_string,
                size_t size) {
  const std::wstring text = base::FormatString(
      format, static_cast<unsigned int>(guid.Data1), guid.Data2, guid.Data3,
      guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
      guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  base::CopyBounded(guid_string, text.c_str(), size);
}

void CopyReportText(wchar_t (&field)[128], const wchar_t* text) {
  base::CopyBounded(field, text ? text : L"", 128);
}

// Installs `handler` for SIGABRT and answers the one it replaces; a failed
// installation answers the default, which is what stays installed.
AbortSignalHandler SetAbortSignalHandler(AbortSignalHandler handler) {
  const AbortSignalHandler previous = std::signal(SIGABRT, handler);
  return previous == SIG_ERR ? SIG_DFL : previous;
}

bool IsSignalFunction(AbortSignalHandler handler) {
  return handler != SIG_DFL && handler != SIG_IGN && handler != SIG_ERR;
}

void* InstructionPointer(const CONTEXT& context) {
#if defined(_M_X64) || defined(__x86_64__)
  return reinterpret_cast<void*>(context.Rip);
#else
  return reinterpret_cast<void*>(context.Eip);
#endif
}

}  // namespace

// Picks the handler that serves a fault and, while it works, puts back the
// entry points that were installed before it, so that a fault inside the
// handling goes to the next handler down or to the previous owner. A handler
// being served is not freed: its destructor waits for the scope to end.
class ExceptionHandler::ServingHandlerScope {
 public:
  ServingHandlerScope() {
    {
      base::StaticLockGuard guard(g_handler_stack_lock);
      ++g_busy_handler_depth;
      // Several threads faulting at once can push the depth past the
      // stack; then no handler serves.
      const size_t depth = static_cast<size_t>(g_busy_handler_depth);
      if (g_handler_stack && depth <= g_handler_stack->size()) {
        handler_ = (*g_handler_stack)[g_handler_stack->size() - depth];
        ++handler_->serving_count_;
        handler_->serving_thread_id_ = GetCurrentThreadId();
      }
    }
    if (handler_)
      handler_->InstallSavedEntryPoints();
  }
  ServingHandlerScope(const ServingHandlerScope&) = delete;
  ServingHandlerScope& operator=(const ServingHandlerScope&) = delete;
  ~ServingHandlerScope() {
    base::StaticLockGuard guard(g_handler_stack_lock);
    if (handler_) {
      // A handler removed meanwhile has handed its entry points on.
      if (handler_->installed_)
        handler_->InstallOwnEntryPoints();
      --handler_->serving_count_;
      g_serving_ended.WakeAll();
    }
    --g_busy_handler_depth;
  }

  // The serving handler, for its saved entry points; null when no handler
  // is installed or all are busy.
  ExceptionHandler* handler() const { return handler_; }
  // The serving handler when it can write a dump for this thread: not when
  // the fault comes from its own thread, which would wait for itself.
  ExceptionHandler* dump_writer() const {
    return handler_ && handler_->handler_thread_id_ != GetCurrentThreadId()
               ? handler_
               : nullptr;
  }

 private:
  ExceptionHandler* handler_ = nullptr;
};

ExceptionHandler::ExceptionHandler(const std::wstring& dump_folder,
                                   FilterCallback filter,
                                   MinidumpCallback callback,
                                   void* callback_state,
                                   int handler_types,
                                   MINIDUMP_TYPE dump_kind,
                                   const wchar_t* /*reserved_name*/,
                                   const ReportFieldTable* report_fields) {
  // Before the handler is installed: a fault may come at once.
  SetReportFields(report_fields);
  Initialize(dump_folder, filter, callback, callback_state, handler_types,
             dump_kind);
}

ExceptionHandler::ExceptionHandler(const std::wstring& dump_folder,
                                   FilterCallback filter,
                                   MinidumpCallback callback,
                                   void* callback_state,
                                   int handler_types) {
  Initialize(dump_folder, filter, callback, callback_state, handler_types,
             MiniDumpNormal);
}

// Teardown order matters: once off the stack no new fault comes here, and
// faults already being served are waited out; holding request_section_
// waits out a dump in progress; only then do the thread and the libraries
// it uses go.
ExceptionHandler::~ExceptionHandler() {
  Uninstall();
  StopHandlerThread();
  if (dump_writer_module_)
    FreeLibrary(dump_writer_module_);
  if (uuid_module_)
    FreeLibrary(uuid_module_);
}

void ExceptionHandler::Initialize(const std::wstring& dump_folder,
                                  FilterCallback filter,
                                  MinidumpCallback callback,
                                  void* callback_state,
                                  int handler_types,
                                  MINIDUMP_TYPE dump_kind) {
  filter_ = filter;
  callback_ = callback;
  callback_state_ = callback_state;
  dump_kind_ = dump_kind;

  handler_start_semaphore_.Set(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  RuntimeAssert(handler_start_semaphore_.is_valid(),
                "handler_start_semaphore_ != NULL", __LINE__);
  handler_finish_semaphore_.Set(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  RuntimeAssert(handler_finish_semaphore_.is_valid(),
                "handler_finish_semaphore_ != NULL", __LINE__);
  if (handler_start_semaphore_.is_valid() &&
      handler_finish_semaphore_.is_valid()) {
    // A fixed 64 KiB: the reservation, not only the first commit.
    handler_thread_.Set(
        CreateThread(nullptr, kHandlerThreadStackSize, &HandlerLoop, this,
                     STACK_SIZE_PARAM_IS_A_RESERVATION, &handler_thread_id_));
    RuntimeAssert(handler_thread_.is_valid(), "handler_thread_ != NULL",
                  __LINE__);
  }

  LoadLibraries();
  SetDumpFolder(dump_folder);

  handler_types_ = handler_types;
  // Outside the handler stack's lock: the look-up takes the loader lock.
  if (handler_types_ & HANDLER_INVALID_PARAMETER)
    FindLoadedRuntimes();
  Install();
}

void ExceptionHandler::SetReportFields(const ReportFieldTable* report_fields) {
  if (!report_fields || !report_fields->fields)
    return;
  report_fields_ = {report_fields->fields,
                    std::min(report_fields->count, kMaxReportFields)};
  report_stream_ =
      std::make_unique<uint8_t[]>(sizeof(ReportFieldsStreamHeader) +
                                  report_fields_.count * sizeof(ReportField));
}

void ExceptionHandler::LoadLibraries() {
  dump_writer_module_ = LoadLibraryW(L"dbghelp.dll");
  if (dump_writer_module_) {
    dump_writer_fn_ =
        reinterpret_cast<MiniDumpWriteDumpFunction>(reinterpret_cast<void*>(
            GetProcAddress(dump_writer_module_, "MiniDumpWriteDump")));
  }
  uuid_module_ = LoadLibraryW(L"rpcrt4.dll");
  if (uuid_module_) {
    uuid_create_ = reinterpret_cast<UuidCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(uuid_module_, "UuidCreate")));
  }
}

void ExceptionHandler::SetDumpFolder(const std::wstring& dump_folder) {
  dump_folder_ = dump_folder;
  dump_folder_text_ = dump_folder_.c_str();
  UpdateNextId();
}

void ExceptionHandler::UpdateNextId() {
  RuntimeAssert(uuid_create_ != nullptr, "uuid_create_", __LINE__);
  GUID id = {};
  if (uuid_create_)
    uuid_create_(&id);
  wchar_t id_text[37];
  FormatGuidDashed(id, id_text);
  next_dump_id_ = id_text;
  next_dump_id_text_ = next_dump_id_.c_str();

  // A path that does not fit stays empty, and no dump is written.
  const std::wstring path = dump_folder_ + L"\\" + next_dump_id_ + L".dmp";
  next_dump_path_.reserve(kMaxPathUnits);
  if (path.size() < kMaxPathUnits)
    next_dump_path_.assign(path);
  else
    next_dump_path_.clear();
  next_dump_path_text_ = next_dump_path_.c_str();
}

void ExceptionHandler::Install() {
  if (handler_types_ == HANDLER_NONE)
    return;
  base::StaticLockGuard guard(g_handler_stack_lock);
  if (!g_handler_stack)
    g_handler_stack =
        new std::vector<ExceptionHandler*>;  // Deleted when empty.
  g_handler_stack->push_back(this);
  installed_ = true;
  if (handler_types_ & HANDLER_EXCEPTION) {
    saved_filter_ = SetUnhandledExceptionFilter(&HandleException);
    saved_abort_handler_ = SetAbortSignalHandler(&HandleAbortSignal);
    saved_terminate_handler_ = std::set_terminate(&HandleTerminate);
  }
  if (handler_types_ & HANDLER_INVALID_PARAMETER)
    saved_invalid_param_handler_ =
        SetInvalidParameterHandler(&HandleInvalidParameter);
  if (handler_types_ & HANDLER_PURECALL)
    saved_pure_call_handler_ = SetPureCallHandler(&HandlePureVirtualCall);
}

// A handler removed from the top gives the process its saved entry points
// back. One removed from below hands each saved entry point to the nearest
// newer handler of that kind, which then restores it in its turn; the
// process's entry points, which belong to the newer handlers, stay.
void ExceptionHandler::Uninstall() {
  if (handler_types_ == HANDLER_NONE)
    return;
  base::StaticLockGuard guard(g_handler_stack_lock);
  if (!g_handler_stack)
    return;
  std::vector<ExceptionHandler*>& stack = *g_handler_stack;
  const auto position = std::find(stack.begin(), stack.end(), this);
  if (position == stack.end())
    return;
  if (position + 1 != stack.end())
    base::FaultSafeWriter()
        .Append("warning: removing crash handler out of order\n")
        .Write();

  auto newer_of_kind = [&](int kind) -> ExceptionHandler* {
    for (auto newer = position + 1; newer != stack.end(); ++newer) {
      if ((*newer)->handler_types_ & kind)
        return *newer;
    }
    return nullptr;
  };
  if (handler_types_ & HANDLER_EXCEPTION) {
    if (ExceptionHandler* newer = newer_of_kind(HANDLER_EXCEPTION)) {
      newer->saved_filter_ = saved_filter_;
      newer->saved_abort_handler_ = saved_abort_handler_;
      newer->saved_terminate_handler_ = saved_terminate_handler_;
    } else {
      SetUnhandledExceptionFilter(saved_filter_);
      SetAbortSignalHandler(saved_abort_handler_);
      std::set_terminate(saved_terminate_handler_);
    }
  }
  if (handler_types_ & HANDLER_INVALID_PARAMETER) {
    if (ExceptionHandler* newer = newer_of_kind(HANDLER_INVALID_PARAMETER))
      newer->saved_invalid_param_handler_ = saved_invalid_param_handler_;
    else
      SetInvalidParameterHandler(saved_invalid_param_handler_);
  }
  if (handler_types_ & HANDLER_PURECALL) {
    if (ExceptionHandler* newer = newer_of_kind(HANDLER_PURECALL))
      newer->saved_pure_call_handler_ = saved_pure_call_handler_;
    else
      SetPureCallHandler(saved_pure_call_handler_);
  }

  stack.erase(position);
  installed_ = false;
  if (stack.empty()) {
    delete g_handler_stack;
    g_handler_stack = nullptr;
  }

  // A fault being served by this handler on another thread still uses it.
  // (One served on this thread never returns to it: the process is ending
  // there.)
  const DWORD current_thread = GetCurrentThreadId();
  while (serving_count_ > 0 &&
         !(serving_count_ == 1 && serving_thread_id_ == current_thread)) {
    g_serving_ended.Wait(g_handler_stack_lock);
  }
}

void ExceptionHandler::InstallOwnEntryPoints() const {
  if (handler_types_ & HANDLER_EXCEPTION) {
    SetUnhandledExceptionFilter(&HandleException);
    SetAbortSignalHandler(&HandleAbortSignal);
    std::set_terminate(&HandleTerminate);
  }
  if (handler_types_ & HANDLER_INVALID_PARAMETER)
    SetInvalidParameterHandler(&HandleInvalidParameter);
  if (handler_types_ & HANDLER_PURECALL)
    SetPureCallHandler(&HandlePureVirtualCall);
}

void ExceptionHandler::InstallSavedEntryPoints() const {
  if (handler_types_ & HANDLER_EXCEPTION) {
    SetUnhandledExceptionFilter(saved_filter_);
    SetAbortSignalHandler(saved_abort_handler_);
    std::set_terminate(saved_terminate_handler_);
  }
  if (handler_types_ & HANDLER_INVALID_PARAMETER)
    SetInvalidParameterHandler(saved_invalid_param_handler_);
  if (handler_types_ & HANDLER_PURECALL)
    SetPureCallHandler(saved_pure_call_handler_);
}

// The thread is asked to end and leaves its loop by itself: killed while it
// still starts up, it could take the loader lock or a heap lock with it.
// Only a thread that cannot end in time (its handler destroyed while the
// loader lock is held) is terminated.
void ExceptionHandler::StopHandlerThread() {
  base::LockGuard no_request_in_flight(request_section_);
  if (!handler_thread_.is_valid())
    return;
  stop_requested_ = true;
  ReleaseSemaphore(handler_start_semaphore_.get(), 1, nullptr);
  if (WaitForSingleObject(handler_thread_.get(), kHandlerThreadStopWaitMs) !=
      WAIT_OBJECT_0) {
    TerminateThread(handler_thread_.get(), 1);
    WaitForSingleObject(handler_thread_.get(), kHandlerThreadStopWaitMs);
  }
  handler_thread_.Close();
}

bool ExceptionHandler::WriteDumpNow() {
  return WriteDumpForException(nullptr);
}

bool ExceptionHandler::WriteDumpForException(EXCEPTION_POINTERS* exception) {
  base::LockGuard guard(request_section_);
  const bool result = RequestDumpLocked(exception, nullptr);
  // Under the request lock: another request may be reading the name.
  UpdateNextId();
  return result;
}

// static
bool ExceptionHandler::WriteDumpNow(const std::wstring& dump_folder,
                                    MinidumpCallback callback,
                                    void* callback_state) {
  ExceptionHandler handler(dump_folder, nullptr, callback, callback_state,
                           HANDLER_NONE);
  return handler.WriteDumpNow();
}

// static
DWORD WINAPI ExceptionHandler::HandlerLoop(void* parameter) {
  ExceptionHandler* const self = static_cast<ExceptionHandler*>(parameter);
  RuntimeAssert(self != nullptr, "self", __LINE__);
  RuntimeAssert(self->handler_start_semaphore_.is_valid(),
                "self->handler_start_semaphore_ != NULL", __LINE__);
  RuntimeAssert(self->handler_finish_semaphore_.is_valid(),
                "self->handler_finish_semaphore_ != NULL", __LINE__);
  for (;;) {
    if (WaitForSingleObject(self->handler_start_semaphore_.get(), INFINITE) !=
        WAIT_OBJECT_0) {
      continue;
    }
    if (self->stop_requested_)
      return 0;
    self->request_result_ = self->WriteDumpOnHandlerThread(
        self->request_thread_id_, self->request_exception_,
        self->request_assertion_);
    ReleaseSemaphore(self->handler_finish_semaphore_.get(), 1, nullptr);
  }
}

bool ExceptionHandler::RequestDumpFromHandlerThread(
    EXCEPTION_POINTERS* exception,
    AssertionInfo* assertion) {
  base::LockGuard guard(request_section_);
  return RequestDumpLocked(exception, assertion);
}

bool ExceptionHandler::RequestDumpLocked(EXCEPTION_POINTERS* exception,
                                         AssertionInfo* assertion) {
  if (!handler_thread_.is_valid())
    return false;
  request_thread_id_ = GetCurrentThreadId();
  request_exception_ = exception;
  request_assertion_ = assertion;
  ReleaseSemaphore(handler_start_semaphore_.get(), 1, nullptr);
  WaitForSingleObject(handler_finish_semaphore_.get(), INFINITE);
  const bool result = request_result_;
  request_thread_id_ = 0;
  request_exception_ = nullptr;
  request_assertion_ = nullptr;
  return result;
}

bool ExceptionHandler::WriteDumpOnHandlerThread(DWORD requesting_thread_id,
                                                EXCEPTION_POINTERS* exception,
                                                AssertionInfo* assertion) {
  if (filter_ && !filter_(callback_state_, exception, assertion))
    return false;

  bool success = false;
  wchar_t path[kMaxPathUnits];
  if (MayWriteAnotherDump() && dump_writer_fn_ &&
      FormDumpPath(exception, path)) {
    // Fits the reserved capacity: no allocation here.
    next_dump_path_.assign(path);
    next_dump_path_text_ = next_dump_path_.c_str();
    success = WriteDumpFile(path, requesting_thread_id, exception, assertion);
  }
  if (callback_) {
    success = callback_(dump_folder_text_, next_dump_id_text_, callback_state_,
                        exception, assertion, success);
  }
  return success;
}

// Fewer than two ".dmp" files in the dump folder. A folder whose pattern
// would not fit is refused.
bool ExceptionHandler::MayWriteAnotherDump() const {
  wchar_t pattern[kMaxPathUnits];
  size_t length = 0;
  pattern[0] = L'\0';
  if (!AppendBounded(pattern, &length, dump_folder_text_) ||
      (!EndsWithSeparator(dump_folder_) &&
       !AppendBounded(pattern, &length, L"\\")) ||
      !AppendBounded(pattern, &length, L"*.dmp")) {
    return false;
  }
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern, &found);
  // A search that finds nothing counts as one entry.
  int count = 1;
  if (search != INVALID_HANDLE_VALUE) {
    while (count < 2 && FindNextFileW(search, &found))
      ++count;
    FindClose(search);
  }
  return count < 2;
}

// The prepared path; with an exception, its code goes before ".dmp".
bool ExceptionHandler::FormDumpPath(EXCEPTION_POINTERS* exception,
                                    wchar_t (&path)[kMaxPathUnits]) const {
  const size_t prepared_length = next_dump_path_.size();
  if (prepared_length == 0)
    return false;
  wmemcpy(path, next_dump_path_text_, prepared_length + 1);
  if (!exception || !exception->ExceptionRecord)
    return true;

  size_t length = prepared_length - 4;  // Without ".dmp".
  path[length] = L'\0';
  wchar_t code[9];
  FormatHex(exception->ExceptionRecord->ExceptionCode, code);
  return AppendBounded(path, &length, code) &&
         AppendBounded(path, &length, L".dmp");
}

bool ExceptionHandler::WriteDumpFile(const wchar_t* path,
                                     DWORD requesting_thread_id,
                                     EXCEPTION_POINTERS* exception,
                                     AssertionInfo* assertion) {
  base::OwnedHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
  if (!file.is_valid())
    return false;

  // The pointers are this process's own.
  MINIDUMP_EXCEPTION_INFORMATION except_info = {requesting_thread_id, exception,
                                                FALSE};
  HandlerInfo handler_info = {kHandlerInfoValidity, GetCurrentThreadId(),
                              requesting_thread_id};
  MINIDUMP_USER_STREAM user_stream_array[3] = {
      {kHandlerInfoStream, sizeof(handler_info), &handler_info}};
  ULONG stream_count = 1;
  if (assertion) {
    user_stream_array[stream_count++] = {kAssertionInfoStream,
                                         sizeof(AssertionInfo), assertion};
  }
  if (report_stream_) {
    user_stream_array[stream_count++] = {
        kReportFieldsStream, CopyReportFields(), report_stream_.get()};
  }
  MINIDUMP_USER_STREAM_INFORMATION user_streams = {stream_count,
                                                   user_stream_array};
  if (dump_writer_fn_(GetCurrentProcess(), GetCurrentProcessId(), file.get(),
                      dump_kind_, exception ? &except_info : nullptr,
                      &user_streams, nullptr) == TRUE) {
    return true;
  }
  // A broken dump would count against the folder's limit.
  file.Close();
  DeleteFileW(path);
  return false;
}

// The owner may be rewriting a value meanwhile (a new URL, say): the copy
// then holds a mix of both texts, and each text is ended within its field
// whatever it holds.
uint32_t ExceptionHandler::CopyReportFields() {
  const ReportFieldsStreamHeader header = {
      static_cast<uint32_t>(report_fields_.count), sizeof(ReportField)};
  uint8_t* const stream = report_stream_.get();
  memcpy(stream, &header, sizeof(header));
  memcpy(stream + sizeof(header), report_fields_.fields,
         report_fields_.count * sizeof(ReportField));
  // The offsets of the last unit of a field's name and of its value.
  const size_t kLastUnit = (ReportField::kTextUnits - 1) * sizeof(wchar_t);
  const size_t kEnds[] = {offsetof(ReportField, name) + kLastUnit,
                          offsetof(ReportField, value) + kLastUnit};
  for (size_t i = 0; i < report_fields_.count; ++i) {
    const size_t field = sizeof(header) + i * sizeof(ReportField);
    for (const size_t end : kEnds)
      memset(stream + field + end, 0, sizeof(wchar_t));
  }
  return static_cast<uint32_t>(sizeof(header) +
                               report_fields_.count * sizeof(ReportField));
}

// static
LONG WINAPI ExceptionHandler::HandleException(EXCEPTION_POINTERS* exception) {
  ServingHandlerScope scope;
  ExceptionHandler* const handler = scope.handler();
  if (!handler)
    return EXCEPTION_CONTINUE_SEARCH;
  ExceptionHandler* const writer = scope.dump_writer();
  const DWORD code = exception && exception->ExceptionRecord
                         ? exception->ExceptionRecord->ExceptionCode
                         : 0;
  const bool is_debug_exception =
      code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP;
  if (writer && (!is_debug_exception || writer->dump_debug_exceptions_) &&
      writer->RequestDumpFromHandlerThread(exception, nullptr)) {
    // An exhausted stack has no room for the unwinding that handling the
    // exception means; the process ends now, with the same exit code.
    // (Under Wine that unwinding overflows again and the process hangs.)
    if (code == EXCEPTION_STACK_OVERFLOW)
      TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
  }
  if (handler->saved_filter_)
    return handler->saved_filter_(exception);
  return EXCEPTION_CONTINUE_SEARCH;
}

// static
void ExceptionHandler::HandleInvalidParameter(const wchar_t* expression,
                                              const wchar_t* function,
                                              const wchar_t* file,
                                              unsigned int line,
                                              uintptr_t reserved) {
  {
    ServingHandlerScope scope;
    ExceptionHandler* const handler = scope.handler();
    AssertionInfo assertion = {};
    CopyReportText(assertion.expression, expression);
    CopyReportText(assertion.function, function);
    CopyReportText(assertion.file, file);
    assertion.line = line;
    assertion.type = ASSERTION_INVALID_PARAMETER;
    ExceptionHandler* const writer = scope.dump_writer();
    const bool dumped =
        writer && writer->RequestDumpFromHandlerThread(nullptr, &assertion);
    if (!dumped && handler && handler->saved_invalid_param_handler_) {
      handler->saved_invalid_param_handler_(expression, function, file, line,
                                            reserved);
    }
  }
  // The runtime's own default would end the process with this code too; a
  // normal exit lets at-exit processing run.
  std::exit(static_cast<int>(kInvalidParameterExitCode));
}

// static
void ExceptionHandler::HandlePureVirtualCall() {
  bool handled = false;
  {
    ServingHandlerScope scope;
    ExceptionHandler* const handler = scope.handler();
    AssertionInfo assertion = {};
    assertion.type = ASSERTION_PURE_VIRTUAL_CALL;
    ExceptionHandler* const writer = scope.dump_writer();
    handled =
        writer && writer->RequestDumpFromHandlerThread(nullptr, &assertion);
    if (!handled && handler && handler->saved_pure_call_handler_) {
      handler->saved_pure_call_handler_();
      handled = true;
    }
  }
  // Unhandled, the runtime's own pure-call handling takes over on return.
  if (handled)
    std::exit(static_cast<int>(kPureVirtualCallExitCode));
}

// static
bool ExceptionHandler::WriteDumpForRuntimeEnd(const ServingHandlerScope& scope,
                                              DWORD code) {
  ExceptionHandler* const writer = scope.dump_writer();
  if (!writer)
    return false;
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  record.ExceptionAddress = InstructionPointer(context);
  EXCEPTION_POINTERS exception = {&record, &context};
  return writer->RequestDumpFromHandlerThread(&exception, nullptr);
}

// static
void ExceptionHandler::HandleAbortSignal(int signal_number) {
  {
    ServingHandlerScope scope;
    ExceptionHandler* const handler = scope.handler();
    if (!WriteDumpForRuntimeEnd(scope, kAbortExceptionCode) && handler &&
        IsSignalFunction(handler->saved_abort_handler_)) {
      handler->saved_abort_handler_(signal_number);
    }
  }
  // Whatever the handler before did, abort() does not go on after it.
  std::_Exit(kAbortExitCode);
}

// static
void ExceptionHandler::HandleTerminate() {
  {
    ServingHandlerScope scope;
    ExceptionHandler* const handler = scope.handler();
    // The runtime's own handler reports what was thrown and aborts; while
    // this scope lasts the abort goes to the SIGABRT handler that was there
    // before ours, so it writes no second dump.
    if (!WriteDumpForRuntimeEnd(scope, kTerminateExceptionCode) && handler &&
        handler->saved_terminate_handler_) {
      handler->saved_terminate_handler_();
    }
  }
  std::_Exit(kAbortExitCode);
}

namespace {

void SetFieldText(wchar_t (&field)[ReportField::kTextUnits],
                  const wchar_t* text) {
  const wchar_t* const source = text ? text : L"";
  const size_t length = wcsnlen(source, ReportField::kTextUnits - 1);
  wmemcpy(field, source, length);
  wmemset(field + length, L'\0', ReportField::kTextUnits - length);
}

}  // namespace

void ReportField::set_name(const wchar_t* text) {
  SetFieldText(name, text);
}

void ReportField::set_value(const wchar_t* text) {
  SetFieldText(value, text);
}

void FormatGuidDashed(const GUID& guid, wchar_t (&guid_string)[37]) {
  FormatGuid(L"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", guid,
             guid_string, 37);
}

void FormatGuidCompact(const GUID& guid, wchar_t (&guid_string)[33]) {
  FormatGuid(L"%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", guid, guid_string,
             33);
}

}  // namespace crash_handler
