#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "trace/CaptureSink.h"
#include "trace/Context.h"
#include "trace/Registry.h"
#include "trace/SinkScope.h"
#include "trace/SelectionScope.h"
#include "trace/StreamSink.h"
#include "trace/TimeSourceScope.h"
#include "trace/TimeStamp.h"

namespace {

using ::testing::ElementsAre;

TEST(TextTrace, OnlyEnabledLevelsReachTheSink) {
  Trace::CaptureSink capture;
  Trace::SinkScope sink(capture);
  Trace::SelectionScope selection("TextTrace.Filter/3-4,TextTrace.Filter/9");
  auto& tr = Trace::handle("TextTrace.Filter");
  for (int level = -1; level <= 12; ++level) {
    if (auto t = tr.at(level)) t << "level " << level;
  }
  EXPECT_THAT(capture.texts(), ElementsAre("level 3", "level 4", "level 9"));
  EXPECT_EQ(capture.count("TextTrace.Filter", 4), 1u);
}

TEST(TextTrace, DisabledLineDoesNotEvaluateItsArguments) {
  Trace::CaptureSink capture;
  Trace::SinkScope sink(capture);
  Trace::SelectionScope selection("TextTrace.Lazy/8");
  auto& tr = Trace::handle("TextTrace.Lazy");
  int evaluations = 0;
  auto const costly = [&] {
    ++evaluations;
    return std::string("ns1");
  };
  if (auto t = tr.at(7)) t << "Namespace name is " << costly();
  EXPECT_EQ(evaluations, 0);
  EXPECT_FALSE(tr.at(7));
  if (auto t = tr.at(8)) t << "Namespace name is " << costly();
  EXPECT_EQ(evaluations, 1);
  EXPECT_THAT(capture.lines(),
              ElementsAre(Trace::CaptureSink::Captured{"TextTrace.Lazy", 8, "Namespace name is ns1", 0.0}));
}

TEST(TextTrace, CaptureSinkFindsTexts) {
  Trace::CaptureSink capture;
  Trace::SinkScope sink(capture);
  Trace::SelectionScope selection("TextTrace.CapA,TextTrace.CapB/5");
  auto& a = Trace::handle("TextTrace.CapA");
  auto& b = Trace::handle("TextTrace.CapB");
  if (auto t = a.at(9)) t << "KernelMfibSm::doKickReview()";
  if (auto t = b.at(5)) t << "Allocating VIF " << 3 << " for " << "Ethernet1";
  a.at(2) << "Suspending review with " << 12u << " routes left";

  EXPECT_THAT(capture.texts("TextTrace.CapB"), ElementsAre("Allocating VIF 3 for Ethernet1"));
  EXPECT_TRUE(capture.contains("KernelMfibSm::doKickReview()"));
  EXPECT_FALSE(capture.contains("KernelMfibSm::doKickReview"));
  EXPECT_TRUE(capture.containsSubstring("with 12 routes"));
  EXPECT_FALSE(capture.containsSubstring("with 13 routes"));
  EXPECT_EQ(capture.count("TextTrace.CapA", 9), 1u);
  EXPECT_EQ(capture.count("TextTrace.CapA", 5), 0u);
  capture.clear();
  EXPECT_TRUE(capture.lines().empty());
}

TEST(TextTrace, TimeStampHasMicroseconds) {
  struct Case {
    double seconds;
    char const* text;
  };
  Case const cases[] = {
      {0.0, "0.000000"},          {1.5, "1.500000"},
      {12.00025, "12.000250"},    {0.0000004, "0.000000"},
      {0.0000006, "0.000001"},    {1700000000.123456, "1700000000.123456"},
      {-2.25, "-2.250000"},
  };
  for (auto const& c : cases) EXPECT_EQ(Trace::TimeStamp(c.seconds).text(), c.text) << c.seconds;
}

TEST(TextTrace, StreamSinkLineCarriesTimeHandleAndLevel) {
  std::ostringstream out;
  Trace::StreamSink stream(out);
  Trace::SinkScope sink(stream);
  Trace::SelectionScope selection("TextTrace.Stream/8");
  double now = 12.00025;
  Trace::TimeSourceScope time([&] { return now; });
  auto& tr = Trace::handle("TextTrace.Stream");
  if (auto t = tr.at(8)) t << "Namespace name is " << "ns1";
  now = 13.5;
  if (auto t = tr.at(8)) t << "second";
  EXPECT_EQ(out.str(),
            "12.000250 TextTrace.Stream/8 Namespace name is ns1\n"
            "13.500000 TextTrace.Stream/8 second\n");
}

TEST(TextTrace, StreamSinkLineNamesTheContextBesideTheTimeStamp) {
  std::ostringstream out;
  Trace::StreamSink stream(out);
  Trace::SinkScope sink(stream);
  Trace::SelectionScope selection("TextTrace.Context/8");
  Trace::TimeSourceScope time([] { return 1.5; });
  auto& tr = Trace::handle("TextTrace.Context");
  EXPECT_EQ(Trace::context("vrf=red"), Trace::context(std::string("vrf=") + "red")) << "interned";
  {
    Trace::ContextScope red(Trace::context("vrf=red"));
    if (auto t = tr.at(8)) t << "opened";
    {
      Trace::ContextScope ns(Trace::context("ns=nsA"));
      if (auto t = tr.at(8)) t << "inner";
      Trace::ContextScope none(nullptr);
      if (auto t = tr.at(8)) t << "a null context keeps the current one";
    }
    if (auto t = tr.at(8)) t << "back";
  }
  if (auto t = tr.at(8)) t << "none";
  EXPECT_EQ(out.str(),
            "1.500000 vrf=red TextTrace.Context/8 opened\n"
            "1.500000 ns=nsA TextTrace.Context/8 inner\n"
            "1.500000 ns=nsA TextTrace.Context/8 a null context keeps the current one\n"
            "1.500000 vrf=red TextTrace.Context/8 back\n"
            "1.500000 TextTrace.Context/8 none\n");
}

TEST(TextTrace, ScopesRestoreSinkAndTimeSource) {
  Trace::CaptureSink outer;
  Trace::CaptureSink inner;
  Trace::SelectionScope selection("TextTrace.Scopes/1");
  auto& tr = Trace::handle("TextTrace.Scopes");
  Trace::SinkScope outerSink(outer);
  Trace::TimeSourceScope outerTime([] { return 1.0; });
  {
    Trace::SinkScope innerSink(inner);
    Trace::TimeSourceScope innerTime([] { return 2.0; });
    tr.at(1) << "inner";
  }
  tr.at(1) << "outer";
  ASSERT_EQ(inner.lines().size(), 1u);
  EXPECT_EQ(inner.lines()[0].time, 2.0);
  ASSERT_EQ(outer.lines().size(), 1u);
  EXPECT_EQ(outer.lines()[0].text, "outer");
  EXPECT_EQ(outer.lines()[0].time, 1.0);
}

}  // namespace
