// "debug_message.exe": shows the message of a fatal error that a program of
// this system reports. The program that fails starts it with the message as
// its whole command line and waits until it ends. This one writes the
// message to standard error, so that a failure on a machine without a
// desktop leaves its text in the output instead of a dialog nobody can
// dismiss.

#include <windows.h>

#include <string>

#include "base/codepage_conversions.h"

int wmain() {
  const std::string message = base::WideToUtf8(GetCommandLineW()) + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message.data(),
            static_cast<DWORD>(message.size()), &written, nullptr);
  return 0;
}
