// Puts the start-up debugger hook among the C runtime's earliest start-up
// initialisers, which run before any static object of the program is
// constructed, so that a debugger can be attached before the program's own
// code does anything. Linked as an object into the executables that want
// the hook: nothing refers to this unit, so from a library it would be left
// out.

#include "base/debug_util.h"

namespace {

int RunStartupDebugHook() {
  return base::StartupDebugHook();
}

// The runtime calls each entry of this section in name order during
// start-up; a non-zero result stops the program.
__attribute__((section(".CRT$XIB"),
               used)) int (*kStartupDebugHook)() = &RunStartupDebugHook;

}  // namespace
