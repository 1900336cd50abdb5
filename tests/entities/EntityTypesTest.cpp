// Every platform entity type can be created by its name through the state database, and
// the ICMPv6 relay keeps and reports the socket it is handed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entities/EntityTypes.h"
#include "entities/IntfStatus.h"
#include "entities/KniStatusMount.h"
#include "entities/MrtIcmpV6RelaySm.h"
#include "entities/kni/Status.h"
#include "orvo/EntityManager.h"
#include "quib/OwnedAttr.h"
#include "trace/CaptureSink.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace {

TEST(EntityTypes, EachTypeIsCreatedByNameThroughTheEntityManager) {
  auto em = Quib::make<Orvo::EntityManager>(Quib::make<Quib::Clock>("clock", [] { return 0.0; }));
  std::vector<std::string> const types = {
      "Routing::KernelMfib::Config",        "Routing::KernelMfib::ConfigColl",
      "Routing::KernelMfib::Status",        "Routing::KernelMfib::StatusColl",
      "Ip::VrfStatusLocal",                 "Ip::AllVrfStatusLocal",
      "McastCommon::MulticastIntfsForApplications",
      "Interface::IntfStatus",              "Interface::AllIntfStatusDir",
      "Interface::AllIntfStatusLocalDir",   "Interface::DeviceIntfStatusDir",
      "Interface::DeviceVrfIntfStatusDir",  "KernelNetInfo::Status",
  };
  Orvo::MountStatus status = Orvo::mountPending_;
  EXPECT_FALSE(em->entityIs("before", types.front(), &status));
  EXPECT_EQ(status, Orvo::mountUnknownType_);

  Entities::registerTypes(*em);
  for (auto const& type : types) {
    // Each class reports its own type name, so this also shows the factory built the right one.
    auto e = em->entityIs("x/" + type + "/Ethernet1", type, &status);
    ASSERT_TRUE(e) << type;
    EXPECT_EQ(status, Orvo::mountSuccess_) << type;
    EXPECT_EQ(e->typeName(), type);
    EXPECT_EQ(e->name(), "Ethernet1") << type;
  }
  auto intf = Quib::ptrCast<Interface::IntfStatus>(em->getEntity("x/Interface::IntfStatus/Ethernet1"));
  EXPECT_EQ(intf->intfId(), Plix::IntfId("Ethernet1"));

  // Where the agent mounts a namespace's devices is where the type is found by name.
  auto kni = em->entityIs(KernelNetInfo::kniStatusMount("ns-red"), "KernelNetInfo::Status", &status);
  EXPECT_EQ(em->getEntity("kni/ns/ns-red/status"), kni);
}

TEST(MrtIcmpV6RelaySm, KeepsAndTracesTheSocketAndIsKeptForEqualArguments) {
  using Routing::Multicast::Notify::MrtIcmpV6RelaySm;
  Trace::CaptureSink sink;
  Trace::SinkScope sinkScope(sink);
  Trace::SelectionScope selection("MrtIcmpV6RelaySm/5");
  auto status = Quib::make<Routing::KernelMfib::Status>("red");

  auto sm = MrtIcmpV6RelaySm::MrtIcmpV6RelaySmIs("relaySm", "ns-red", status);
  EXPECT_TRUE(sm->isNotificationActive());
  for (int sd : {7, -1, 9}) sm->mrtSkSdIs(sd);
  EXPECT_EQ(sm->mrtSkSd(), 9);
  EXPECT_EQ(sink.texts("MrtIcmpV6RelaySm"),
            (std::vector<std::string>{"relaySm in ns-red uses socket 7", "relaySm in ns-red uses socket -1",
                                      "relaySm in ns-red uses socket 9"}));

  Quib::OwnedAttr<MrtIcmpV6RelaySm> owned;
  Quib::Name const name = "relaySm";
  Plix::NamespaceName const ns = "ns-red";
  auto held = owned.is(name, ns, status);
  EXPECT_EQ(owned.is(name, ns, status), held);
  EXPECT_NE(owned.is(name, ns, Quib::make<Routing::KernelMfib::Status>("red")), held) << "another status entity";
  EXPECT_FALSE(held->isNotificationActive());
}

}  // namespace
