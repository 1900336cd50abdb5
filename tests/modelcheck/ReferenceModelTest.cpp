// The reference model's translation of best routes into kernel entries, and which VRFs it
// expects machines for: worked out by hand from the statements, case by case.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tools/kmfibd/StatementParser.h"
#include "tools/modelcheck/ReferenceModel.h"

namespace {

using ModelCheck::ReferenceModel;

ReferenceModel modelOf(std::vector<std::string> const& lines) {
  ReferenceModel model(Plix::AddressFamily::ipv4);
  Kmfibd::StatementParser parser(Plix::AddressFamily::ipv4);
  for (auto const& line : lines) model.apply(*parser.parse(line));
  return model;
}

std::string entryOf(ReferenceModel const& model, std::string const& source, std::string const& group) {
  ReferenceModel::Registered const registered{{"Ethernet1", 1}, {"Ethernet2", 2}, {"Ethernet3", 3}};
  auto const s = Kmfibd::StatementParser(Plix::AddressFamily::ipv4).parse("no route default t1 " + source + " " + group);
  auto const entries = model.expectedMfc("default", registered);
  auto it = entries.find(ReferenceModel::keyOf(s->key));
  if (it == entries.end()) return "none";
  std::string text = "iif=" + std::to_string(it->second.iif) + " oifs=";
  for (auto v : it->second.oifs) text += std::to_string(v) + ",";
  return text;
}

struct Case {
  char const* route;  // after "route default t1 10.0.0.1 239.1.1.1"
  char const* entry;
};

class Translation : public testing::TestWithParam<Case> {};

TEST_P(Translation, BestRouteBecomesEntry) {
  auto const model = modelOf({"config default", "table default t1", "advance 0.1",
                              std::string("route default t1 10.0.0.1 239.1.1.1 ") + GetParam().route});
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), GetParam().entry) << GetParam().route;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Translation,
    testing::Values(Case{"iif Ethernet1 oif Ethernet2,Ethernet3", "iif=1 oifs=2,3,"},
                    Case{"iif Ethernet4 oif Ethernet2", "iif=65535 oifs=2,"},  // no VIF: unresolved
                    Case{"oif Ethernet2", "iif=65535 oifs=2,"},
                    Case{"iif Ethernet1 oif Ethernet1,Ethernet2", "iif=1 oifs=2,"},  // incoming only
                    Case{"iif Ethernet1 oif Null0,Register0", "iif=1 oifs="},
                    Case{"iif Ethernet1 oif Ethernet2 iif-register", "iif=0 oifs=2,"},
                    Case{"iif Ethernet1 oif Ethernet2 oif-register", "iif=1 oifs=0,2,"},
                    Case{"iif Ethernet1 oif Ethernet2 iif-register oif-register", "iif=0 oifs=2,"},
                    Case{"iif Ethernet1 oif Ethernet2 switching", "none"},
                    Case{"oif Ethernet2 switching", "iif=65535 oifs=2,"},  // no iif: not switching
                    Case{"iif Ethernet1 oif Ethernet2 iif-register switching", "iif=0 oifs=2,"},
                    Case{"iif Null0 oif Ethernet2", "none"},
                    Case{"iif Register0 oif Ethernet2", "iif=65535 oifs=2,"}));

TEST(ReferenceModelTest, StarGIsNeverProgrammed) {
  auto const model = modelOf({"config default", "table default t1", "advance 0.1", "route default t1 * 239.1.1.1 iif Ethernet1",
                              "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1"});
  EXPECT_EQ(model.expectedMfc("default", {{"Ethernet1", 1}}).size(), 1u) << "(S,G) only";
}

TEST(ReferenceModelTest, LowestPreferenceThenFirstNameHoldsTheBestRoute) {
  auto model = modelOf({"config default", "advance 0.1", "table default t2 preference 10", "table default t1 preference 100",
                        "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1", "route default t2 10.0.0.1 239.1.1.1 iif Ethernet2"});
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), "iif=2 oifs=");
  Kmfibd::StatementParser parser(Plix::AddressFamily::ipv4);
  model.apply(*parser.parse("table default t2 preference 100"));
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), "iif=1 oifs=") << "a tie goes to the name that sorts first";
  model.apply(*parser.parse("no route default t1 10.0.0.1 239.1.1.1"));
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), "iif=2 oifs=");
}

