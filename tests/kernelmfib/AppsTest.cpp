// Applications' interface requests, followed from their directory into the VRF's merged
// set and its VIF allocation.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kernelmfib/MulticastIntfsAppDirSm.h"
#include "tests/kernelmfib/MachineFixture.h"

namespace Routing::KernelMfib {
namespace {

using Texts = std::vector<std::string>;
using Vifs = std::map<std::string, int>;

class AppsTest : public MachineFixture {
 protected:
  Vifs allocated() const {
    Vifs out;
    for (auto const& [intf, vif] : status->vifConfigColl) out[intf.name()] = vif;
    return out;
  }
  template <class Coll>
  static Texts keys(Coll const& coll) {
    Texts out;
    for (auto const& [key, value] : coll) out.push_back(key);
    return out;
  }
  Texts requestors(char const* intf) const {
    auto member = sm->multicastIntf(Plix::IntfId(intf));
    return member ? keys(*member) : Texts{};
  }
  // What operators follow at level 7.
  Texts steps() const {
    Texts out;
    for (auto const& l : sink.lines()) {
      if (l.handle == "KernelMfibSm" && l.level == 7) out.push_back(l.text);
    }
    return out;
  }
};

TEST_F(AppsTest, AnInterfaceIsHeldFromItsFirstRequesterToItsLast) {
  start();
  requests("pim");
  requests("igmp");
  struct Step {
    char const* app;
    char const* intf;
    int value;  // 1 true, 0 false, -1 key removed
    Texts steps;
    Vifs allocated;
    Texts requestors;  // of Ethernet1
  };
  for (auto const& s : {
           Step{"pim", "Ethernet3", 0, {}, {}, {}},
           Step{"pim", "Ethernet1", 1, {"Adding multicast intf Ethernet1"}, {{"Ethernet1", 1}}, {"pim"}},
           Step{"igmp", "Ethernet1", 1, {}, {{"Ethernet1", 1}}, {"igmp", "pim"}},
           Step{"pim", "Ethernet1", 0, {}, {{"Ethernet1", 1}}, {"igmp"}},
           Step{"pim", "Ethernet3", 1, {"Adding multicast intf Ethernet3"}, {{"Ethernet1", 1}, {"Ethernet3", 2}}, {"igmp"}},
           Step{"igmp", "Ethernet1", -1, {"Removing multicast intf Ethernet1"}, {{"Ethernet3", 2}}, {}},
           Step{"pim", "Ethernet3", 0, {"Removing multicast intf Ethernet3"}, {}, {}},
       }) {
    SCOPED_TRACE(std::string(s.app) + " " + s.intf + " " + std::to_string(s.value));
    sink.clear();
    if (s.value < 0) requests(s.app)->multicastIntf.del(Plix::IntfId(s.intf));
    if (s.value >= 0) request(s.app, s.intf, s.value == 1);
    EXPECT_TRUE(sink.contains("MulticastIntfsAppSm( red )::handleMulticastIntf( " + std::string(s.intf) + " )"));
    EXPECT_EQ(steps(), s.steps);
    EXPECT_EQ(allocated(), s.allocated);
    EXPECT_EQ(requestors("Ethernet1"), s.requestors);
    bool const added = !s.steps.empty() && s.steps[0].starts_with("Adding");
    EXPECT_EQ(sink.containsSubstring("Allocating VIF"), added) << "a VIF is sought only on entering the set";
  }
}

TEST_F(AppsTest, LosingAnEntryWithdrawsExactlyThatApplicationsInterfaces) {
  start();
  struct Case {
    char const* how;
    std::function<void()> lose;
    Texts steps;
    bool appDirSmStays;
  };
  Texts const appGone{"Removing multicast intf Ethernet1", "Deleting multicastIntfsAppDirSm for app pim"};
  for (auto const& c : {
           Case{"vrf entry removed", [&] { apps->entity<Quib::Dir>("pim")->entityPtrDel("red"); },
                {"Deleting multicastIntfsAppSm for vrf : red", "Removing multicast intf Ethernet1"}, true},
           Case{"application entry removed", [&] { apps->entityPtrDel("pim"); }, appGone, false},
           Case{"application entry no directory", [&] { apps->entityPtrIs("pim", Quib::make<Requests>("pim")); },
                appGone, false},
       }) {
    SCOPED_TRACE(c.how);
    apps->entityPtrDel("pim");
    for (auto const* intf : {"Ethernet1", "Ethernet2"}) request("pim", intf, true);
    for (auto const* intf : {"Ethernet2", "Ethernet3"}) request("igmp", intf, true);
    Vifs kept = allocated();
    ASSERT_EQ(kept.size(), 3u);
    kept.erase("Ethernet1");
    sink.clear();
    c.lose();
    EXPECT_EQ(steps(), c.steps);
    EXPECT_EQ(allocated(), kept);
    EXPECT_EQ(requestors("Ethernet2"), Texts{"igmp"});
    EXPECT_EQ(sm->multicastIntfsAppDirSm.has("pim"), c.appDirSmStays);
  }
}

TEST_F(AppsTest, ReplacingAnEntryUnderTheSameNameIsRefused) {
  request("pim", "Ethernet1", true);
  start();
  auto pim = sm->multicastIntfsAppDirSm("pim");
  std::string const prefix = "Reinstantiating the pointer interface where constructor parameter attribute ";
  auto refusal = [&](std::function<void()> const& replace) -> std::string {
    try {
      replace();
    } catch (Quib::NameInUseException const& e) {
      return e.what();
    }
    return "not refused";
  };
  EXPECT_EQ(refusal([&] { apps->entity<Quib::Dir>("pim")->entityPtrIs("red", Quib::make<Requests>("red")); }),
            prefix + "_multicastIntfsForApp has a different value of application/pim/red than the current value of "
                     "red not allowed");
  EXPECT_EQ(refusal([&] { apps->entityPtrIs("pim", Quib::make<Quib::Dir>("pim")); }),
            prefix + "_multicastIntfsAppDir has a different value of application/pim than the current value of pim "
                     "not allowed");
  EXPECT_EQ(sm->multicastIntfsAppDirSm("pim"), pim);
  EXPECT_EQ(allocated(), (Vifs{{"Ethernet1", 1}})) << "the first entity's requests stand";
}

TEST_F(AppsTest, InitialisationTakesTheEntriesPresentAndOnlyTheOwnVrf) {
  for (auto const* vrf : {"blue", "red", "green"}) request("pim", "Ethernet1", true, vrf);
  request("pim", "Ethernet2", false);
  request("igmp", "Ethernet3", true);
  request("ospf", "Ethernet4", true, "blue");
  apps->entityPtrIs("junk", Quib::make<Requests>("junk"));
  start();
  EXPECT_EQ(steps(), (Texts{"Creating multicastIntfsAppDirSm for app igmp", "Processing vrf : red",
                            "Creating multicastIntfsAppSm for vrf : red", "Adding multicast intf Ethernet3",
                            "Creating multicastIntfsAppDirSm for app ospf", "Creating multicastIntfsAppDirSm for app pim",
                            "Processing vrf : red", "Creating multicastIntfsAppSm for vrf : red",
                            "Adding multicast intf Ethernet1"}));
  EXPECT_EQ(allocated(), (Vifs{{"Ethernet1", 2}, {"Ethernet3", 1}}));
  auto pim = sm->multicastIntfsAppDirSm("pim");
  auto pimRed = pim->multicastIntfsAppSm("red");
  EXPECT_EQ(keys(pim->multicastIntfsAppSm), Texts{"red"});
  EXPECT_TRUE(sm->multicastIntfsAppDirSm("ospf")->multicastIntfsAppSm.empty());

  sink.clear();
  sm->handleApplication();
  request("pim", "Ethernet5", true, "yellow");
  apps->entity<Quib::Dir>("pim")->entityPtrDel("blue");
  EXPECT_EQ(steps(), (Texts{"Creating multicastIntfsAppDirSm for app igmp", "Creating multicastIntfsAppDirSm for app ospf",
                            "Creating multicastIntfsAppDirSm for app pim", "Deleting multicastIntfsAppSm for vrf : yellow",
                            "Deleting multicastIntfsAppSm for vrf : blue"}));
  EXPECT_EQ(sm->multicastIntfsAppDirSm("pim"), pim);
  EXPECT_EQ(pim->multicastIntfsAppSm("red"), pimRed);
  EXPECT_EQ(allocated(), (Vifs{{"Ethernet1", 2}, {"Ethernet3", 1}}));

  // Teardown releases every allocation without withdrawing application by application.
  sink.clear();
  sm = nullptr;
  EXPECT_EQ(allocated(), Vifs{});
  EXPECT_EQ(steps(), Texts{});
}

}  // namespace
}  // namespace Routing::KernelMfib
