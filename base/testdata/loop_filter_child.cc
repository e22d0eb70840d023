// Installs an unhandled-exception filter, then runs a message loop whose
// task installs a filter of its own and raises an exception that nothing
// handles. The exit code names the filter that saw it.
// Usage: loop_filter_child MODE
//
//   keep      the loop leaves the filters alone;
//   restore   the loop restores the filter of the start of its run;
//   nested    the outer run leaves the filters alone; a nested run, begun
//             after a second filter was installed, restores that one.

#include <windows.h>

#include <cstring>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "base/task.h"

namespace {

constexpr UINT kFirstFilterExit = 61;
constexpr UINT kTaskFilterExit = 62;
constexpr UINT kNestedFilterExit = 63;
constexpr int kNoException = 64;
constexpr int kBadArguments = 65;

LONG WINAPI FirstFilter(EXCEPTION_POINTERS* /*pointers*/) {
  ExitProcess(kFirstFilterExit);
}

LONG WINAPI TaskFilter(EXCEPTION_POINTERS* /*pointers*/) {
  ExitProcess(kTaskFilterExit);
}

LONG WINAPI NestedFilter(EXCEPTION_POINTERS* /*pointers*/) {
  ExitProcess(kNestedFilterExit);
}

class ReplaceFilterAndRaise : public base::Task {
 public:
  void Run() override {
    SetUnhandledExceptionFilter(&TaskFilter);
    RaiseException(0xE0000001, 0, 0, nullptr);
  }
};

// Installs the nested filter and runs the loop again, restoring filters,
// with the raising task queued.
class RunNested : public base::Task {
 public:
  void Run() override {
    SetUnhandledExceptionFilter(&NestedFilter);
    base::MessageLoop* const loop = base::MessageLoop::current();
    loop->QueueTask(CURRENT_LOCATION, new ReplaceFilterAndRaise);
    loop->set_restore_exception_filter(true);
    loop->SetNestableTasksAllowed(true);
    loop->RunUntilDrained();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2)
    return kBadArguments;
  const bool keep = std::strcmp(argv[1], "keep") == 0;
  const bool nested = std::strcmp(argv[1], "nested") == 0;
  if (!keep && !nested && std::strcmp(argv[1], "restore") != 0)
    return kBadArguments;

  base::AtExitManager exit_manager;
  SetUnhandledExceptionFilter(&FirstFilter);
  base::MessageLoop loop;
  loop.set_restore_exception_filter(!keep && !nested);
  if (nested) {
    loop.QueueTask(CURRENT_LOCATION, new RunNested);
  } else {
    loop.QueueTask(CURRENT_LOCATION, new ReplaceFilterAndRaise);
  }
  loop.RunUntilDrained();
  return kNoException;
}
