#include "base/tracking_report.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/message_loop.h"
#include "base/time.h"
#include "base/tracked_objects.h"
#include "gtest/gtest.h"

namespace tracked_objects {
namespace {

using base::MessageLoop;
using base::TimeDelta;

const Location kAlpha("Alpha::Run", "base/foo.cc", 10);
const Location kBeta("Beta::Run", "base/foo.cc", 20);
const Location kGamma("Gamma::Run", "base/bar.cc", 5);

class TrackingReportTest : public testing::Test {
 protected:
  void TearDown() override {
    main_loop_.reset();
    if (ThreadData::status() != ThreadData::UNINITIALIZED)
      ThreadData::ResetTrackingData();
  }

  // Starts tracking with this thread's loop named `main_name`.
  ThreadData* StartWithMainLoop(const std::string& main_name) {
    ThreadData::SetTrackingEnabled(true);
    main_loop_ = std::make_unique<MessageLoop>();
    main_loop_->set_loop_thread_name(main_name);
    return ThreadData::current();
  }

  // Fixed data on two threads, "main" (this one) and "worker" (ended):
  //   Alpha: 3 born on main, 2 of them died on worker after 1.5 and 2.5 ms;
  //   Beta:  1 born on main, died on main after 7 ms;
  //   Gamma: 2 born on worker, alive.
  void MakeFixedData() {
    ThreadData* const main = StartWithMainLoop("main");
    Births* const alpha = main->BirthRecordFor(kAlpha);
    for (int i = 0; i < 3; ++i)
      alpha->CountBirth();
    Births* const beta = main->BirthRecordFor(kBeta);
    beta->CountBirth();
    main->CountDeath(*beta, TimeDelta::FromMilliseconds(7));
    std::thread([alpha] {
      MessageLoop loop;
      loop.set_loop_thread_name("worker");
      ThreadData* const worker = ThreadData::current();
      worker->CountDeath(*alpha, TimeDelta::FromMicroseconds(1500));
      worker->CountDeath(*alpha, TimeDelta::FromMicroseconds(2500));
      Births* const gamma = worker->BirthRecordFor(kGamma);
      gamma->CountBirth();
      gamma->CountBirth();
    }).join();
  }

  static std::string Page(const std::string& query) {
    std::string page;
    ThreadData::WriteHtmlReport(query, &page);
    return page;
  }

  // What the page shows between its frame's "<pre>" and "</pre>".
  static std::string Body(const std::string& page) {
    const size_t start = page.find("<pre>");
    const size_t end = page.rfind("</pre>");
    if (start == std::string::npos || end == std::string::npos || end < start)
      return "(no frame) " + page;
    return page.substr(start + 5, end - start - 5);
  }

