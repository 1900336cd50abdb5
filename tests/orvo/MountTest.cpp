// Mount groups complete on the event loop, create what nobody published yet, keep what
// was published, and fail on a type clash; shared-memory mounts are visible only while
// mounted.

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "halm/Mount.h"
#include "host/AgentHost.h"
#include "orvo/Cell.h"
#include "orvo/EntityManager.h"
#include "orvo/MountGroup.h"

namespace {

class TestAgent : public AgentBase::CAgent {
 public:
  using CAgent::CAgent;
  void doInit() override {
    auto group = entityManager()->getMountGroup(this);
    for (auto const& m : mounts) group->doMount(m);
    createLocalEntity("AllIntfStatusDir", "Quib::Dir", "interface/status/all");
    localEntitiesCreatedIs(true);
    group->doClose(false, "", 0.0);
  }
  void doMountsComplete(Orvo::MountStatus s, Quib::Ptr<Orvo::EntityManager> const& em) override {
    completions.push_back(s);
    EXPECT_EQ(em, entityManager());
  }
  std::vector<Orvo::Mount> mounts;
  std::vector<Orvo::MountStatus> completions;
};

struct Fixture {
  double now = 0;
  Quib::Ptr<Quib::Clock> clock = Quib::make<Quib::Clock>("clock", [this] { return now; });
  Quib::Ptr<Orvo::EntityManager> em = Quib::make<Orvo::EntityManager>(clock);
  ~Fixture() { clock->runDue(Quib::Clock::never); }
};

TEST(MountGroup, CompletesLaterWithTheOutcome) {
  struct Case {
    char const* what;
    std::vector<Orvo::Mount> mounts;
    Orvo::MountStatus status;
  };
  std::vector<Case> cases = {
      {"fresh paths are created", {{"routing/multicast/fib", "Quib::Dir", "ri"}, {Cell::path("a/b"), "Quib::Dir", "w"}},
       Orvo::mountSuccess_},
      {"unknown type", {{"routing/multicast/fib", "Quib::Dir", "ri"}, {"x/y", "No::Such", "r"}}, Orvo::mountUnknownType_},
      {"type clash with a local entity", {{"interface/status/all/x", "Quib::Dir", "r"}, {"interface", "Quib::Clock", "r"}},
       Orvo::mountTypeMismatch_},
  };
  for (auto& c : cases) {
    Fixture f;
    AgentBase::AgentHost host(f.em);
    auto agent = Quib::make<TestAgent>("agent");
    agent->mounts = c.mounts;
    host.agentIs([&](Quib::Name const&) { return agent; }, "agent");
    EXPECT_TRUE(agent->completions.empty()) << c.what << ": never inside doClose";
    f.clock->runDue(0);
    EXPECT_EQ(agent->completions, std::vector<Orvo::MountStatus>{c.status}) << c.what;
    EXPECT_EQ(agent->localEntities().at("AllIntfStatusDir"), "interface/status/all");
  }
  Fixture f;
  auto published = f.em->root()->mkdirs("routing/multicast/fib");
  AgentBase::AgentHost host(f.em);
  auto agent = Quib::make<TestAgent>("agent");
  agent->mounts = {{"routing/multicast/fib", "Quib::Dir", "ri"}};
  host.agentIs([&](Quib::Name const&) { return agent; }, "agent");
  f.clock->runDue(0);
  EXPECT_EQ(f.em->getEntity("routing/multicast/fib"), published) << "a published entity is kept";
  EXPECT_EQ(f.em->getEntity("cell/1/a/b"), nullptr);
}

TEST(MountGroup, AgentGoneBeforeCompletionIsNotCalled) {
  Fixture f;
  {
    AgentBase::AgentHost host(f.em);
    auto agent = Quib::make<TestAgent>("agent");
    agent->mounts = {{"a", "Quib::Dir", "r"}};
    host.agentIs([&](Quib::Name const&) { return agent; }, "agent");
  }
  f.clock->runDue(0);  // the agent is gone: must not be called (checked under the sanitizers)
  EXPECT_NE(f.em->getEntity("a"), nullptr) << "the mounts are still made";
}

TEST(Mount, BadFlagsAreRefused) {
  EXPECT_THROW(Orvo::Mount("a", "Quib::Dir", "rx"), std::invalid_argument);
  EXPECT_THROW(Orvo::Mount("a", "Quib::Dir", "i"), std::invalid_argument);
  EXPECT_THROW(Orvo::Mount("", "Quib::Dir", "r"), std::invalid_argument);
  EXPECT_EQ(Orvo::Mount("a", "Quib::Dir", "ri").subtree(), true);
}

TEST(HalmMount, VisibleWhileMountedAndKeptByTheDatabase) {
  Fixture f;
  QuibHalm::Mount handle(f.em);
  EXPECT_EQ(handle.getEntity("kni/ns/red/status"), nullptr);
  auto e = handle.doMount("kni/ns/red/status", "Quib::Dir", QuibHalm::MountInfo{QuibHalm::quibHalmStatusTable_});
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(QuibHalm::Mount(f.em).getEntity("kni/ns/red/status"), e) << "another handle sees the mount";
  handle.doUnmount("kni/ns/red/status");
  EXPECT_EQ(handle.getEntity("kni/ns/red/status"), nullptr);
  EXPECT_EQ(f.em->getEntity("kni/ns/red/status"), e) << "unmounting leaves what was published";
  EXPECT_EQ(handle.doMount("kni", "Quib::Clock", {}), nullptr) << "type clash";
}

TEST(HalmMount, CountedPerPath) {
  Fixture f;
  QuibHalm::Mount first(f.em);
  QuibHalm::Mount second(f.em);
  std::string const path = "kni/ns/red/status";
  auto e = first.doMount(path, "Quib::Dir", QuibHalm::MountInfo{QuibHalm::quibHalmStatusTable_});
  EXPECT_EQ(second.doMount(path, "Quib::Dir", QuibHalm::MountInfo{QuibHalm::quibHalmStatusTable_}), e);
  EXPECT_EQ(f.em->halmMounts(path), 2u);
  first.doUnmount(path);
  EXPECT_EQ(second.getEntity(path), e) << "the other mount still holds it";
  second.doUnmount(path);
  EXPECT_EQ(second.getEntity(path), nullptr);
  EXPECT_FALSE(f.em->isHalmMounted(path));
  second.doUnmount(path);
  EXPECT_EQ(f.em->halmMounts(path), 0u) << "an unmount too many changes nothing";
  EXPECT_EQ(second.doMount("kni", "Quib::Clock", {}), nullptr);
  EXPECT_EQ(f.em->halmMounts("kni"), 0u) << "a refused mount is not counted";
}

}  // namespace
