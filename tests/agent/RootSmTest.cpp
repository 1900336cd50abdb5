// The root machine: nothing happens before it is initialised, each VRF is torn down with
// the namespace its machine was built with, the order of creation and deletion, and the
// level-3 messages that tell them.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "agent/Agent4.h"
#include "entities/EntityTypes.h"
#include "entities/KniStatusMount.h"
#include "entities/MulticastIntfsForApplications.h"
#include "entities/kni/Status.h"
#include "halm/Status.h"
#include "host/ActivityManager.h"
#include "kernel/SimKernel.h"
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
  static std::vector<Kernel::CallKind> calls(Kernel::SimKernel const& sim) {
    std::vector<Kernel::CallKind> out;
    for (auto const& c : sim.calls()) out.push_back(c.kind);
    return out;
  }
  bool mounted(char const* ns) { return em->isHalmMounted(KernelNetInfo::kniStatusMount(Plix::NamespaceName(ns))); }

  // Interface `intf` is carried by device `dev` (kernel index `ifIndex`) of the default
  // namespace, and application pim asks for it in the default VRF.
  void requestedIntf(char const* intf, char const* dev, std::uint32_t ifIndex) {
    Plix::NamespaceName const ns = Plix::NamespaceName::defaultNamespace();
    sim.linkIs(ns, dev, ifIndex);
    Orvo::MountStatus mounted = Orvo::mountPending_;
    auto kni = Quib::ptrCast<KernelNetInfo::Status>(
        em->entityIs(KernelNetInfo::kniStatusMount(ns), std::string(KernelNetInfo::Status::type), &mounted));
    kni->ifIndex.is(dev, ifIndex);
    auto intfs = Quib::ptrCast<Interface::AllIntfStatusDir>(em->getEntity("interface/status/all"));
    intfs->intfStatus.is(Plix::IntfId(intf))->deviceName.is(dev);
    using Requests = McastCommon::MulticastIntfsForApplications;
    auto pim = Quib::ptrCast<Quib::Dir>(em->getEntity("multicastIntfs/application"))->mkdir("pim");
    if (!pim->entity<Requests>("default")) pim->entityPtrIs("default", Quib::make<Requests>("default"));
    pim->entity<Requests>("default")->multicastIntf.is(Plix::IntfId(intf), true);
  }

  Kernel::SimKernel sim;
  Kernel::Backend::Use use{sim};
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

// What exists of a VRF's machines at some moment, for following the order of their
// creation and deletion: the status entry is made first and removed last.
class VrfSnapshots : public Routing::KernelMfib::StatusColl::NotifieeConst {
 public:
  VrfSnapshots(KernelMfibAgent::RootSm& root, Quib::Ptr<Routing::KernelMfib::StatusColl> const& status,
               Quib::Ptr<Orvo::EntityManager> const& em, Trace::CaptureSink const& sink)
      : root_(root), em_(em), sink_(sink) {
    notifierIs(status);
    hasNotificationActiveIs(true);
  }
  void onVrfStatus(L3::VrfName const&) override { take("status"); }
  // Records what exists now, unless it is what the last record says already.
  void take(char const* when) {
    L3::VrfName const red("red");
    std::ostringstream os;
    os << when << ": status=" << notifier()->vrfStatus.has(red) << " key=" << root_.keyToSync.has(red)
       << " kni=" << em_->isHalmMounted(KernelNetInfo::kniStatusMount(Plix::NamespaceName("nsA")))
       << " sm=" << root_.mfibSm.has(red) << " sync=" << root_.vifMrouteSyncSm.has(red)
       << " messages=" << sink_.count("KernelMfibAgent", 3);
    if (records.empty() || records.back() != os.str()) records.push_back(os.str());
  }
  std::vector<std::string> records;

 private:
  KernelMfibAgent::RootSm& root_;
  Quib::Ptr<Orvo::EntityManager> em_;
  Trace::CaptureSink const& sink_;
};

