// A page runs its ticked reports at once and ends when the last has finished;
// a report that never finishes cannot hold it, and a stopping service ends it.
#include "page/PageRun.h"

#include <gtest/gtest.h>

#include <boost/asio/post.hpp>

using namespace site;
using namespace std::chrono_literals;

namespace {

class SitePageRun : public ::testing::Test {
protected:
  SitePageRun() {
    Prompt = [](std::shared_ptr<ReportContext> context, const Target& target, ReportDone done) {
      boost::asio::post(context->Executor, [done, input = target.Input] { done(ReportResult{Outcome::Done, {}, {}, {}, "prompt " + input, {}}); });
    };
    Never = [this](std::shared_ptr<ReportContext>, const Target&, ReportDone done) { Held.push_back(std::move(done)); };
  }

  static Options Loopback() {
    Options options;
    options.Resolver = "127.0.0.1:1";
    return options;
  }

  void Run(const LookupRequest& request, const ReportStarts& reports) {
    RunPage(Io, Shared, Live, request, reports, [this](std::vector<PageSection> sections) { Pages.push_back(std::move(sections)); });
  }

  static LookupRequest Request(std::array<bool, kReportCount> wanted) { return LookupRequest{Target{"example.test", "example.test", {}, {}, {}}, wanted}; }

  Options Opts = Loopback();
  SharedState Shared{Opts};
  boost::asio::io_context Io;
  LivePages Live;
  StartReport Prompt, Never;
  std::vector<ReportDone> Held;
  std::vector<std::vector<PageSection>> Pages;
};

TEST_F(SitePageRun, EndsWhenTheLastTickedReportHasFinishedInTheWindowsOrder) {
  Opts.PageBudget = 20s;
  Run(Request({true, false, true, false, true}), {Prompt, Never, Prompt, Never, Prompt});
  Io.run_for(5s);
  ASSERT_EQ(Pages.size(), 1u);
  const auto& sections = Pages[0];
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].Kind, ReportKind::DomainRecord);
  EXPECT_EQ(sections[1].Kind, ReportKind::RouteTrace);
  EXPECT_EQ(sections[2].Kind, ReportKind::PortScan);
  for (const auto& section : sections) {
    EXPECT_EQ(section.Result.State, Outcome::Done);
    EXPECT_EQ(section.Result.Raw, "prompt example.test");
  }
  EXPECT_TRUE(Held.empty());
}

TEST_F(SitePageRun, AReportThatNeverFinishesShowsAsTimedOutAndItsLateResultIsDropped) {
  Opts.PageBudget = 200ms;
  Run(Request({true, true, false, false, false}), {Prompt, Never, Prompt, Prompt, Prompt});
  Io.run_for(10s);
  ASSERT_EQ(Pages.size(), 1u);
  ASSERT_EQ(Pages[0].size(), 2u);
  EXPECT_EQ(Pages[0][0].Result.State, Outcome::Done);
  EXPECT_EQ(Pages[0][1].Result.State, Outcome::TimedOut);
  // The net waits a second past the budget: a report gets its whole budget.
  EXPECT_GE(Pages[0][1].Result.Elapsed, 1200ms);

  ASSERT_EQ(Held.size(), 1u);
  boost::asio::post(Io, [done = Held[0]] { done(ReportResult{Outcome::Done, {}, {}, {}, "late", {}}); });
  Io.restart();
  Io.run_for(1s);
  EXPECT_EQ(Pages.size(), 1u);
}

TEST_F(SitePageRun, AStoppingServiceEndsItsPagesAtOnce) {
  Opts.PageBudget = 20s;
  Run(Request({false, true, false, false, true}), {Prompt, Never, Prompt, Prompt, Prompt});
  Io.poll();
  ASSERT_TRUE(Pages.empty());
  Live.CancelAll();
  Io.run_for(5s);
  ASSERT_EQ(Pages.size(), 1u);
  EXPECT_EQ(Pages[0][0].Result.State, Outcome::Failed);
  EXPECT_EQ(Pages[0][0].Result.Reason, "служба остановлена");
  EXPECT_EQ(Pages[0][1].Result.State, Outcome::Done);
}

TEST_F(SitePageRun, NoReportTickedEndsAtOnce) {
  Run(Request({}), {Never, Never, Never, Never, Never});
  Io.run_for(5s);
  ASSERT_EQ(Pages.size(), 1u);
  EXPECT_TRUE(Pages[0].empty());
  EXPECT_TRUE(Held.empty());
}

}  // namespace
