// The agent frame: what each variant mounts and publishes, the binary trace's file name,
// the keep-or-replace rule of the root machine, and the stop on a failed mount.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "agent/Agent4.h"
#include "agent/Agent6.h"
#include "entities/EntityTypes.h"
#include "host/AgentHost.h"
#include "host/ActivityManager.h"
#include "orvo/MountGroup.h"
#include "tests/support/EnvScope.h"
#include "tests/support/TempDir.h"
#include "trace/vorlak/Vorlak.h"

namespace {

using MountRow = std::tuple<std::string, std::string, std::string>;

struct World {
  Quib::ActivityManager am;
  Quib::Ptr<Orvo::EntityManager> em = Quib::make<Orvo::EntityManager>(am.clock());
  World() { Entities::registerTypes(*em); }

  Quib::Ptr<KernelMfibAgent::Agent> start(AgentBase::AgentHost::Factory const& factory, bool complete = true) {
    auto agent = Quib::ptrCast<KernelMfibAgent::Agent>(factory("agent"));
    agent->entityManagerIs(em);
    agent->doInit();
    if (complete) am.loop().advance(0);
    return agent;
  }
};

std::vector<MountRow> mountsOf(KernelMfibAgent::Agent const& agent) {
  std::vector<MountRow> rows;
  for (auto* group : agent.pendingMountGroups()) {
    for (auto const& m : group->mounts()) rows.emplace_back(m.path(), m.typeName(), m.flags());
  }
  return rows;
}

TEST(Agent, MountTableOfBothVariants) {
  TestSupport::EnvScope noTrace("VORLAK_DISABLE", "1");
  std::vector<MountRow> const v4 = {
      {"routing/multicast/fib", "Quib::Dir", "ri"},
      {"routing/kernelmfib/config", "Routing::KernelMfib::ConfigColl", "r"},
      {"cell/1/routing/kernelmfib/status", "Routing::KernelMfib::StatusColl", "w"},
      {"multicastIntfs/application", "Quib::Dir", "ri"},
      {"cell/1/ip/vrf/status/local", "Ip::AllVrfStatusLocal", "r"},
  };
  std::vector<MountRow> const v6 = {
      {"routing6/multicast/fib", "Quib::Dir", "ri"},
      {"routing6/kernelmfib/config", "Routing::KernelMfib::ConfigColl", "r"},
      {"cell/1/routing6/kernelmfib/status", "Routing::KernelMfib::StatusColl", "w"},
      {"multicastIntfs6/application", "Quib::Dir", "ri"},
      {"cell/1/ip/vrf/status/local", "Ip::AllVrfStatusLocal", "r"},
  };
  std::map<std::string, std::string> const locals = {{"AllIntfStatusDir", "interface/status/all"},
                                                     {"AllIntfStatusLocalDir", "cell/1/interface/status/local"}};
  struct Case {
    AgentBase::AgentHost::Factory factory;
    std::vector<MountRow> mounts;
    Plix::AddressFamily af;
  };
  Case const cases[] = {{KernelMfibAgent::agent4Factory, v4, Plix::AddressFamily::ipv4},
                        {KernelMfibAgent::agent6Factory, v6, Plix::AddressFamily::ipv6}};
  for (auto const& c : cases) {
    World w;
    auto agent = w.start(c.factory, false);
    EXPECT_EQ(mountsOf(*agent), c.mounts);
    EXPECT_EQ(agent->localEntities(), locals);
    EXPECT_TRUE(agent->localEntitiesCreated());
    EXPECT_TRUE(Quib::activityManager()->config().useEpoll()) << "the agent asks for the epoll loop";
    EXPECT_FALSE(agent->rootSm()) << "nothing before the mounts complete";
    w.am.loop().advance(0);
    ASSERT_TRUE(agent->rootSm());
    EXPECT_EQ(agent->rootSm()->af(), c.af);
    EXPECT_TRUE(agent->rootSm()->isNotificationActive());
    EXPECT_TRUE(agent->rootSm()->initialized());
    EXPECT_EQ(agent->intfStatusManagerRoot()->filterByNetNs(), true);
    EXPECT_EQ(agent->vifStatusColl(), w.em->getEntity(std::get<0>(c.mounts[2])));
  }
  World w;
  auto plain = w.start(KernelMfibAgent::agentFactory);
  EXPECT_TRUE(mountsOf(*plain).empty());
  EXPECT_TRUE(plain->localEntities().empty());
  EXPECT_FALSE(plain->rootSm()) << "a plain Agent builds no root machine";
}

TEST(Agent, BinaryTraceFileName) {
  TestSupport::TempDir dir;
  {
    TestSupport::EnvScope unset("VORLAKDIR", nullptr);
    EXPECT_EQ(KernelMfibAgent::Agent::vorlakFileName("KernelMfib"), "KernelMfib-%d.vk");
  }
  TestSupport::EnvScope vorlakDir("VORLAKDIR", dir.path().c_str());
  EXPECT_EQ(KernelMfibAgent::Agent::vorlakFileName("KernelMfib"), "KernelMfib.vk");
  {
    TestSupport::EnvScope disabled("VORLAK_DISABLE", "1");
    World w;
    w.start(KernelMfibAgent::agent4Factory);
    EXPECT_FALSE(Vorlak::isActive()) << "disabled: never initialized";
  }
  TestSupport::EnvScope enabled("VORLAK_DISABLE", nullptr);
  World w;
  auto agent = w.start(KernelMfibAgent::agent4Factory);
  EXPECT_TRUE(Vorlak::isActive());
  EXPECT_TRUE(std::filesystem::exists(dir.file("agent.vk")));
  EXPECT_TRUE(agent->rootSm()) << "start-up goes on with the trace";
  Vorlak::shutdown();
}

TEST(Agent, RootSmIsKeptOnEqualArgumentsAndReplacedOnAnyDifference) {
  TestSupport::EnvScope noTrace("VORLAK_DISABLE", "1");
  World w;
  auto agent = w.start(KernelMfibAgent::agent4Factory);
  auto first = agent->rootSm();
  auto again = [&](Plix::AddressFamily af, Quib::Ptr<Quib::Clock const> clock) {
    return agent->rootSmIs(af, agent->multicastIntfsAppDir(), agent->vifConfigColl(), agent->vifStatusColl(),
                           agent->mfibDir(), agent->allIntfStatusDir(), agent->allIntfStatusLocalDir(),
                           agent->allVrfStatusLocal(), clock, w.em, agent->intfStatusManagerRoot(), agent.ptr());
  };
  EXPECT_EQ(again(Plix::AddressFamily::ipv4, w.am.clock()), first);
  auto other = Quib::make<Quib::Clock>("other", [] { return 0.0; });
  auto second = again(Plix::AddressFamily::ipv4, other);
  EXPECT_NE(second, first);
  EXPECT_FALSE(first->isNotificationActive()) << "the replaced machine is switched off";
  EXPECT_TRUE(second->isNotificationActive());
  EXPECT_NE(again(Plix::AddressFamily::ipv6, other), second);
}

TEST(AgentDeathTest, FailedMountStopsTheAgent) {
  TestSupport::EnvScope noTrace("VORLAK_DISABLE", "1");
  EXPECT_DEATH(
      {
        World w;
        // Another type already stands where the route-table directory is mounted.
        Orvo::MountStatus s;
        w.em->entityIs("routing/multicast/fib", "Routing::KernelMfib::ConfigColl", &s);
        w.start(KernelMfibAgent::agent4Factory);
      },
      "mountStatus == Orvo::mountSuccess_");
}

}  // namespace
