// "debug_message.exe": shows the message of a fatal error that a program of
// this system reports. The failing program starts it with the message as
// its whole command line and waits until it ends.
//
// Started with a standard error handle (from a console, or with its output
// collected), it writes the message there, so that a failure on a machine
// without a desktop leaves its text in the output instead of a dialog that
// nobody can dismiss. Otherwise it shows the message in a message box.

#include <windows.h>

#include <string>

#include "base/codepage_conversions.h"
#include "base/fault_safe_writer.h"

int WINAPI wWinMain(HINSTANCE /*instance*/,
                    HINSTANCE /*previous_instance*/,
                    wchar_t* /*command_line*/,
                    int /*show_command*/) {
  // The whole command line is the message; there is no program name in it.
  const wchar_t* const message = GetCommandLineW();
  const std::string text = base::WideToUtf8(message) + "\r\n";
  if (!base::WriteToStandardError(text.data(), text.size())) {
    MessageBoxW(nullptr, message, L"Fatal error",
                MB_OK | MB_ICONHAND | MB_TOPMOST);
  }
  return 0;
}
