// What a daemon holds, object by object, and the batches that lead from one configuration to
// the next; and how a configuration file is read and refused.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/kmfibd/ConfigFile.h"
#include "tools/kmfibd/StatedObjects.h"

namespace {

using Kmfibd::ConfigError;
using Kmfibd::ConfigFile;
using Kmfibd::StatedObjects;
using Kmfibd::Statement;
using Kmfibd::StatementParser;

StatementParser const parser(Plix::AddressFamily::ipv4);

StatedObjects objects(std::string const& text) { return ConfigFile("test.conf", text, parser, false).objects(); }

// A batch statement as the words that matter to it.
std::string describe(Statement const& s) {
  std::ostringstream out;
  out << (s.no ? "no " : "") << StatedObjects::keyOf(s).substr(2);
  if (s.no) return out.str();
  if (s.kind == Statement::Kind::config) {
    if (s.max) out << " max=" << *s.max;
    if (s.unresolvedEntries) out << " entries=" << *s.unresolvedEntries;
    if (s.unresolvedBuffers) out << " buffers=" << *s.unresolvedBuffers;
  }
  if (s.kind == Statement::Kind::table && s.preference) out << " preference=" << *s.preference;
  if (s.kind == Statement::Kind::vrf) out << " netns=" << s.ns;
  if (s.kind == Statement::Kind::request) out << (s.on ? " on" : " off");
  if (s.kind == Statement::Kind::route) out << " iif=" << s.iif << " oifs=" << s.oifs.size();
  return out.str();
}

std::vector<std::string> batch(std::string const& from, std::string const& to) {
  std::vector<std::string> out;
  for (auto const& s : StatedObjects::batch(objects(from), objects(to))) out.push_back(describe(s));
  return out;
}

struct BatchCase {
  char const* name;
  char const* from;
  char const* to;
  std::vector<std::string> expected;
};

class Batch : public testing::TestWithParam<BatchCase> {};

TEST_P(Batch, LeadsFromTheOldObjectsToTheNew) { EXPECT_EQ(batch(GetParam().from, GetParam().to), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Batch,
    testing::Values(
        BatchCase{"Unchanged",
                  "table default t\nroute default t 1.1.1.1 239.1.1.1 iif E1\n",
                  "# same, reordered\nroute default t 1.1.1.1 239.1.1.1 iif E1\ntable default t\n",
                  {}},
        BatchCase{"FromNothingInDependencyOrder",
                  "",
                  "route default t 1.1.1.1 239.1.1.1\ntable default t\nvrf red netns ns1\nlink ns1 e1 3\nnetns ns1\n",
                  {"netns ns1", "link ns1 e1", "vrf red netns=ns1", "table default t",
                   "route default t 1.1.1.1/32 239.1.1.1/32 iif= oifs=0"}},
        BatchCase{"DroppedObjectsGoDependentsFirst",
                  "intf E1 eth1\nrequest pimd default E1\nconfig default max 8\n",
                  "",
                  {"no request pimd default E1", "no config default", "no intf E1"}},
        BatchCase{"ARemovedTableTakesItsRoutesAlong",
                  "table default t\nroute default t 1.1.1.1 239.1.1.1\nroute default t 1.1.1.2 239.1.1.1\n",
                  "",
                  {"no table default t"}},
        BatchCase{"ARemovedNamespaceTakesItsLinksAlong", "netns ns1\nlink ns1 e1 3\n", "", {"no netns ns1"}},
        BatchCase{
            "AChangedObjectIsRestatedInPlace",
            "vrf red netns ns1\nrequest pimd default E1\nroute default t 1.1.1.1 239.1.1.1 iif E1\ntable default t\n",
            "vrf red netns ns2\nrequest pimd default E1 off\ntable default t\nroute default t 1.1.1.1 239.1.1.1 iif E2 "
            "oif E1\n",
            {"vrf red netns=ns2", "request pimd default E1 off",
             "route default t 1.1.1.1/32 239.1.1.1/32 iif=E2 oifs=1"}},
        BatchCase{"AnAttributeNoLongerStatedGoesBackToItsDefault",
                  "config default max 8 unresolved-entries 4\ntable default t preference 5\n",
                  "config default unresolved-entries 4\ntable default t\n",
                  {"config default max=512 entries=4", "table default t preference=100"}},
        BatchCase{"ConfigStatementsOfOneVrfAddUp",
                  "config default max 8\n",
                  "config default max 8\nconfig default unresolved-buffers 2\n",
                  {"config default max=8 buffers=2"}},
        BatchCase{"ANoFormRemovesWhatTheFileStatedAbove",
                  "request pimd default E1\nrequest pimd default E2\n",
                  "request pimd default E1\nrequest pimd default E2\nrequest igmp red E3\nno request pimd default\n",
                  {"no request pimd default E2", "no request pimd default E1", "request igmp red E3 on"}}),
    [](auto const& info) { return std::string(info.param.name); });

struct RefusedCase {
  char const* name;
  char const* text;
  bool realKernel;
  char const* error;
};

class Refused : public testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, NamesTheFileAndLine) {
  try {
    ConfigFile("test.conf", GetParam().text, parser, GetParam().realKernel);
    FAIL() << "accepted";
  } catch (ConfigError const& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    testing::Values(
        RefusedCase{"ParserError", "netns ns1\n\nroute default t 1.1.1.1\n", false, "test.conf:3: missing group"},
        RefusedCase{"Advance", "advance 1\n", false, "test.conf:1: advance: the daemon's clock is real time"},
        RefusedCase{"Restart", "restart\n", false,
                    "test.conf:1: a configuration file holds no advance, restart, fault or show"},
        RefusedCase{"Fault", "fault default socket ENOBUFS\n", false,
                    "test.conf:1: a configuration file holds no advance, restart, fault or show"},
        RefusedCase{"Show", "show kernel\n", false,
                    "test.conf:1: a configuration file holds no advance, restart, fault or show"},
        RefusedCase{"NoFormOfNothing", "table default t\nno table default u\n", false,
                    "test.conf:2: nothing stated above to remove"},
        RefusedCase{"NetnsOnARealKernel", "netns ns1\n", true,
                    "test.conf:1: netns: namespaces and devices come from the kernel with a real kernel backend"},
        RefusedCase{"LinkOnARealKernel", "link default eth1 3\n", true,
                    "test.conf:1: link: namespaces and devices come from the kernel with a real kernel backend"}),
    [](auto const& info) { return std::string(info.param.name); });

TEST(StatedObjectsTest, ConflictsAreNamed) {
  StatedObjects const held = objects("netns ns1\ntable default t\nlink ns1 e0 7\n");
  auto const check = [&](std::string const& line) { return held.conflict(*parser.parse(line)); };
  EXPECT_EQ(check("link ns1 e1 3"), "");
  EXPECT_EQ(check("link default e1 3"), "");
  EXPECT_EQ(check("link ns2 e1 3"), "no namespace ns2");
  EXPECT_EQ(check("route default t 1.1.1.1 239.1.1.1"), "");
  EXPECT_EQ(check("route default u 1.1.1.1 239.1.1.1"), "no table u in VRF default");
  EXPECT_EQ(check("link ns1 e1 7"), "interface index 7 is e0's in namespace ns1");
  EXPECT_EQ(check("link ns1 e0 8"), "") << "a device restated with another index";
  EXPECT_EQ(check("link default e1 7"), "");
}

// Links are looked for among the links only: the first, the last and one amid others are
// all found, with netns, intf and route objects on either side of them.
TEST(StatedObjectsTest, EveryLinkIsFoundForItsIndex) {
  StatedObjects const held = objects(
      "netns a\nnetns z\nlink a a0 1\nlink a a1 2\nlink default d0 3\nlink z z9 4\nintf E1 a0\n"
      "table default t\nroute default t 1.1.1.1 239.1.1.1 iif E1\n");
  auto const check = [&](std::string const& line) { return held.conflict(*parser.parse(line)); };
  EXPECT_EQ(check("link a x 1"), "interface index 1 is a0's in namespace a");
  EXPECT_EQ(check("link a x 2"), "interface index 2 is a1's in namespace a");
  EXPECT_EQ(check("link default x 3"), "interface index 3 is d0's in namespace default");
  EXPECT_EQ(check("link z x 4"), "interface index 4 is z9's in namespace z");
  EXPECT_EQ(check("link z x 1"), "");
}

// Copies of the objects share their statements; a `config` adding to one copy's statement
// must leave the other's as it was, or a reload would see no change to apply.
TEST(StatedObjectsTest, AConfigMergedIntoOneCopyLeavesTheOther) {
  StatedObjects const before = objects("config default max 5\ntable default t\n");
  StatedObjects after = before;
  after.apply(*parser.parse("config default unresolved-entries 7"));
  EXPECT_FALSE(before.find("4 config default")->unresolvedEntries);
  EXPECT_EQ(after.find("4 config default")->unresolvedEntries, 7u);
  EXPECT_EQ(after.find("4 config default")->max, 5u);
  std::vector<std::string> changes;
  for (auto const& s : StatedObjects::batch(before, after)) changes.push_back(describe(s));
  EXPECT_EQ(changes, std::vector<std::string>{"config default max=5 entries=7"});
  EXPECT_TRUE(StatedObjects::batch(after, after).empty());
}

TEST(StatedObjectsTest, RemovalsReportEveryObjectTheyTook) {
  StatedObjects held = objects("request a default E1\nrequest a red E2\nrequest b default E1\n");
  EXPECT_EQ(held.apply(*parser.parse("no request a")),
            (std::vector<std::string>{"5 request a default E1", "5 request a red E2"}));
  EXPECT_TRUE(held.has("5 request b default E1"));
  EXPECT_TRUE(held.apply(*parser.parse("no request a")).empty());
}

TEST(StatedObjectsTest, WhereStatedIsTheLastLineNamingTheObject) {
  ConfigFile const file("test.conf", "table default t\n\ntable default t preference 3\n", parser, false);
  EXPECT_EQ(file.whereStated("6 table default t"), "test.conf:3");
}

}  // namespace

namespace {

TEST(ConfigFileTest, TheShippedExampleIsAcceptedOnARealKernel) {
  auto const file = ConfigFile::read(std::string(KMFIB_SOURCE_DIR) + "/contrib/kmfibd.conf", parser, true);
  EXPECT_TRUE(file.objects().has("4 config default"));
  EXPECT_TRUE(file.objects().has("7 route default static 0.0.0.0/0 239.1.1.2/32"));
  // A file that cannot be opened is refused with the system's reason.
  for (auto const& [path, why] : std::vector<std::pair<std::string, std::string>>{
           {"/nonexistent/kmfibd.conf", "No such file or directory"},
           {std::string(KMFIB_SOURCE_DIR) + "/contrib/kmfibd.conf/x", "Not a directory"}}) {
    try {
      ConfigFile::read(path, parser, true);
      ADD_FAILURE() << path << " was read";
    } catch (ConfigError const& e) {
      EXPECT_EQ(std::string(e.what()), path + ": " + why);
    }
  }
}

}  // namespace
