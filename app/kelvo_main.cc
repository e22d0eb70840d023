#include <windows.h>

#include "app/launcher.h"

int WINAPI wWinMain(HINSTANCE instance,
                    HINSTANCE /*previous_instance*/,
                    wchar_t* command_line,
                    int /*show_command*/) {
  return app::RunLaunchSequence(instance, command_line);
}
