#include "base/command_line.h"

#include <cstddef>

#include "base/logging.h"
#include "base/string_util.h"

namespace base {
namespace {

// "--" stands before "-" so that it matches first.
const wchar_t* const kSwitchPrefixes[] = {L"--", L"-", L"/"};
const wchar_t kSwitchTerminator[] = L"--";
const wchar_t kSwitchValueSeparator[] = L"=";

std::wstring Trimmed(const std::wstring& text) {
  std::wstring out;
  TrimSpaces(text, TRIM_BOTH, &out);
  return out;
}

// Lower-cases an ASCII name. A name with other characters has no ASCII form:
// the caller treats such an argument as a loose value, or such a query as a
// miss, instead of failing the conversion's check.
bool LowercasedAsciiName(const std::wstring& name, std::string* ascii) {
  if (!IsStringASCII(name))
    return false;
  std::wstring lowered(name);
  for (wchar_t& c : lowered)
    c = ToLowerAsciiChar(c);
  *ascii = AsciiFromWide(lowered);
  return true;
}

// The ASCII form of a name appended by the caller; not lower-cased.
std::string AppendedSwitchName(const std::wstring& name) {
  return AsciiFromWide(name);
}

bool SplitSwitch(const std::wstring& argument,
                 std::string* switch_string,
                 std::wstring* switch_value) {
  switch_string->clear();
  switch_value->clear();
  for (const wchar_t* prefix : kSwitchPrefixes) {
    const std::wstring prefix_string(prefix);
    if (argument.compare(0, prefix_string.size(), prefix_string) != 0)
      continue;
    const size_t name_start = prefix_string.size();
    const size_t equals = argument.find(kSwitchValueSeparator, name_start);
    std::wstring switch_native;
    if (equals == std::wstring::npos) {
      switch_native = argument.substr(name_start);
    } else {
      switch_native = argument.substr(name_start, equals - name_start);
      *switch_value = argument.substr(equals + 1);
    }
    if (!LowercasedAsciiName(switch_native, switch_string)) {
      switch_value->clear();
      return false;
    }
    return true;
  }
  return false;
}

// Quotes `value` so that the platform's argument splitter gives it back
// whole: quotes inside are escaped, and backslashes are doubled where they
// stand before a quote (an inner one or the closing one).
std::wstring QuoteForArgumentSplitter(const std::wstring& value) {
  std::wstring quoted(L"\"");
  size_t backslashes = 0;
  for (const wchar_t c : value) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

// Whether a value must be quoted to come back whole from the splitter. A
// blank (or a tab, which separates arguments as well) would split it; a
// double quote would turn quoting on or off for the rest of the line, which
// lets one value swallow the switches after it or smuggle in switches of
// its own. A value with a blank and a quote at only one end is the caller's
// own half of a quoted text and is appended as written.
bool ValueNeedsQuotes(const std::wstring& value) {
  if (value.empty())
    return false;
  const bool has_blank = value.find_first_of(L" \t") != std::wstring::npos;
  const bool has_quote = value.find(L'"') != std::wstring::npos;
  const bool quote_at_one_end =
      (value.front() == L'"') != (value.back() == L'"');
  if (has_blank && quote_at_one_end)
    return false;
  return has_blank || has_quote;
}

}  // namespace

CommandLine* CommandLine::current_process_commandline_ = nullptr;

CommandLine::CommandLine() = default;

CommandLine::CommandLine(const std::wstring& program) {
  if (program.empty())
    return;
  program_path_ = program;
  text_ = L"\"" + program + L"\"";
}

// static
void CommandLine::Init(int /*argc*/, const char* const* /*argv*/) {
  CHECK_OR_RETURN(current_process_commandline_ == NULL, );
  current_process_commandline_ = new CommandLine();
  current_process_commandline_->ParseText(ProcessCommandLineText());
}

// static
void CommandLine::Terminate() {
  CHECK(current_process_commandline_ != NULL);
  delete current_process_commandline_;
  current_process_commandline_ = nullptr;
}

// static
const CommandLine* CommandLine::ProcessInstance() {
  CHECK(current_process_commandline_);
  return current_process_commandline_;
}

void CommandLine::ParseText(const std::wstring& text) {
  text_ = Trimmed(text);
  if (text_.empty())
    return;

  const std::vector<std::wstring> args = SplitCommandLineArguments(text_);
  if (args.empty())
    return;
  program_path_ = Trimmed(args[0]);

  bool parse_switches = true;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring arg = Trimmed(args[i]);
    std::string switch_string;
    std::wstring switch_value;
    if (!parse_switches) {
      plain_args_.push_back(arg);
    } else if (arg == kSwitchTerminator) {
      parse_switches = false;
    } else if (SplitSwitch(arg, &switch_string, &switch_value)) {
      switch_map_[switch_string] = switch_value;
    } else {
      plain_args_.push_back(arg);
    }
  }
}

bool CommandLine::HasSwitchNamed(const std::wstring& switch_name) const {
  std::string lowercased_switch;
  if (!LowercasedAsciiName(switch_name, &lowercased_switch))
    return false;
  return switch_map_.find(lowercased_switch) != switch_map_.end();
}

std::wstring CommandLine::SwitchValue(const std::wstring& switch_name) const {
  std::string lowercased_switch;
  if (!LowercasedAsciiName(switch_name, &lowercased_switch))
    return std::wstring();
  const auto found = switch_map_.find(lowercased_switch);
  return found == switch_map_.end() ? std::wstring() : found->second;
}

// static
std::wstring CommandLine::FormatSwitch(const std::wstring& switch_name) {
  return kSwitchPrefixes[0] + switch_name;
}

// static
std::wstring CommandLine::FormatSwitchWithValue(const std::wstring& switch_name,
                                                const std::wstring& value) {
  if (value.empty())
    return FormatSwitch(switch_name);
  return kSwitchPrefixes[0] + switch_name + kSwitchValueSeparator + value;
}

void CommandLine::AddSwitch(const std::wstring& switch_name) {
  const std::wstring prefixed_switch_string = FormatSwitch(switch_name);
  text_.append(L" ").append(prefixed_switch_string);
  switch_map_[AppendedSwitchName(switch_name)] = std::wstring();
}

void CommandLine::AddSwitchWithValue(const std::wstring& switch_name,
                                     const std::wstring& value) {
  const std::wstring value_string_edit =
      ValueNeedsQuotes(value) ? QuoteForArgumentSplitter(value) : value;
  const std::wstring combined_switch_string =
      FormatSwitchWithValue(switch_name, value_string_edit);
  text_.append(L" ").append(combined_switch_string);
  switch_map_[AppendedSwitchName(switch_name)] = value;
}

void CommandLine::AddPlainArgument(const std::wstring& value) {
  text_.append(L" ").append(value);
}

void CommandLine::AddArgumentsOf(const CommandLine& other,
                                 bool include_program) {
  CHECK(include_program ? !other.program().empty() : other.program().empty());
  text_.append(L" ").append(other.text_);
  for (const auto& entry : other.switch_map_)
    switch_map_[entry.first] = entry.second;
}

}  // namespace base