  base::AtExitManager exit_manager_;
  std::unique_ptr<MessageLoop> main_loop_;
};

TEST(DecodeQueryTextTest, DecodesAngleBracketsAndBlanksOnly) {
  struct Case {
    const char* query;
    const char* decoded;
  };
  const Case kCases[] = {
      {"", ""},
      {"%3C%3c%3E%3e", "<<>>"},
      {"a%20b", "a b"},
      {"%41%2f%2F", "%41%2f%2F"},
      {"%%3c", "%<"},
      {"%203c", " 3c"},
      // Fewer than two characters after the sign.
      {"x%3", "x%3"},
      {"%2", "%2"},
      {"%3C/title%3E", "</title>"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(DecodeQueryText(c.query), c.decoded) << c.query;
}

TEST_F(TrackingReportTest, QueriesFilterGroupAndOrderTheFixedData) {
  MakeFixedData();
  const std::string kAllTotals =
      "3 Locations. 2 Files. 2 BirthingThreads. 3 DeathThreads. "
      "(6)Lives 1ms/life ";
  const std::string kAlphaOnWorker =
      "(2)Lives 2ms/life main->worker base/foo.cc[10] Alpha::Run <br>";
  const std::string kGammaAlive =
      "(2)Lives 0ms/life worker->Still_Alive base/bar.cc[5] Gamma::Run <br>";
  const std::string kBetaOnMain =
      "(1)Life in 7ms main->main base/foo.cc[20] Beta::Run <br>";
  // Three born, two dead: one alive.
  const std::string kAlphaAlive =
      "(1)Life in 0ms main->Still_Alive base/foo.cc[10] Alpha::Run <br>";

  struct Case {
    const char* query;
    const char* title;
    std::string body;
  };
  const Case kCases[] = {
      // One group with an empty header; by count, then mean life, ...
      {"", "About Objects",
       "Aggregate Stats: " + kAllTotals + "<hr><hr><br><br>" + kAlphaOnWorker +
           kGammaAlive + kBetaOnMain + kAlphaAlive + "<br>" + kAllTotals +
           "<br><hr><br>"},
      // Only foo, grouped by file and then count; lines leave the file out.
      {"file=foo/count", "About Objects - file=foo/count",
       "Aggregate Stats: 2 Locations. All born in base/foo.cc. All born on "
       "main. 3 DeathThreads. (4)Lives 2ms/life <hr><hr>"
       "All born in base/foo.cc <br><br>"
       "(2)Lives 2ms/life main->worker line[10] Alpha::Run <br>"
       "<br>base/foo.cc[10] Alpha::Run All born on main. All deleted on "
       "worker. (2)Lives 2ms/life <br><hr><br>"
       "All born in base/foo.cc <br><br>"
       "(1)Life in 7ms main->main line[20] Beta::Run <br>"
       "(1)Life in 0ms main->Still_Alive line[10] Alpha::Run <br>"
       "<br>2 Locations. All born in base/foo.cc. All born on main. 2 "
       "DeathThreads. (2)Lives 3ms/life <br><hr><br>"},
      // The line orders but never splits a group.
      {"line", "About Objects - line",
       "Aggregate Stats: " + kAllTotals + "<hr><hr><br><br>" + kGammaAlive +
           kAlphaOnWorker + kAlphaAlive + kBetaOnMain + "<br>" + kAllTotals +
           "<br><hr><br>"},
      {"birth", "About Objects - birth",
       "Aggregate Stats: " + kAllTotals +
           "<hr><hr>"
           "All new on main <br><br>"
           "(2)Lives 2ms/life *->worker base/foo.cc[10] Alpha::Run <br>"
           "(1)Life in 7ms *->main base/foo.cc[20] Beta::Run <br>"
           "(1)Life in 0ms *->Still_Alive base/foo.cc[10] Alpha::Run <br>"
           "<br>2 Locations. All born in base/foo.cc. All born on main. 3 "
           "DeathThreads. (4)Lives 2ms/life <br><hr><br>"
           "All new on worker <br><br>"
           "(2)Lives 0ms/life *->Still_Alive base/bar.cc[5] Gamma::Run <br>"
           "<br>base/bar.cc[5] Gamma::Run All born on worker. All these "
           "objects "
           "are still alive.(2)Lives 0ms/life <br><hr><br>"},
      // Both threads in the header: the lines name neither; still alive
      // first.
      {"birth/death", "About Objects - birth/death",
       "Aggregate Stats: " + kAllTotals +
           "<hr><hr>"
           "All new on main All still alive <br><br>"
           "(1)Life in 0ms base/foo.cc[10] Alpha::Run <br>"
           "<br>base/foo.cc[10] Alpha::Run All born on main. All these objects "
           "are still alive.(1)Life in 0ms <br><hr><br>"
           "All new on main All deleted on main <br><br>"
           "(1)Life in 7ms base/foo.cc[20] Beta::Run <br>"
           "<br>base/foo.cc[20] Beta::Run All born on main. All deleted on "
           "main. (1)Life in 7ms <br><hr><br>"
           "All new on main All deleted on worker <br><br>"
           "(2)Lives 2ms/life base/foo.cc[10] Alpha::Run <br>"
           "<br>base/foo.cc[10] Alpha::Run All born on main. All deleted on "
           "worker. (2)Lives 2ms/life <br><hr><br>"
           "All new on worker All still alive <br><br>"
           "(2)Lives 0ms/life base/bar.cc[5] Gamma::Run <br>"
           "<br>base/bar.cc[5] Gamma::Run All born on worker. All these "
           "objects "
           "are still alive.(2)Lives 0ms/life <br><hr><br>"},
      {"death=work", "About Objects - death=work",
       "Aggregate Stats: base/foo.cc[10] Alpha::Run All born on main. All "
       "deleted on worker. (2)Lives 2ms/life <hr><hr>"
       "All deleted on worker <br><br>"
       "(2)Lives 2ms/life main->* base/foo.cc[10] Alpha::Run <br>"
       "<br>base/foo.cc[10] Alpha::Run All born on main. All deleted on "
       "worker. (2)Lives 2ms/life <br><hr><br>"},
      // The required text keeps its case.
      {"file=FOO", "About Objects - file=FOO",
       "There were no tracked matches."},
      {"%3C%3e%20%41", "About Objects - &lt;&gt; %41",
       "Aggregate Stats: " + kAllTotals + "<hr><hr><br><br>" + kAlphaOnWorker +
           kGammaAlive + kBetaOnMain + kAlphaAlive + "<br>" + kAllTotals +
           "<br><hr><br>"},
  };
  for (const Case& c : kCases) {
    const std::string page = Page(c.query);
    EXPECT_EQ(page, "<html><head><title>" + std::string(c.title) +
                        "</title></head><body><pre>" + c.body +
                        "</pre></body></html>")
        << "query: " << c.query;
  }

  // Queries that read as others.
  struct Same {
    const char* query;
    const char* as;
  };
  const Same kSame[] = {
      {"FILE=foo", "file=foo"},
      {"Count/DURATION", "count/duration"},
      // A keyword given twice: the first one, with its text, counts.
      {"count/count", "count"},
      {"file=foo/file=bar", "file=foo"},
      // Unknown keywords and empty phrases are ignored.
      {"size/count//", "count"},
      {"/", ""},
  };
  for (const Same& s : kSame)
    EXPECT_EQ(Body(Page(s.query)), Body(Page(s.as))) << s.query;
  EXPECT_NE(Body(Page("file=foo")), Body(Page("")));
}

TEST_F(TrackingReportTest, LivingObjectsAreTheBirthsLessTheDeaths) {
  static const char kFile[] = "net.cc";
  struct Case {
    int births;
    int deaths_here;
    int deaths_on_first;
    int deaths_on_second;
    int alive;  // 0: no snapshot of living objects.
  };
  // Each death is taken off once: ten born and three dead on another
  // thread leave seven alive, not none.
  const Case kCases[] = {
      {10, 0, 3, 0, 7}, {5, 0, 2, 3, 0}, {4, 0, 0, 0, 4},
      {3, 1, 1, 0, 1},  {2, 2, 0, 0, 0}, {6, 1, 1, 1, 3},
  };
  const size_t kCount = sizeof(kCases) / sizeof(kCases[0]);
  std::vector<Location> places;
  for (size_t i = 0; i < kCount; ++i)
    places.emplace_back("Net", kFile, static_cast<int>(i + 1));

  ThreadData::SetTrackingEnabled(true);
  ThreadData* const here = ThreadData::current();
  std::vector<Births*> births;
  for (size_t i = 0; i < kCount; ++i) {
    births.push_back(here->BirthRecordFor(places[i]));
    for (int n = 0; n < kCases[i].births; ++n)
      births[i]->CountBirth();
    for (int n = 0; n < kCases[i].deaths_here; ++n)
      here->CountDeath(*births[i], TimeDelta::FromMilliseconds(1));
  }
  for (const int Case::*deaths :
       {&Case::deaths_on_first, &Case::deaths_on_second}) {
    std::thread([&] {
      ThreadData* const other = ThreadData::current();
      for (size_t i = 0; i < kCount; ++i) {
        for (int n = 0; n < kCases[i].*deaths; ++n)
          other->CountDeath(*births[i], TimeDelta::FromMilliseconds(1));
      }
    }).join();
  }

  SnapshotGatherer gatherer;
  gatherer.AddLivingEntries();
  for (size_t i = 0; i < kCount; ++i) {
    const Case& c = kCases[i];
    int alive = 0;
    int alive_snapshots = 0;
    int dead = 0;
    for (const Snapshot& snapshot : *gatherer.collection()) {
      if (snapshot.birth() != births[i])
        continue;
      if (snapshot.death_thread()) {
        dead += snapshot.count();
      } else {
        alive += snapshot.count();
        ++alive_snapshots;
        EXPECT_EQ(snapshot.DeathThreadName(), "Still_Alive");
      }
    }
    EXPECT_EQ(dead, c.deaths_here + c.deaths_on_first + c.deaths_on_second)
        << "case " << i;
    EXPECT_EQ(alive, c.alive) << "case " << i;
    EXPECT_EQ(alive_snapshots, c.alive > 0 ? 1 : 0) << "case " << i;
  }
}

TEST_F(TrackingReportTest, ObjectsBornOnAThreadWithoutRecordShowAPlaceholder) {
  const Location place("Orphan", "orphan.cc", 1);
  // Made before tracking starts: no thread has a record.
  Births orphan(place);
  ASSERT_EQ(orphan.birth_thread(), nullptr);
  orphan.CountBirth();
  orphan.CountBirth();
  StartWithMainLoop("main");

  const Snapshot alive(orphan, 2);
  EXPECT_EQ(alive.BirthThreadName(), "UnknownThread");
  std::string line;
  alive.Write(&line);
  EXPECT_EQ(line,
            "(2)Lives 0ms/life UnknownThread->Still_Alive orphan.cc[1] "
            "Orphan ");

  Comparator comparator;
  comparator.ParseQuery("birth=Unknown");
  EXPECT_TRUE(comparator.Acceptable(alive));
  std::string header;
  EXPECT_TRUE(comparator.WriteSortGrouping(alive, &header));
  EXPECT_EQ(header, "All new on UnknownThread ");
  std::string shown;
  comparator.WriteSnapshot(alive, &shown);
  EXPECT_EQ(shown, "(2)Lives 0ms/life *->Still_Alive orphan.cc[1] Orphan ");

  SnapshotTotals totals;
  totals.AddDeathEntry(alive);
  totals.AddBirths(orphan);
  std::string summary;
  totals.Write(&summary);
  EXPECT_EQ(summary,
            "orphan.cc[1] Orphan All born on UnknownThread. All these objects "
            "are still alive.Births=2 (2)Lives 0ms/life ");

  // Ordered among others by that name.
  const Snapshot died(orphan, *ThreadData::current(),
                      DeathData(1, TimeDelta::FromMilliseconds(4), 16));
  EXPECT_EQ(died.DeathThreadName(), "main");
  Comparator by_birth;
  by_birth.ParseQuery("birth");
  EXPECT_TRUE(by_birth.Equivalent(alive, died));
  EXPECT_TRUE(by_birth(alive, died));  // Larger count first.
  EXPECT_FALSE(by_birth(died, alive));
}

TEST_F(TrackingReportTest, NamesAndQueryAreEscapedWhileFiltersSeeTheText) {
  static const char kFile[] = "dir/<b>.cc";
  static const char kFunction[] = "Run<T>&";
  ThreadData* const main =
      StartWithMainLoop("<script>alert(\"x\")</script> & co");
  Births* const births = main->BirthRecordFor(Location(kFunction, kFile, 3));
  births->CountBirth();

  const std::string kName =
      "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; co";
  const std::string kPlace = "dir/&lt;b&gt;.cc[3] Run&lt;T&gt;&amp; ";
  EXPECT_EQ(Page("birth=%3Cscript%3E"),
            "<html><head><title>About Objects - birth=&lt;script&gt;</title>"
            "</head><body><pre>Aggregate Stats: " +
                kPlace + "All born on " + kName +
                ". All these objects are still alive.(1)Life in 0ms <hr><hr>"
                "All new on " +
                kName + " <br><br>(1)Life in 0ms *->Still_Alive " + kPlace +
                "<br><br>" + kPlace + "All born on " + kName +
                ". All these objects are still alive.(1)Life in 0ms "
                "<br><hr><br></pre></body></html>");
  // The filter sees the decoded text, not the escaped one.
  EXPECT_EQ(Body(Page("birth=&lt;script")), "There were no tracked matches.");
  EXPECT_EQ(Body(Page("function=%3CT%3E&/file")),
            "Aggregate Stats: " + kPlace + "All born on " + kName +
                ". All these objects are still alive.(1)Life in 0ms <hr><hr>"
                "All born in Run&lt;T&gt;&amp; All born in dir/&lt;b&gt;.cc "
                "<br><br>(1)Life in 0ms " +
                kName + "->Still_Alive line[3] <br><br>" + kPlace +
                "All born on " + kName +
                ". All these objects are still alive.(1)Life in 0ms "
                "<br><hr><br>");
}

TEST_F(TrackingReportTest, AThreadNamedLikeTheLivingIsOrderedAsAThread) {
  ThreadData* const named_like_living = StartWithMainLoop("Still_Alive");
  Births* const births = named_like_living->BirthRecordFor(kAlpha);
  ThreadData* other = nullptr;
  std::thread([&] {
    MessageLoop loop;
    loop.set_loop_thread_name("Aaa");
    other = ThreadData::current();
  }).join();

  const DeathData one(1, TimeDelta(), 0);
  const Snapshot alive(*births, 1);
  const Snapshot died_on_aaa(*births, *other, one);
  const Snapshot died_on_named(*births, *named_like_living, one);
  Comparator by_death;
  by_death.ParseQuery("death");
  // The living come first, then the threads by name: a thread named like
  // the living is a thread, or the order would not be an order.
  EXPECT_TRUE(by_death(alive, died_on_aaa));
  EXPECT_TRUE(by_death(died_on_aaa, died_on_named));
  EXPECT_TRUE(by_death(alive, died_on_named));
  EXPECT_FALSE(by_death(died_on_named, alive));
  EXPECT_FALSE(by_death.Equivalent(alive, died_on_named));
  std::string header;
  by_death.WriteSortGrouping(died_on_named, &header);
  EXPECT_EQ(header, "All deleted on Still_Alive ");
}

TEST_F(TrackingReportTest, NoPageWhileTrackingIsOff) {
  EXPECT_EQ(Page("count"), "");
  StartWithMainLoop("main");
  ThreadData::StopTrackingOnAllThreads();
  EXPECT_EQ(Page("count"), "");
}

}  // namespace
}  // namespace tracked_objects