TEST_F(RootSmTest, MachinesAreCreatedAndDeletedInOrder) {
  Kernel::SimKernel sim;
  Kernel::Backend::Use use{sim};
  sim.netnsIs(Plix::NamespaceName("nsA"));
  L3::VrfName const red("red");
  auto fib = Quib::ptrCast<Quib::Dir>(em->getEntity("routing/multicast/fib"));
  fib->mkdir("red")->entityPtrIs("mroute", Quib::make<Halm::Multicast::Fib::Status>("mroute"));
  vrfs->vrf.is(red)->networkNamespace.is(Plix::NamespaceName("nsA"));
  VrfSnapshots snapshots(root(), status, em, sink);
  sim.callHookIs([&] { snapshots.take("kernel"); });  // the machine opens its socket as it is built

  configs->vrfConfig.is(red);
  snapshots.take("done");
  EXPECT_EQ(snapshots.records, (std::vector<std::string>{
                                   "status: status=1 key=0 kni=0 sm=0 sync=0 messages=0",
                                   "kernel: status=1 key=1 kni=1 sm=0 sync=0 messages=1",
                                   "done: status=1 key=1 kni=1 sm=1 sync=1 messages=1",
                               }));

  sink.clear();
  sim.callsDelAll();
  snapshots.records.clear();
  configs->vrfConfig.del(red);
  EXPECT_EQ(snapshots.records, (std::vector<std::string>{
                                   // Shutting down and closing the socket as the machine goes.
                                   "kernel: status=1 key=1 kni=0 sm=0 sync=0 messages=1",
                                   "status: status=0 key=0 kni=0 sm=0 sync=0 messages=1",
                               }));
  EXPECT_EQ(calls(sim), (std::vector<Kernel::CallKind>{Kernel::CallKind::done, Kernel::CallKind::close}));
  sim.callHookIs(nullptr);
}

TEST_F(RootSmTest, LevelThreeMessagesTellEachCreationAndDeletion) {
  L3::VrfName const red("red");
  auto fib = Quib::ptrCast<Quib::Dir>(em->getEntity("routing/multicast/fib"));
  auto mroute = Quib::make<Halm::Multicast::Fib::Status>("mroute");
  auto other = Quib::make<Halm::Multicast::Fib::Status>("other");
  vrfs->vrf.is(red)->networkNamespace.is(Plix::NamespaceName("nsA"));
  struct Step {
    char const* what;
    std::function<void()> change;
    std::vector<std::string> messages;
    bool sync;
  };
  std::vector<Step> const steps = {
      {"configured without tables", [&] { configs->vrfConfig.is(red); },
       {"Creating new kernel Mfib Sm without Mfib halm for vrf red"}, false},
      {"its tables arrive: the same machine is given them", [&] { fib->mkdir("red")->entityPtrIs("mroute", mroute); },
       {}, true},
      {"a second table", [&] { fib->entity<Quib::Dir>("red")->entityPtrIs("other", other); }, {}, true},
      {"the first table leaves, one is left", [&] { fib->entity<Quib::Dir>("red")->entityPtrDel("mroute"); }, {},
       true},
      {"the last table leaves", [&] { fib->entity<Quib::Dir>("red")->entityPtrDel("other"); },
       {"Deleting vifMrouteSyncSm since mfib halm for vrf red was unmounted."}, false},
      {"the configuration goes", [&] { configs->vrfConfig.del(red); }, {"Deleting kernel Mfib Sm for vrf red"}, false},
      {"tables first, then the configuration",
       [&] {
         fib->mkdir("red")->entityPtrIs("mroute", mroute);
         configs->vrfConfig.is(red);
       },
       {"Creating new kernel Mfib Sm for vrf red"}, true},
  };
  for (auto const& step : steps) {
    SCOPED_TRACE(step.what);
    sink.clear();
    step.change();
    EXPECT_EQ(sink.texts("KernelMfibAgent"), step.messages);
    EXPECT_EQ(root().vifMrouteSyncSm.has(red), step.sync);
  }
}

TEST_F(RootSmTest, DestroyingTheRootLeavesStatusAndMountsInPlace) {
  configs->vrfConfig.is(L3::VrfName("default"));
  ASSERT_TRUE(root().mfibSm.has(L3::VrfName("default")));
  agent->rootSmDel();
  EXPECT_TRUE(status->vrfStatus.has(L3::VrfName("default")));
  EXPECT_TRUE(mounted("default")) << "destruction unmounts nothing";
}

