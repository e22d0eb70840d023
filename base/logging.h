#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <cstddef>
#include <memory>
#include <sstream>
#include <string>

// Messages and checked assertions.
//
// A `LogRecord` collects one message through `stream()` and emits it when it
// goes out of scope: one line, "[" + the selected prefix items + severity +
// ":" + source file name + "(" + line + ")] " + text + CR LF, written to the
// log file (by default "debug.log" beside the executable, opened on the first
// message), to the debugger output when asked, and, from LOG_ERROR up, to
// standard error. Processes that log to the same file share a named mutex,
// so their lines never interleave.
//
// Every checked assertion (`CHECK`, `CHECK_EQ`, ...) is a fatal message whose
// text begins "Check failed: "; all of them are evaluated in every build.
// The fatal path breaks into an attached debugger, or calls the handler
// installed with `SetFatalHandler` and returns, or shows the message
// (`ShowFatalMessage`) and raises a breakpoint exception that ends the
// process.
//
// Any thread may log. The settings below are plain process-wide values: set
// them at start-up, before other threads log. The file, the locks that
// guard it and the mutex are each created once, on first need, whichever
// thread gets there first.

namespace base {

using LogLevel = int;
inline constexpr LogLevel LOG_INFO = 0;
inline constexpr LogLevel LOG_WARNING = 1;
inline constexpr LogLevel LOG_ERROR = 2;
inline constexpr LogLevel LOG_ERROR_REPORT = 3;
inline constexpr LogLevel LOG_FATAL = 4;

enum LogTarget {
  LOG_TO_NOWHERE = 0,
  LOG_TO_FILE = 1,
  LOG_TO_DEBUGGER = 2,
  LOG_TO_FILE_AND_DEBUGGER = 3,
};

enum LogLockMode {
  // A named mutex shared by every process that logs to the same file.
  LOG_LOCK_SYSTEM_MUTEX = 0,
  // A lock within this process only.
  LOG_LOCK_IN_PROCESS = 1,
};

enum ExistingLogPolicy {
  ERASE_EXISTING_LOG = 0,
  KEEP_EXISTING_LOG = 1,
};

// Receives the whole text of a message, without its line end.
using LogHandlerFunction = void (*)(const std::string& message);

// Closes the current log file and logs to `file_name` from now on (unless
// `target` leaves the file out). With ERASE_EXISTING_LOG the file starts
// empty.
void ConfigureLogging(const wchar_t* file_name,
                      LogTarget target,
                      LogLockMode lock_mode,
                      ExistingLogPolicy existing_log);

// Messages below `level` are dropped without a trace.
void SetMinimumLogLevel(int level);
int MinimumLogLevel();

// Drops INFO and WARNING messages whose text does not begin with `prefix`
// (a copy is kept); null shows every message again.
void SetLogPrefixFilter(const char* prefix);

// Which optional items the line prefix carries. By default only the time
// stamp.
void SelectLogPrefixItems(bool process_id,
                          bool thread_id,
                          bool time_stamp,
                          bool tick_count);

// Installs `handler` (or removes it, given null) for fatal messages: with a
// handler installed a failed check reports to it and the program goes on.
void SetFatalHandler(LogHandlerFunction handler);
// Installs the handler of LOG_ERROR_REPORT messages; without one they are
// shown like fatal messages, and the program goes on.
void SetErrorReportHandler(LogHandlerFunction handler);

// Closes the log file; the next message opens it again.
void ReleaseLogFile();

// Shows `text` to the user: through "debug_message.exe" beside the
// executable when there is one (the text is its whole command line), else in
// a message box. Returns once the report is dismissed.
void ShowFatalMessage(const std::string& text);

// The name of the mutex that guards `log_file`: "Global\" + the path with
// every backslash turned into a slash.
std::wstring LogMutexName(const std::wstring& log_file);

// The values a line prefix may show, gathered when a message is made.
struct LogPrefixValues {
  unsigned long process_id = 0;
  unsigned long thread_id = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  unsigned long tick_count = 0;
};

// The line prefix for a message of `severity` from `file`:`line`, with the
// items selected by SelectLogPrefixItems. Only a backslash separates the
// file name from its folders.
std::string FormatLogPrefix(const LogPrefixValues& values,
                            LogLevel severity,
                            const char* file,
                            int line);

// The stream a message is written to: a narrow string stream that writes
// wide strings as UTF-8. Its operators are members and return the stream
// itself, so every operand of a chain finds them, from any namespace, also
// where a namespace's own operator<< would hide a global one.
class LogStream : public std::ostringstream {
 public:
  LogStream& operator<<(const wchar_t* wide);
  LogStream& operator<<(const std::wstring& wide);
  // Manipulators such as std::hex.
  LogStream& operator<<(std::ostream& (*manipulator)(std::ostream&));
  LogStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&));
  template <typename T>
  LogStream& operator<<(const T& value) {
    static_cast<std::ostream&>(*this) << value;
    return *this;
  }
};

// One message: the line prefix is written at construction, the text is
// streamed by the caller, and the destructor emits the line. Saves the
// thread's last-error code and restores it when done, so logging never
// changes what the caller is about to read.
class LogRecord {
 public:
  LogRecord(const char* file, int line);
  LogRecord(const char* file, int line, LogLevel severity);
  // `counter` is accepted for callers that count their messages.
  LogRecord(const char* file, int line, LogLevel severity, int counter);
  // Fatal message of a two-operand check: "Check failed: " + `result`.
  LogRecord(const char* file, int line, const std::string& result);
  LogRecord(const char* file,
            int line,
            LogLevel severity,
            const std::string& result);
  LogRecord(const LogRecord&) = delete;
  LogRecord& operator=(const LogRecord&) = delete;
  ~LogRecord();

  LogStream& stream() { return stream_; }

 private:
  void Init(const char* file, int line);
  void Emit();

  LogLevel severity_;
  LogStream stream_;
  size_t message_start_ = 0;  // Length of the line prefix.
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
  LogStream text;
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

#define LOG(severity) \
  ::base::LogRecord(__FILE__, __LINE__, ::base::LOG_##severity).stream()

#define CHECK(condition)                                                      \
  (condition)                                                                 \
      ? (void)0                                                               \
      : ::base::LogVoidify() &                                                \
            ::base::LogRecord(__FILE__, __LINE__, ::base::LOG_FATAL).stream() \
                << "Check failed: " #condition ". "

// For checks that must not go on when a fatal handler lets the program
// continue: reports exactly what CHECK(condition) would, with any further
// arguments streamed after it ("text" << value), and then returns `value`
// (left empty in a function returning void) from the enclosing function.
#define CHECK_OR_RETURN(condition, value, ...)                            \
  do {                                                                    \
    if (!(condition)) {                                                   \
      ::base::LogRecord(__FILE__, __LINE__, ::base::LOG_FATAL).stream()   \
          << "Check failed: " #condition ". " __VA_OPT__(<< __VA_ARGS__); \
      return value;                                                       \
    }                                                                     \
  } while (false)

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
