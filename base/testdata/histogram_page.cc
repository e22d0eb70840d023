// Writes the "About Histograms" page to the file named by its argument, for
// a query and histogram names that carry a script and the characters HTML
// gives a meaning. tools/check_html_page.sh shows the page in a browser:
// the script must appear as text and never run.

#include <cstdio>
#include <string>

#include "base/histogram.h"

namespace {

// Closes the title, then paints the whole page red if it ever runs.
const char kQuery[] =
    "</title><script>document.documentElement.style.background='rgb(255,0,0)';"
    "</script>";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: histogram_page OUTPUT.html\n");
    return 2;
  }
  base::HistogramRegistry registry;
  const std::string name = std::string("Page.Names & \"quotes\" ") + kQuery;
  base::Histogram exponential(name.c_str(), 1, 1000, 12);
  for (int value = 1; value < 1000; value = value * 3 / 2 + 1)
    exponential.Add(value);
  const std::string linear_name = std::string("Page.Labels ") + kQuery;
  base::LinearHistogram linear(linear_name.c_str(), 1, 10, 11);
  const base::LinearHistogram::BucketLabel kLabels[] = {
      {1, "<b>first</b>"}, {2, "second & third"}, {-1, nullptr}};
  linear.SetBucketLabels(kLabels);
  for (const int value : {1, 1, 2, 5, 9})
    linear.Add(value);
  // Not listed: its name lacks the query.
  base::Histogram unlisted("Page.Unlisted", 1, 100, 10);
  unlisted.Add(1);

  std::string page;
  base::HistogramRegistry::WriteHtmlPage(kQuery, &page);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  const bool written =
      std::fwrite(page.data(), 1, page.size(), file) == page.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
