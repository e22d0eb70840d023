// Writes the "About Objects" page to the file named by its argument, for a
// query, a thread name and a birth place that carry a script and the
// characters HTML gives a meaning. tools/check_html_page.sh shows the page
// in a browser: the script must appear as text and never run.

#include <cstdio>
#include <string>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "base/task.h"
#include "base/tracked_objects.h"

namespace {

// Paints the whole page red if it ever runs.
const char kScript[] =
    "<script>document.documentElement.style.background='rgb(255,0,0)';"
    "</script>";

// The query closes the title and opens the script, encoded as a query
// arrives; its phrases are no keywords, so every object is listed.
const char kQuery[] =
    "%3C/title%3E%3Cscript%3Edocument.documentElement.style.background="
    "'rgb(255,0,0)';%3C/script%3E";

// A birth place's names are literals that live as long as the program.
const char kFile[] =
    "page/<script>document.documentElement.style.background="
    "'rgb(255,0,0)';</script>.cc";
const char kFunction[] = "Page<\"quoted\" & more>::Run";

class NoopTask : public base::Task {
 public:
  void Run() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: objects_page OUTPUT.html\n");
    return 2;
  }
  base::AtExitManager exit_manager;
  tracked_objects::ThreadData::SetTrackingEnabled(true);
  base::MessageLoop loop;
  loop.set_loop_thread_name(std::string("Main & \"quoted\" ") + kScript);
  // Three that ran and died, and two still waiting: alive.
  for (int i = 0; i < 3; ++i) {
    loop.QueueTask(tracked_objects::Location(kFunction, kFile, 10),
                   new NoopTask);
  }
  loop.RunUntilDrained();
  for (int i = 0; i < 2; ++i) {
    loop.QueueDelayedTask(tracked_objects::Location(kFunction, kFile, 20),
                          new NoopTask, 60000);
  }

  std::string page;
  tracked_objects::ThreadData::WriteHtmlReport(kQuery, &page);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  const bool written =
      std::fwrite(page.data(), 1, page.size(), file) == page.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