TEST(ReferenceModelTest, MachinesKeepTheNamespaceTheyWereBuiltIn) {
  auto model = modelOf({"vrf red netns ns1", "config red", "table red t1"});
  EXPECT_TRUE(model.machines().empty()) << "nothing before the agent's start-up has run";
  Kmfibd::StatementParser parser(Plix::AddressFamily::ipv4);
  model.apply(*parser.parse("advance 0.1"));
  ASSERT_TRUE(model.machines().contains("red"));
  model.apply(*parser.parse("vrf red netns ns2"));
  EXPECT_EQ(model.machines().at("red").ns, "ns1");
  model.apply(*parser.parse("restart"));
  EXPECT_TRUE(model.machines().empty());
  model.apply(*parser.parse("advance 0.1"));
  EXPECT_EQ(model.machines().at("red").ns, "ns2");
  model.apply(*parser.parse("no config red"));
  EXPECT_FALSE(model.machines().contains("red"));
}

TEST(ReferenceModelTest, DefaultMachineOutlivesItsConfiguration) {
  auto model = modelOf({"config default", "advance 0.1", "no config default"});
  EXPECT_TRUE(model.machines().contains("default"));
}

// Without a configuration the default VRF's machine keeps the route collection it holds:
// routes of its tables reach it, a collection that comes after its tables all went does not.
TEST(ReferenceModelTest, DefaultMachineWithoutConfigurationKeepsItsRouteCollection) {
  auto model = modelOf({"config default", "table default t1", "advance 0.1", "no config default",
                        "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1"});
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), "iif=1 oifs=");
  Kmfibd::StatementParser parser(Plix::AddressFamily::ipv4);
  for (auto line : {"no table default t1", "table default t1", "route default t1 10.0.0.1 239.1.1.1 iif Ethernet1"}) {
    model.apply(*parser.parse(line));
  }
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), "none") << "the new collection is not the machine's";
  EXPECT_TRUE(model.machines().at("default").collection) << "it still holds the one that went";
  model.apply(*parser.parse("config default"));
  EXPECT_EQ(entryOf(model, "10.0.0.1", "239.1.1.1"), "iif=1 oifs=") << "a configuration brings it to the current one";
}

// Limits are written at a machine's start, when an attribute changes, and when the default
// VRF's machine takes a new configuration; a namespace starts with zeros.
TEST(ReferenceModelTest, UnresolvedLimitsFollowTheWritesTheMachinesMake) {
  using Values = std::pair<std::set<std::uint32_t>, std::set<std::uint32_t>>;
  auto model = modelOf({"netns ns1", "vrf red netns ns1", "config red unresolved-entries 5"});
  EXPECT_EQ(model.limits().at("ns1"), (Values{{0}, {0}})) << "no machine yet";
  Kmfibd::StatementParser parser(Plix::AddressFamily::ipv4);
  model.apply(*parser.parse("advance 0.1"));
  EXPECT_EQ(model.limits().at("ns1"), (Values{{5}, {3}}));
  model.apply(*parser.parse("config red unresolved-buffers 9"));
  EXPECT_EQ(model.limits().at("ns1"), (Values{{5}, {9}}));
  model.apply(*parser.parse("no netns ns1"));
  model.apply(*parser.parse("netns ns1"));
  EXPECT_EQ(model.limits().at("ns1"), (Values{{0}, {0}})) << "a new namespace holds nothing the machine wrote";
  model.apply(*parser.parse("config red unresolved-entries 6"));
  EXPECT_EQ(model.limits().at("ns1"), (Values{{6}, {0}})) << "only the changed attribute is written";
  for (auto line : {"config default unresolved-entries 1", "advance 0.1", "no config default", "config default"}) {
    model.apply(*parser.parse(line));
  }
  EXPECT_EQ(model.limits().at("default"), (Values{{10}, {3}})) << "a new configuration is written whole";
}

TEST(ReferenceModelTest, AnInterfaceMayLackAnIndexOnlyWhenAllMayBeTaken) {
  auto model = modelOf({"config default max 3", "advance 0.1", "request pim default Ethernet1",
                        "request pim default Ethernet2", "request pim default Ethernet3"});
  EXPECT_FALSE(model.mayLackIndex("default", "Ethernet1"));
  EXPECT_FALSE(model.mayLackIndex("default", "Ethernet2"));
  EXPECT_TRUE(model.mayLackIndex("default", "Ethernet3"));
  Kmfibd::StatementParser parser(Plix::AddressFamily::ipv4);
  model.apply(*parser.parse("config default max 4"));
  EXPECT_TRUE(model.mayLackIndex("default", "Ethernet3")) << "a bound raised in place allocates nothing";
  model.apply(*parser.parse("request pim default Ethernet3 off"));
  model.apply(*parser.parse("request pim default Ethernet3"));
  EXPECT_FALSE(model.mayLackIndex("default", "Ethernet3")) << "joining again looks under the new bound";
}

}  // namespace
