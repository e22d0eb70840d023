// Installs an exception handler that writes into FOLDER and then faults.
// Usage: crash_child MODE FOLDER [--dump-debug]
//
//   access-violation   writes into read-only memory;
//   breakpoint         raises a breakpoint exception;
//   invalid-parameter  has the C runtime report an invalid parameter;
//   invalid-parameter-texts
//                      calls the runtime's handler with texts;
//   pure-call          calls a pure virtual function;
//   stack-overflow     exhausts the main thread's stack;
//   abort              calls abort();
//   uncaught-exception throws a C++ exception that nothing catches;
//   divide-by-zero     divides an integer by zero;
//   illegal-instruction
//                      runs an undefined instruction;
//   thread-fault       writes into read-only memory on a std::thread;
//   fatal              fails a check with no fatal handler;
//   out-of-order       makes three handlers, destroys the two oldest first,
//                      then writes into read-only memory;
//   fault-in-filter    asks for a dump whose filter writes into read-only
//                      memory on the handler's own thread;
//
// --dump-debug makes the handler dump breakpoints too. The program first
// prints "main thread ID" on standard output; the dump callback prints
// "callback FOLDER ID SUCCEEDED", and a normal exit prints "at-exit ran".

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/logging.h"
#include "crash_handler/exception_handler.h"

namespace crash_child {

// Outside the anonymous namespace: with the whole class hierarchy in view
// the compiler would send the call straight to Square::Area.
class Shape {
 public:
  Shape() {
    // Through a volatile pointer, so the compiler cannot see that the call
    // lands on the pure function while this object is still a Shape.
    Shape* volatile self = this;
    self->Area();
  }
  virtual ~Shape() = default;
  virtual int Area() const = 0;
};

class Square : public Shape {
 public:
  int Area() const override { return 4; }
};

}  // namespace crash_child

namespace {

using crash_handler::ExceptionHandler;

bool PrintOutcome(const wchar_t* dump_folder,
                  const wchar_t* dump_id,
                  void* /*context*/,
                  EXCEPTION_POINTERS* /*exception*/,
                  crash_handler::AssertionInfo* /*assertion*/,
                  bool succeeded) {
  printf("callback %ls %ls %d\n", dump_folder, dump_id, succeeded ? 1 : 0);
  fflush(stdout);
  return succeeded;
}

// Writes into a read-only page. (Not through a null pointer: Wine may map
// the lowest page when the tests run as root.)
void PrintAtExit() {
  printf("at-exit ran\n");
  fflush(stdout);
}

void WriteToReadOnlyMemory() {
  void* const page =
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  *static_cast<volatile int*>(page) = 1;
}

// Reports an invalid parameter through the C runtime that supports a
// handler, with texts the test can look for.
template <typename Function>
Function RuntimeFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ucrtbase.dll"), name)));
}

// Has the C runtime that supports a handler find a null buffer.
int ReportInvalidParameter() {
  using ItoaFunction = int(__cdecl*)(int, char*, size_t, int);
  const auto itoa_s = RuntimeFunction<ItoaFunction>("_itoa_s");
  if (!itoa_s)
    return 2;
  itoa_s(1, nullptr, 0, 10);
  return 3;  // The handler ends the process before this.
}

// Calls the runtime's installed handler with texts, as a runtime built
// with them does. (Wine's release runtime reports none.)
int ReportInvalidParameterWithTexts() {
  using Handler = void(__cdecl*)(const wchar_t*, const wchar_t*, const wchar_t*,
                                 unsigned int, uintptr_t);
  using GetHandlerFunction = Handler(__cdecl*)();
  const auto get_handler =
      RuntimeFunction<GetHandlerFunction>("_get_invalid_parameter_handler");
  const Handler handler = get_handler ? get_handler() : nullptr;
  if (!handler)
    return 2;
  // Longer than the dump's field for it.
  const std::wstring expression =
      L"buffer != nullptr && " + std::wstring(200, L'x');
  handler(expression.c_str(), L"CopyName", L"crash_child.cc", 42, 0);
  return 3;  // The handler ends the process before this.
}

// Recurses until the stack is exhausted; the volatile limit keeps the
// compiler from treating the recursion as endless.
volatile int g_recursion_limit = 1 << 30;

int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (depth >= g_recursion_limit)
    return frame[0];
  return Recurse(depth + 1) + frame[0];
}

// Not inlined, so that the throw is not seen to end the program.
[[gnu::noinline]] void ThrowUncaught() {
  throw std::runtime_error("crash_child uncaught");
}

// Both volatile, so that the compiler emits a real division.
volatile int g_one = 1;
volatile int g_zero = 0;

int Fault(const std::wstring& mode) {
  if (mode == L"access-violation") {
    WriteToReadOnlyMemory();
  } else if (mode == L"breakpoint") {
    DebugBreak();
    return 4;  // A breakpoint that nobody handles continues here.
  } else if (mode == L"invalid-parameter") {
    return ReportInvalidParameter();
  } else if (mode == L"invalid-parameter-texts") {
    return ReportInvalidParameterWithTexts();
  } else if (mode == L"pure-call") {
    crash_child::Square square;
    return square.Area();
  } else if (mode == L"stack-overflow") {
    return Recurse(0);
  } else if (mode == L"abort") {
    std::abort();
  } else if (mode == L"uncaught-exception") {
    ThrowUncaught();
  } else if (mode == L"divide-by-zero") {
    return g_one / g_zero;
  } else if (mode == L"illegal-instruction") {
    __builtin_trap();
  } else if (mode == L"thread-fault") {
    std::thread thread(&WriteToReadOnlyMemory);
    thread.join();
  } else if (mode == L"fatal") {
    CHECK(false) << "crash_child fatal";
  }
  return 1;
}

bool FaultingFilter(void*, EXCEPTION_POINTERS*, crash_handler::AssertionInfo*) {
  WriteToReadOnlyMemory();
  return true;
}

int FaultInFilter(const std::wstring& folder) {
  ExceptionHandler handler(folder, &FaultingFilter, &PrintOutcome, nullptr,
                           ExceptionHandler::HANDLER_ALL);
  handler.WriteDumpNow();
  return 1;
}

int OutOfOrder(const std::wstring& folder) {
  auto oldest = std::make_unique<ExceptionHandler>(
      folder, nullptr, &PrintOutcome, nullptr, ExceptionHandler::HANDLER_ALL);
  auto middle = std::make_unique<ExceptionHandler>(
      folder, nullptr, &PrintOutcome, nullptr, ExceptionHandler::HANDLER_ALL);
  ExceptionHandler newest(folder, nullptr, &PrintOutcome, nullptr,
                          ExceptionHandler::HANDLER_ALL);
  oldest.reset();
  middle.reset();
  WriteToReadOnlyMemory();
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3)
    return 64;
  const std::wstring mode = argv[1];
  const std::wstring folder = argv[2];
  printf("main thread %lu\n", GetCurrentThreadId());
  fflush(stdout);
  std::atexit(&PrintAtExit);
  if (mode == L"out-of-order")
    return OutOfOrder(folder);
  if (mode == L"fault-in-filter")
    return FaultInFilter(folder);
  // Loaded before the handler is installed, so that the handler reaches it.
  LoadLibraryW(L"ucrtbase.dll");
  ExceptionHandler handler(folder, nullptr, &PrintOutcome, nullptr,
                           ExceptionHandler::HANDLER_ALL);
  if (argc > 3 && std::wstring(argv[3]) == L"--dump-debug")
    handler.set_dump_debug_exceptions(true);
  return Fault(mode);
}
