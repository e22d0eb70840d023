#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <map>
#include <string>
#include <vector>

namespace base {

// A parsed command line: the program, switches with optional values, and
// loose arguments.
//
// Switches start with "--", "-" or "/" (tried in that order) and carry an
// optional value after "="; an argument "--" ends switch parsing. Switch
// names are matched ignoring the case of ASCII letters and stored as ASCII;
// an argument whose switch name is not ASCII is kept as a loose value.
// Values and loose arguments keep their text untouched.
//
// One instance describes the current process: `Init` creates it from the
// process's full command line on the main thread at start-up, and any thread
// reads it through `ProcessInstance`. Other instances are plain values that
// compose a child's command line.
class CommandLine {
 public:
  // An empty line.
  CommandLine();
  // A line for `program`, written quoted; empty when `program` is empty.
  explicit CommandLine(const std::wstring& program);

  // Creates the process's instance from the process command line. The
  // arguments are accepted and ignored.
  static void Init(int argc, const char* const* argv);
  // Deletes the process's instance.
  static void Terminate();
  // The process's instance; `Init` must have run.
  static const CommandLine* ProcessInstance();

  // Parses `text` into this line, which is expected to be empty.
  void ParseText(const std::wstring& text);

  bool HasSwitchNamed(const std::wstring& switch_name) const;
  // The switch's value; empty when the switch is absent or has no value.
  std::wstring SwitchValue(const std::wstring& switch_name) const;

  const std::wstring& text() const { return text_; }
  std::wstring program() const { return program_path_; }
  std::vector<std::wstring> loose_values() const { return plain_args_; }

  // "--" + name.
  static std::wstring FormatSwitch(const std::wstring& switch_name);
  // "--" + name + "=" + value, or FormatSwitch when the value is empty.
  static std::wstring FormatSwitchWithValue(const std::wstring& switch_name,
                                            const std::wstring& value);

  // Appends a switch to the text. The name is stored as given (not
  // lower-cased); it must be ASCII, which a check enforces.
  void AddSwitch(const std::wstring& switch_name);
  // Appends a switch with a value. A value that holds a blank, a tab or a
  // double quote is quoted, its quotes and the backslashes before them
  // escaped, so that the child's parser gives it back whole and no value can
  // end or start the quoting of the arguments after it. The one exception
  // is a value with a blank and a quote at only one end, taken as the
  // caller's own quoting and appended unchanged: it quotes the rest of the
  // line, so such values must come from a trusted source.
  void AddSwitchWithValue(const std::wstring& switch_name,
                          const std::wstring& value);
  // Appends `value` to the text, unquoted.
  void AddPlainArgument(const std::wstring& value);
  // Appends the whole text of `other` and copies its switches.
  // `include_program` must say whether `other` has a program.
  void AddArgumentsOf(const CommandLine& other, bool include_program);

 private:
  // The whole line as text: the trimmed input of a parsed line; for a
  // composed line the quoted program followed by everything appended.
  std::wstring text_;
  std::wstring program_path_;
  // Switch name (without prefix) to value; empty for a switch without one.
  std::map<std::string, std::wstring> switch_map_;
  std::vector<std::wstring> plain_args_;

  // The process's instance; owned here, created by Init.
  static CommandLine* current_process_commandline_;
};

// Splits `text` by the platform's argument rules (on Windows those of
// CommandLineToArgvW). A text the platform cannot split gives no arguments.
std::vector<std::wstring> SplitCommandLineArguments(const std::wstring& text);

// The command line the process was started with.
std::wstring ProcessCommandLineText();

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
