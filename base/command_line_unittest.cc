#include "base/command_line.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

using Strings = std::vector<std::wstring>;

CommandLine Parsed(const std::wstring& text) {
  CommandLine line;
  line.ParseText(text);
  return line;
}

TEST(CommandLineTest, ParsesProgramSwitchesAndLooseValues) {
  const CommandLine line =
      Parsed(L"  prog.exe  --Foo=Bar  -x  /Y  --  --z  loose ");
  EXPECT_EQ(line.text(), L"prog.exe  --Foo=Bar  -x  /Y  --  --z  loose");
  EXPECT_EQ(line.program(), L"prog.exe");
  EXPECT_TRUE(line.HasSwitchNamed(L"foo"));
  EXPECT_EQ(line.SwitchValue(L"foo"), L"Bar");
  EXPECT_TRUE(line.HasSwitchNamed(L"x"));
  EXPECT_EQ(line.SwitchValue(L"x"), L"");
  EXPECT_TRUE(line.HasSwitchNamed(L"y"));
  EXPECT_EQ(line.SwitchValue(L"y"), L"");
  // Everything after the terminator is loose, whatever it looks like.
  EXPECT_FALSE(line.HasSwitchNamed(L"z"));
  EXPECT_EQ(line.loose_values(), (Strings{L"--z", L"loose"}));
}

TEST(CommandLineTest, BlankLineHasNothing) {
  for (const wchar_t* text : {L"", L"  \t ", L"\x3000"}) {
    const CommandLine line = Parsed(text);
    EXPECT_EQ(line.text(), L"") << "text: '" << text << "'";
    EXPECT_EQ(line.program(), L"") << "text: '" << text << "'";
    EXPECT_TRUE(line.loose_values().empty()) << "text: '" << text << "'";
    EXPECT_FALSE(line.HasSwitchNamed(L"")) << "text: '" << text << "'";
  }
}

TEST(CommandLineTest, RecognisesSwitchesByTheirPrefix) {
  struct Case {
    const wchar_t* argument;
    // The name to look up; for an argument that is no switch, a name that
    // must not have been recorded.
    const wchar_t* name;
    bool is_switch;
    const wchar_t* value;
    Strings loose;
  };
  const Case kCases[] = {
      {L"--a=b=c", L"a", true, L"b=c", {}},
      {L"-", L"", true, L"", {}},
      {L"/", L"", true, L"", {}},
      {L"--", L"", false, L"", {}},
      {L"---x", L"-x", true, L"", {}},
      {L"/K=", L"k", true, L"", {}},
      {L"--=v", L"", true, L"v", {}},
      {L"\"--quoted=a b\"", L"quoted", true, L"a b", {}},
      {L"--name=J\x00F6rg", L"name", true, L"J\x00F6rg", {}},
      {L"plain", L"plain", false, L"", {L"plain"}},
      {L"a-b", L"b", false, L"", {L"a-b"}},
      // A name that is not ASCII makes the argument a loose value.
      {L"--\x00E9", L"\x00E9", false, L"", {L"--\x00E9"}},
      {L"/J\x00F6rg", L"J\x00F6rg", false, L"", {L"/J\x00F6rg"}},
      {L"-\x00F1=1", L"\x00F1", false, L"", {L"-\x00F1=1"}},
  };
  for (const Case& c : kCases) {
    const CommandLine line = Parsed(std::wstring(L"prog.exe ") + c.argument);
    EXPECT_EQ(line.program(), L"prog.exe") << "argument: " << c.argument;
    EXPECT_EQ(line.HasSwitchNamed(c.name), c.is_switch)
        << "argument: " << c.argument;
    EXPECT_EQ(line.SwitchValue(c.name), c.value) << "argument: " << c.argument;
    EXPECT_EQ(line.loose_values(), c.loose) << "argument: " << c.argument;
  }
}

TEST(CommandLineTest, LookupIgnoresCaseAndRepeatedSwitchKeepsLastValue) {
  const CommandLine line = Parsed(L"prog.exe --foo=1 --FOO=2 /Foo=Three");
  EXPECT_TRUE(line.HasSwitchNamed(L"FOO"));
  EXPECT_EQ(line.SwitchValue(L"FOO"), L"Three");
  EXPECT_EQ(line.SwitchValue(L"fOo"), L"Three");
  EXPECT_TRUE(line.loose_values().empty());
}

TEST(CommandLineTest, ComposedLineStartsWithQuotedProgram) {
  CommandLine line(L"prog.exe");
  EXPECT_EQ(line.text(), L"\"prog.exe\"");
  EXPECT_EQ(line.program(), L"prog.exe");

  // Appended names keep their capitals; queries are lower-cased.
  line.AddSwitch(L"Mixed");
  line.AddSwitch(L"lower");
  line.AddPlainArgument(L"a b");
  EXPECT_EQ(line.text(), L"\"prog.exe\" --Mixed --lower a b");
  EXPECT_FALSE(line.HasSwitchNamed(L"Mixed"));
  EXPECT_TRUE(line.HasSwitchNamed(L"lower"));
  EXPECT_TRUE(line.loose_values().empty());
}

