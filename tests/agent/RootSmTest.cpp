// The root machine: nothing happens before it is initialised, each VRF is torn down with
// the namespace its machine was built with, and the order of creation and deletion.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/Agent4.h"
#include "entities/EntityTypes.h"
#include "entities/KniStatusMount.h"
#include "host/ActivityManager.h"
#include "orvo/Cell.h"
#include "tests/support/EnvScope.h"
#include "trace/CaptureSink.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace {

class RootSmTest : public testing::Test {
 protected:
  RootSmTest() {
    Entities::registerTypes(*em);
    agent = Quib::ptrCast<KernelMfibAgent::Agent>(KernelMfibAgent::agent4Factory("agent"));
    agent->entityManagerIs(em);
    agent->doInit();
    am.loop().advance(0);
    vrfs = Quib::ptrCast<Ip::AllVrfStatusLocal>(em->getEntity(Cell::path("ip/vrf/status/local")));
    configs = Quib::ptrCast<Routing::KernelMfib::ConfigColl>(em->getEntity("routing/kernelmfib/config"));
    status = Quib::ptrCast<Routing::KernelMfib::StatusColl>(em->getEntity(Cell::path("routing/kernelmfib/status")));
  }
  KernelMfibAgent::RootSm& root() { return *agent->rootSm(); }
  bool mounted(char const* ns) { return em->isHalmMounted(KernelNetInfo::kniStatusMount(Plix::NamespaceName(ns))); }

  TestSupport::EnvScope noTrace{"VORLAK_DISABLE", "1"};
  Trace::CaptureSink sink;
  Trace::SinkScope sinkScope{sink};
  Trace::SelectionScope selection{"KernelMfibAgent/3"};
  Quib::ActivityManager am;
  Quib::Ptr<Orvo::EntityManager> em = Quib::make<Orvo::EntityManager>(am.clock());
  Quib::Ptr<KernelMfibAgent::Agent> agent;
  Quib::Ptr<Ip::AllVrfStatusLocal> vrfs;
  Quib::Ptr<Routing::KernelMfib::ConfigColl> configs;
  Quib::Ptr<Routing::KernelMfib::StatusColl> status;
};

TEST_F(RootSmTest, TeardownUsesTheNamespaceTheMachineWasBuiltWith) {
  L3::VrfName const red("red");
  vrfs->vrf.is(red)->networkNamespace.is(Plix::NamespaceName("nsA"));
  configs->vrfConfig.is(red);
  ASSERT_TRUE(root().mfibSm.has(red));
  EXPECT_TRUE(mounted("nsA"));
  EXPECT_TRUE(status->vrfStatus.has(red));

  // Straight from one namespace to another: the machine, its mount and directory stay.
  auto sm = root().mfibSm(red);
  auto dir = root().kernelVrfIntfStatusDir("red");
  vrfs->vrf(red)->networkNamespace.is(Plix::NamespaceName("nsB"));
  EXPECT_EQ(root().mfibSm(red), sm);
  EXPECT_EQ(root().kernelVrfIntfStatusDir("red"), dir);
  EXPECT_EQ(sm->ns(), "nsA");
  EXPECT_FALSE(mounted("nsB"));

  sink.clear();
  configs->vrfConfig.del(red);
  EXPECT_FALSE(root().mfibSm.has(red));
  EXPECT_FALSE(mounted("nsA")) << "the namespace the machine was built with is unmounted";
  EXPECT_FALSE(root().kernelVrfIntfStatusDir.has("red"));
  EXPECT_FALSE(root().keyToSync.has(red));
  EXPECT_FALSE(status->vrfStatus.has(red));
  EXPECT_EQ(sink.texts("KernelMfibAgent"), std::vector<std::string>{"Deleting kernel Mfib Sm for vrf red"});
}

TEST_F(RootSmTest, RemovingTheVrfEntryOrItsNamespaceDeletesIt) {
  L3::VrfName const red("red");
  configs->vrfConfig.is(red);
  EXPECT_FALSE(root().mfibSm.has(red)) << "no namespace yet";
  vrfs->vrf.is(red);
  EXPECT_FALSE(root().mfibSm.has(red)) << "an empty namespace is none";
  vrfs->vrf(red)->networkNamespace.is(Plix::NamespaceName("nsA"));
  EXPECT_TRUE(root().mfibSm.has(red)) << "a namespace set later is followed";
  vrfs->vrf(red)->networkNamespace.is(Plix::NamespaceName());
  EXPECT_FALSE(root().mfibSm.has(red));
  vrfs->vrf(red)->networkNamespace.is(Plix::NamespaceName("nsA"));
  vrfs->vrf.del(red);
  EXPECT_FALSE(root().mfibSm.has(red));
  EXPECT_FALSE(mounted("nsA"));
  EXPECT_EQ(sink.count("KernelMfibAgent", 3), 4u) << "two creations and two deletions";
}

TEST_F(RootSmTest, DestroyingTheRootLeavesStatusAndMountsInPlace) {
  configs->vrfConfig.is(L3::VrfName("default"));
  ASSERT_TRUE(root().mfibSm.has(L3::VrfName("default")));
  agent->rootSmDel();
  EXPECT_TRUE(status->vrfStatus.has(L3::VrfName("default")));
  EXPECT_TRUE(mounted("default")) << "destruction unmounts nothing";
}

}  // namespace
