#include "base/message_loop_win.h"

#include <windows.h>

#include "base/io_completion_pump_win.h"
#include "base/logging.h"
#include "base/message_pump_default.h"
#include "base/message_pump_win.h"

// The exception frame of a run that restores the unhandled-exception filter.
//
// A frame handler is called for each exception that leaves the code inside
// the frame while the system searches for a handler. Ours puts the filter
// that was in place when the run began back in place and lets the search go
// on, so that an exception that nothing handles reaches that filter, not
// one that a task installed meanwhile. Each frame keeps its own filter, so
// nested runs each restore theirs, innermost first.
//
// The compiler has no syntax for such a frame, so it is built by hand: on
// 64-bit Windows as a function whose unwind data names the handler, on
// 32-bit Windows as a record pushed on the thread's chain of frame handlers.

namespace {

using FrameBody = void (*)(void* context);

bool IsUnwinding(const EXCEPTION_RECORD* record) {
  return (record->ExceptionFlags & EXCEPTION_UNWIND) != 0;
}

}  // namespace

#if defined(__x86_64__)

extern "C" {

// Calls body(context) with `filter` stored at offset 32 of its frame, the
// word above the callee's home area, where the handler finds it.
void kelvo_RunInFilterFrame(FrameBody body,
                            void* context,
                            LPTOP_LEVEL_EXCEPTION_FILTER filter);

EXCEPTION_DISPOSITION kelvo_FilterFrameHandler(EXCEPTION_RECORD* record,
                                               void* establisher_frame,
                                               CONTEXT* /*context*/,
                                               void* /*dispatcher_context*/) {
  if (IsUnwinding(record))
    return ExceptionContinueSearch;
  // Without a frame register the establisher frame is the stack pointer at
  // the end of the prologue.
  const auto filter = *reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER*>(
      static_cast<char*>(establisher_frame) + 32);
  SetUnhandledExceptionFilter(filter);
  return ExceptionContinueSearch;
}

}  // extern "C"

// The nop after the call keeps the return address out of the epilogue,
// where the unwinder would take the frame for one already torn down.
asm(R"(
    .text
    .globl kelvo_RunInFilterFrame
    .def kelvo_RunInFilterFrame; .scl 2; .type 32; .endef
    .seh_proc kelvo_RunInFilterFrame
kelvo_RunInFilterFrame:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %r8, 32(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    nop
    addq $40, %rsp
    ret
    .seh_handler kelvo_FilterFrameHandler, @except
    .seh_endproc
)");

namespace {

void RunInFilterFrame(FrameBody body,
                      void* context,
                      LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  kelvo_RunInFilterFrame(body, context, filter);
}

}  // namespace

#elif defined(__i386__)

namespace {

// The system's frame record (the chain link and the handler), followed by
// the filter that the handler restores.
struct FilterFrameRecord {
  FilterFrameRecord* next;
  PEXCEPTION_ROUTINE handler;
  LPTOP_LEVEL_EXCEPTION_FILTER filter;
};

EXCEPTION_DISPOSITION NTAPI FilterFrameHandler(EXCEPTION_RECORD* record,
                                               void* establisher_frame,
                                               CONTEXT* /*context*/,
                                               void* /*dispatcher_context*/) {
  if (IsUnwinding(record))
    return ExceptionContinueSearch;
  // The establisher frame is the record itself.
  SetUnhandledExceptionFilter(
      static_cast<FilterFrameRecord*>(establisher_frame)->filter);
  return ExceptionContinueSearch;
}

// The head of the calling thread's chain of frame records: the first word
// of its thread block, which the fs segment addresses.
FilterFrameRecord* ChainHead() {
  FilterFrameRecord* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(FilterFrameRecord* head) {
  // The clobber keeps the record's own stores before it is linked in.
  asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

// Links a record on the stack into the calling thread's chain for its
// lifetime.
class ScopedFilterFrame {
 public:
  explicit ScopedFilterFrame(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    record_.next = ChainHead();
    record_.handler = &FilterFrameHandler;
    record_.filter = filter;
    SetChainHead(&record_);
  }
  ScopedFilterFrame(const ScopedFilterFrame&) = delete;
  ScopedFilterFrame& operator=(const ScopedFilterFrame&) = delete;
  ~ScopedFilterFrame() { SetChainHead(record_.next); }

 private:
  FilterFrameRecord record_;
};

void RunInFilterFrame(FrameBody body,
                      void* context,
                      LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  const ScopedFilterFrame frame(filter);
  body(context);
}

}  // namespace

#else
#error "No exception frame for this processor"
#endif

namespace base {

MessagePump* MessageLoop::CreatePump() const {
  switch (type_) {
    case TYPE_DEFAULT:
      return new MessagePumpDefault();
    case TYPE_IO:
      return new MessagePumpForIO();
    case TYPE_UI:
      break;
  }
  CHECK(type_ == TYPE_UI);
  return new MessagePumpForUI();
}

void MessageLoop::RunHandler() {
  if (!restore_exception_filter_) {
    RunInternal();
    return;
  }
  // Reading the filter means replacing it; it goes straight back.
  const LPTOP_LEVEL_EXCEPTION_FILTER filter =
      SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(filter);
  RunInFilterFrame(
      [](void* loop) { static_cast<MessageLoop*>(loop)->RunInternal(); }, this,
      filter);
}

void MessageLoop::RunInternal() {
  CHECK(this == current());
  StartHistogram();
  if (state_->message_dispatcher && type_ == TYPE_UI) {
    static_cast<MessagePumpForUI*>(pump_.get())
        ->RunWithMessageDispatcher(this, state_->message_dispatcher);
    return;
  }
  pump_->Run(this);
}

// ---------------------------------------------------------------------------
// MessageLoopForUI

void MessageLoopForUI::Run(MessageDispatcher* message_dispatcher) {
  RunState state(this);
  state.message_dispatcher = message_dispatcher;
  RunHandler();
}

void MessageLoopForUI::AddObserver(MessagePumpWin::Observer* observer) {
  pump_ui()->AddObserver(observer);
}

void MessageLoopForUI::RemoveObserver(MessagePumpWin::Observer* observer) {
  pump_ui()->RemoveObserver(observer);
}

void MessageLoopForUI::BeforeMessage(const MSG& msg) {
  pump_ui()->BeforeMessage(msg);
}

void MessageLoopForUI::AfterMessage(const MSG& msg) {
  pump_ui()->AfterMessage(msg);
}

void MessageLoopForUI::PumpOutPendingPaintMessages() {
  pump_ui()->PumpOutPendingPaintMessages();
}

MessagePumpForUI* MessageLoopForUI::pump_ui() const {
  return static_cast<MessagePumpForUI*>(pump().get());
}

// ---------------------------------------------------------------------------
// MessageLoopForIO

void MessageLoopForIO::AttachIOHandler(HANDLE file,
                                       IOCompletionHandler* handler) {
  pump_io()->AttachIOHandler(file, handler);
}

bool MessageLoopForIO::AwaitIOCompletion(DWORD timeout,
                                         IOCompletionHandler* filter) {
  return pump_io()->AwaitIOCompletion(timeout, filter);
}

MessagePumpForIO* MessageLoopForIO::pump_io() const {
  return static_cast<MessagePumpForIO*>(pump().get());
}

}  // namespace base