TEST(CommandLineTest, LineWithoutProgramStartsWithBlank) {
  CommandLine line(L"");
  EXPECT_EQ(line.text(), L"");
  EXPECT_EQ(line.program(), L"");
  line.AddSwitch(L"x");
  EXPECT_EQ(line.text(), L" --x");
  EXPECT_TRUE(line.HasSwitchNamed(L"x"));
}

TEST(CommandLineTest, SwitchWithValueIsQuotedWhenItHoldsBlanksOrQuotes) {
  struct Case {
    std::wstring value;
    std::wstring text;
  };
  const Case kCases[] = {
      {L"plain", L" --data=plain"},
      {L"", L" --data"},
      {L"C:\\My Dir", L" --data=\"C:\\My Dir\""},
      {L"a\tb", L" --data=\"a\tb\""},
      // A blank and a quote at only one end: the caller's own quoting.
      {L"\"C:\\My Dir", L" --data=\"C:\\My Dir"},
      {L"C:\\My Dir\"", L" --data=C:\\My Dir\""},
      // Inside added quotes, a quote and the backslashes before it, and the
      // backslashes before the closing quote, are escaped.
      {L"C:\\My Dir\\", L" --data=\"C:\\My Dir\\\\\""},
      {L"a\" --type=x \"b", L" --data=\"a\\\" --type=x \\\"b\""},
      {L"a\\\" b", L" --data=\"a\\\\\\\" b\""},
      {L"C:\\a b\\c", L" --data=\"C:\\a b\\c\""},
      // Any other quote is escaped inside added quotes, with or without
      // blanks, wherever it stands.
      {L"a\"b", L" --data=\"a\\\"b\""},
      {L"\"quoted\"", L" --data=\"\\\"quoted\\\"\""},
      {L"\"x --type=evil y\"", L" --data=\"\\\"x --type=evil y\\\"\""},
      {L"open\"", L" --data=\"open\\\"\""},
      {L"dir\\\"", L" --data=\"dir\\\\\\\"\""},
      {L"\"", L" --data=\"\\\"\""},
      // Backslashes not before a quote stay as they are.
      {L"C:\\dir\\", L" --data=C:\\dir\\"},
  };
  for (const Case& c : kCases) {
    CommandLine line(L"");
    line.AddSwitchWithValue(L"data", c.value);
    EXPECT_EQ(line.text(), c.text) << "value: " << c.value;
    EXPECT_TRUE(line.HasSwitchNamed(L"data")) << "value: " << c.value;
    EXPECT_EQ(line.SwitchValue(L"data"), c.value) << "value: " << c.value;
  }
}

// A composed value comes back whole from the platform's splitter and from
// our parser, and the switch after it survives.
TEST(CommandLineTest, SwitchValueSurvivesSplittingAndParsing) {
  const std::wstring kProgram = L"C:\\Program Files\\child.exe";
  const std::wstring kValues[] = {
      // Blanks.
      L"C:\\My Dir",
      L"C:\\My Dir\\",
      L"\\\\server\\share name\\\\",
      L"a\tb",
      L" leading blank",
      // Inner quotes, with and without blanks.
      L"a\"b",
      L"a\"\"b",
      L"a\" --type=x \"b",
      L"say \"hi\" now",
      // Quotes at both ends, with and without blanks.
      L"\"quoted\"",
      L"\"x --type=evil y\"",
      L"\"\"",
      L"\"",
      // A quote at one end and no blank.
      L"\"open",
      L"close\"",
      // Backslashes before a quote: inner, trailing, alone.
      L"a\\\" b",
      L"a\\\\\"\" b",
      L"a\\\\\"b",
      L"dir\\\"",
      L"dir\\\\\"",
      L"\\\"",
      L"C:\\dir\\",
  };
  for (const std::wstring& value : kValues) {
    CommandLine composed(kProgram);
    composed.AddSwitchWithValue(L"data", value);
    composed.AddSwitch(L"last");

    EXPECT_EQ(SplitCommandLineArguments(composed.text()),
              (Strings{kProgram, L"--data=" + value, L"--last"}))
        << "text: " << composed.text();

    const CommandLine parsed = Parsed(composed.text());
    EXPECT_EQ(parsed.program(), kProgram) << "text: " << composed.text();
    EXPECT_EQ(parsed.SwitchValue(L"data"), value)
        << "text: " << composed.text();
    EXPECT_TRUE(parsed.HasSwitchNamed(L"last")) << "text: " << composed.text();
    EXPECT_FALSE(parsed.HasSwitchNamed(L"type")) << "text: " << composed.text();
    EXPECT_TRUE(parsed.loose_values().empty()) << "text: " << composed.text();
  }
}