// A root machine replaced while VRFs run is gone before its successor starts: the old
// socket is closed before the new one opens, and the old machines' teardown leaves the new
// machine's VIF allocations alone.
TEST_F(RootSmTest, ReplacingTheRootDeletesTheOldOneFirst) {
  L3::VrfName const def("default");
  configs->vrfConfig.is(def);
  requestedIntf("Ethernet1", "eth1", 11);
  am.loop().advance(0.1);
  ASSERT_EQ(status->vrfStatus(def)->vifStatusColl(Plix::IntfId("Ethernet1")), 1);
  auto old = agent->rootSm().ptr();
  EXPECT_EQ(agent
                ->rootSmIs(Plix::AddressFamily::ipv4, agent->multicastIntfsAppDir(), agent->vifConfigColl(),
                           agent->vifStatusColl(), agent->mfibDir(), agent->allIntfStatusDir(),
                           agent->allIntfStatusLocalDir(), agent->allVrfStatusLocal(), am.clock(), em,
                           agent->intfStatusManagerRoot(), agent.ptr())
                .ptr(),
            old)
      << "equal arguments keep the machine";

  sim.callsDelAll();
  sink.clear();
  agent->rootSmIs(Plix::AddressFamily::ipv4, agent->multicastIntfsAppDir(), agent->vifConfigColl(),
                  agent->vifStatusColl(), agent->mfibDir(), agent->allIntfStatusDir(), agent->allIntfStatusLocalDir(),
                  agent->allVrfStatusLocal(), am.clock(), em, agent->intfStatusManagerRoot(), nullptr);
  std::vector<Kernel::CallKind> order;
  for (auto const& c : sim.calls()) {
    if (c.kind == Kernel::CallKind::close || c.kind == Kernel::CallKind::socket) order.push_back(c.kind);
  }
  EXPECT_EQ(order, (std::vector<Kernel::CallKind>{Kernel::CallKind::close, Kernel::CallKind::socket}));
  EXPECT_EQ(sink.texts("KernelMfibAgent"), std::vector<std::string>{"Creating new kernel Mfib Sm without Mfib halm for vrf default"});
  auto const vrfStatus = status->vrfStatus(def);
  EXPECT_EQ(vrfStatus->vifConfigColl(Plix::IntfId("Ethernet1")), 1) << "the old teardown strips nothing new";
  EXPECT_EQ(vrfStatus->vifStatusColl(Plix::IntfId("Ethernet1")), 1);
  auto const kernel = sim.snapshot(Plix::NamespaceName::defaultNamespace());
  ASSERT_EQ(kernel.size(), 1u);
  EXPECT_TRUE(kernel[0].mrtOn) << "one socket holds multicast routing";
  ASSERT_EQ(kernel[0].vifs.size(), 2u);
  EXPECT_EQ(kernel[0].vifs[1].ifindex, 11u);
}

// Two VRFs whose machines work in one namespace each hold their own mount of its kernel
// network information and their own device view; one VRF's teardown leaves the other's.
TEST_F(RootSmTest, VrfsSharingANamespaceKeepWhatEachHolds) {
  L3::VrfName const red("red");
  L3::VrfName const blue("blue");
  std::string const nsA = KernelNetInfo::kniStatusMount(Plix::NamespaceName("nsA"));
  vrfs->vrf.is(red)->networkNamespace.is(Plix::NamespaceName("nsA"));
  configs->vrfConfig.is(red);
  auto redDevices = root().mfibSm(red)->deviceIntfStatusDir();
  vrfs->vrf(red)->networkNamespace.is(Plix::NamespaceName("nsB"));
  vrfs->vrf.is(blue)->networkNamespace.is(Plix::NamespaceName("nsA"));
  configs->vrfConfig.is(blue);
  auto blueDevices = root().mfibSm(blue)->deviceIntfStatusDir();
  auto const& managers = *agent->intfStatusManagerRoot();
  EXPECT_EQ(em->halmMounts(nsA), 2u);
  ASSERT_TRUE(managers.intfStatusManager(Plix::NamespaceName("nsA"), redDevices));
  ASSERT_TRUE(managers.intfStatusManager(Plix::NamespaceName("nsA"), blueDevices));

  configs->vrfConfig.del(red);
  EXPECT_TRUE(mounted("nsA")) << "blue still uses it";
  EXPECT_FALSE(managers.intfStatusManager(Plix::NamespaceName("nsA"), redDevices));
  EXPECT_TRUE(managers.intfStatusManager(Plix::NamespaceName("nsA"), blueDevices));

  configs->vrfConfig.del(blue);
  EXPECT_FALSE(mounted("nsA"));
  EXPECT_EQ(managers.intfStatusManagers(), 0u);
}

}  // namespace
