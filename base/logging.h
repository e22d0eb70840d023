#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <memory>
#include <sstream>
#include <string>

// Messages and checked assertions.
//
// A `LogRecord` collects one message through `stream()` and emits it when it
// goes out of scope. Every checked assertion (`CHECK`, `CHECK_EQ`, ...) is a
// fatal message whose text begins "Check failed: "; all of them are
// evaluated in every build. The fatal path breaks into an attached debugger,
// or calls the handler installed with `SetFatalHandler` and returns, or shows
// the message and raises a breakpoint exception that ends the process.
//
// Any thread may log. The handlers are plain process-wide settings: set them
// at start-up, before other threads log.

namespace base {

using LogLevel = int;
inline constexpr LogLevel LOG_INFO = 0;
inline constexpr LogLevel LOG_WARNING = 1;
inline constexpr LogLevel LOG_ERROR = 2;
inline constexpr LogLevel LOG_ERROR_REPORT = 3;
inline constexpr LogLevel LOG_FATAL = 4;

// Receives the whole text of a fatal message, without its line end.
using LogHandlerFunction = void (*)(const std::string& message);

// Installs `handler` (or removes it, given null) for fatal messages: with a
// handler installed a failed check reports to it and the program goes on.
void SetFatalHandler(LogHandlerFunction handler);

// One message: the line prefix is written at construction, the text is
// streamed by the caller, and the destructor emits the line. Saves the
// thread's last-error code and restores it when done, so logging never
// changes what the caller is about to read.
class LogRecord {
 public:
  LogRecord(const char* file, int line);
  LogRecord(const char* file, int line, LogLevel severity);
  // Fatal message of a two-operand check: "Check failed: " + `result`.
  LogRecord(const char* file, int line, const std::string& result);
  LogRecord(const char* file,
            int line,
            LogLevel severity,
            const std::string& result);
  LogRecord(const LogRecord&) = delete;
  LogRecord& operator=(const LogRecord&) = delete;
  ~LogRecord();

  std::ostream& stream() { return stream_; }

 private:
  void Init(const char* file, int line);

  LogLevel severity_;
  std::ostringstream stream_;
  unsigned long last_error_;  // The caller's last-error code.
};

// Turns a stream expression into void, so that a check can sit in the
// second branch of a conditional expression.
struct LogVoidify {
  void operator&(std::ostream&) const {}
};

// The outcome of a two-operand check: holds the failure text, if any.
class CheckOpResult {
 public:
  CheckOpResult() = default;
  explicit CheckOpResult(std::string message)
      : message_(std::make_unique<std::string>(std::move(message))) {}
  bool failed() const { return message_ != nullptr; }
  const std::string& message() const { return *message_; }
  void Clear() { message_.reset(); }

 private:
  std::unique_ptr<std::string> message_;
};

template <typename A, typename B>
std::string FormatCheckOp(const A& a, const B& b, const char* expression) {
  std::ostringstream text;
  text << expression << " (" << a << " vs. " << b << ")";
  return text.str();
}

// Checks compare operands as written ("owning_thread_id_ != 0" keeps its
// text), so mixed signedness is the caller's call, not a warning here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
#define KELVO_DEFINE_CHECK_OP(name, op)                     \
  template <typename A, typename B>                         \
  CheckOpResult Check##name##Impl(const A& a, const B& b,   \
                                  const char* expression) { \
    if (a op b)                                             \
      return CheckOpResult();                               \
    return CheckOpResult(FormatCheckOp(a, b, expression));  \
  }
KELVO_DEFINE_CHECK_OP(EQ, ==)
KELVO_DEFINE_CHECK_OP(NE, !=)
KELVO_DEFINE_CHECK_OP(LE, <=)
KELVO_DEFINE_CHECK_OP(LT, <)
KELVO_DEFINE_CHECK_OP(GE, >=)
KELVO_DEFINE_CHECK_OP(GT, >)
#undef KELVO_DEFINE_CHECK_OP
#pragma GCC diagnostic pop

}  // namespace base

// Writes a wide string to a log stream as UTF-8. Declared at global scope so
// that ordinary lookup finds them from every namespace; inside `base` alone
// a wide string would print as an address elsewhere.
std::ostream& operator<<(std::ostream& out, const wchar_t* wide);
std::ostream& operator<<(std::ostream& out, const std::wstring& wide);

#define LOG(severity) \
  ::base::LogRecord(__FILE__, __LINE__, ::base::LOG_##severity).stream()

#define CHECK(condition)                                                      \
  (condition)                                                                 \
      ? (void)0                                                               \
      : ::base::LogVoidify() &                                                \
            ::base::LogRecord(__FILE__, __LINE__, ::base::LOG_FATAL).stream() \
                << "Check failed: " #condition ". "

// The loop body runs at most once: Clear() ends it after the message.
#define KELVO_CHECK_OP(name, op, a, b)                             \
  for (::base::CheckOpResult kelvo_check_result =                  \
           ::base::Check##name##Impl((a), (b), #a " " #op " " #b); \
       kelvo_check_result.failed(); kelvo_check_result.Clear())    \
  ::base::LogRecord(__FILE__, __LINE__, kelvo_check_result.message()).stream()

#define CHECK_EQ(a, b) KELVO_CHECK_OP(EQ, ==, a, b)
#define CHECK_NE(a, b) KELVO_CHECK_OP(NE, !=, a, b)
#define CHECK_LE(a, b) KELVO_CHECK_OP(LE, <=, a, b)
#define CHECK_LT(a, b) KELVO_CHECK_OP(LT, <, a, b)
#define CHECK_GE(a, b) KELVO_CHECK_OP(GE, >=, a, b)
#define CHECK_GT(a, b) KELVO_CHECK_OP(GT, >, a, b)

// Debug checks are checked in every build, exactly like their CHECK forms.
#define DCHECK(condition) CHECK(condition)
#define DCHECK_EQ(a, b) CHECK_EQ(a, b)
#define DCHECK_NE(a, b) CHECK_NE(a, b)
#define DCHECK_LE(a, b) CHECK_LE(a, b)
#define DCHECK_LT(a, b) CHECK_LT(a, b)
#define DCHECK_GE(a, b) CHECK_GE(a, b)
#define DCHECK_GT(a, b) CHECK_GT(a, b)

#define NOTREACHED() CHECK(false)

#endif  // BASE_LOGGING_H_