// Two values from one untrusted source cannot together end the quoting of
// one and start a switch of their own.
TEST(CommandLineTest, ValuesCannotInjectASwitch) {
  const std::wstring kFirst = L"a\"b";
  const std::wstring kSecond = L"\"x --type=evil y\"";
  CommandLine composed(L"child.exe");
  composed.AddSwitchWithValue(L"v", kFirst);
  composed.AddSwitchWithValue(L"w", kSecond);

  EXPECT_EQ(SplitCommandLineArguments(composed.text()),
            (Strings{L"child.exe", L"--v=" + kFirst, L"--w=" + kSecond}));
  const CommandLine parsed = Parsed(composed.text());
  EXPECT_FALSE(parsed.HasSwitchNamed(L"type")) << composed.text();
  EXPECT_EQ(parsed.SwitchValue(L"v"), kFirst);
  EXPECT_EQ(parsed.SwitchValue(L"w"), kSecond);
  EXPECT_TRUE(parsed.loose_values().empty());
}

TEST(CommandLineTest, AddArgumentsOfAppendsTextAndCopiesSwitches) {
  CommandLine child(L"child.exe");
  child.AddSwitchWithValue(L"mode", L"fast");
  child.AddSwitch(L"quiet");
  child.AddPlainArgument(L"file.txt");

  CommandLine line(L"prog.exe");
  line.AddSwitchWithValue(L"mode", L"slow");
  line.AddSwitchWithValue(L"keep", L"1");
  line.AddArgumentsOf(child, true);

  EXPECT_EQ(line.text(),
            L"\"prog.exe\" --mode=slow --keep=1 \"child.exe\" --mode=fast "
            L"--quiet file.txt");
  EXPECT_EQ(line.program(), L"prog.exe");
  EXPECT_EQ(line.SwitchValue(L"mode"), L"fast");
  EXPECT_EQ(line.SwitchValue(L"keep"), L"1");
  EXPECT_TRUE(line.HasSwitchNamed(L"quiet"));
  EXPECT_TRUE(line.loose_values().empty());

  CommandLine switches_only;
  switches_only.AddSwitch(L"x");
  CommandLine other(L"prog.exe");
  other.AddArgumentsOf(switches_only, false);
  EXPECT_EQ(other.text(), L"\"prog.exe\"  --x");
  EXPECT_TRUE(other.HasSwitchNamed(L"x"));
}

TEST(CommandLineTest, AddArgumentsOfChecksTheProgramFlag) {
  const char kFailure[] =
      "Check failed: include_program ? !other.program().empty() : "
      "other.program().empty(). ";
  struct Case {
    const wchar_t* other_program;
    bool include_program;
    bool fails;
  };
  const Case kCases[] = {
      {L"child.exe", true, false},
      {L"", false, false},
      {L"child.exe", false, true},
      {L"", true, true},
  };
  for (const Case& c : kCases) {
    test_support::ScopedCheckRecorder recorder;
    CommandLine line(L"prog.exe");
    line.AddArgumentsOf(CommandLine(c.other_program), c.include_program);
    const std::vector<std::string> expected =
        c.fails ? std::vector<std::string>{kFailure}
                : std::vector<std::string>{};
    EXPECT_EQ(recorder.messages(), expected)
        << "program: '" << c.other_program
        << "' include_program: " << c.include_program;
  }
}

// The test process starts without an instance: nothing here calls Init
// before this test, and it leaves none behind.
TEST(CommandLineTest, ProcessInstanceLivesFromInitToTerminate) {
  {
    test_support::ScopedCheckRecorder recorder;
    EXPECT_EQ(CommandLine::ProcessInstance(), nullptr);
    CommandLine::Terminate();
    const std::vector<std::string> expected = {
        "Check failed: current_process_commandline_. ",
        "Check failed: current_process_commandline_ != NULL. ",
    };
    EXPECT_EQ(recorder.messages(), expected);
  }

  CommandLine::Init(0, nullptr);
  const CommandLine* instance = CommandLine::ProcessInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->text(), Parsed(ProcessCommandLineText()).text());
  EXPECT_NE(instance->program().find(L"base_core_unittests"),
            std::wstring::npos)
      << "program: " << instance->program();

  {
    test_support::ScopedCheckRecorder recorder;
    CommandLine::Init(0, nullptr);
    EXPECT_EQ(recorder.messages(),
              std::vector<std::string>{
                  "Check failed: current_process_commandline_ == NULL. "});
    // The first instance stays in place.
    EXPECT_EQ(CommandLine::ProcessInstance(), instance);
  }

  CommandLine::Terminate();
  {
    test_support::ScopedCheckRecorder recorder;
    EXPECT_EQ(CommandLine::ProcessInstance(), nullptr);
    EXPECT_EQ(recorder.messages().size(), 1u);
  }
}

}  // namespace
}  // namespace base
