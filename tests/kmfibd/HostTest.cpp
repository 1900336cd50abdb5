// What the platform statements publish in the state database, and that a refused
// statement leaves it as it was.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "entities/KniStatusMount.h"
#include "entities/MulticastIntfsForApplications.h"
#include "entities/kni/Status.h"
#include "halm/Status.h"
#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/StatementParser.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"
#include "trace/StreamSink.h"

namespace {

class HostTest : public testing::Test {
 protected:
  void run(std::string const& line) {
    std::ostringstream out;
    host.apply(*parser.parse(line), out);
  }
  std::string refusal(std::string const& line) {
    try {
      run(line);
    } catch (Kmfibd::StatementError const& e) {
      return e.what();
    }
    return "accepted";
  }
  template <class T>
  Quib::Ptr<T> at(std::string const& path) {
    return Quib::ptrCast<T>(host.entityManager()->getEntity(path));
  }

  Kmfibd::Host host{{}};
  Kmfibd::StatementParser parser{Plix::AddressFamily::ipv4};
};

TEST_F(HostTest, KernelDevicesAreMirroredPerNamespace) {
  run("netns red");
  run("link red eth1 7");
  run("link red eth2 8");
  auto kni = at<KernelNetInfo::Status>(KernelNetInfo::kniStatusMount(Plix::NamespaceName("red")));
  ASSERT_TRUE(kni);
  EXPECT_EQ(kni->ifIndex("eth1"), 7u);
  run("no link red eth1");
  EXPECT_FALSE(kni->ifIndex.has("eth1"));
  EXPECT_EQ(refusal("no link red eth1"), "no device eth1 in namespace red");
  EXPECT_EQ(kni->ifIndex("eth2"), 8u) << "a refused removal changes nothing";
  run("link red eth2 9");
  EXPECT_EQ(kni->ifIndex("eth2"), 9u) << "a device restated with another index";
  run("no netns red");
  EXPECT_TRUE(kni->ifIndex.empty()) << "a removed namespace has no devices";
  EXPECT_EQ(refusal("link red eth1 7"), "no namespace red");
  EXPECT_EQ(refusal("no netns default"), "the default namespace cannot be removed");
}

TEST_F(HostTest, EntitiesChangeInPlace) {
  run("vrf red netns ns1");
  auto vrfs = at<Ip::AllVrfStatusLocal>(host.paths().vrfStatus);
  auto red = vrfs->vrf(L3::VrfName("red"));
  run("vrf red netns ns2");
  EXPECT_EQ(vrfs->vrf(L3::VrfName("red")), red) << "the same entry, its namespace changed";
  EXPECT_EQ(red->networkNamespace(), "ns2");
  run("vrf red");
  EXPECT_TRUE(red->networkNamespace().empty());

  run("config red max 3");
  run("config red unresolved-buffers 9");
  auto config = at<Routing::KernelMfib::ConfigColl>(host.paths().config)->vrfConfig(L3::VrfName("red"));
  EXPECT_EQ(config->max(), 3u) << "a later config changes only what it names";
  EXPECT_EQ(config->maxUnresolvedPktBuffers(), 9u);
  EXPECT_EQ(config->maxUnresolvedCacheEntries(), 10u);

  run("table red pim preference 50");
  run("table red pim");
  auto fib = at<Quib::Dir>(host.paths().mfibDir);
  auto table = fib->entity<Quib::Dir>("red")->entity<Halm::Multicast::Fib::Status>("pim");
  EXPECT_EQ(table->preference(), 50u) << "a table statement without preference keeps it";
  run("no table red pim");
  EXPECT_FALSE(fib->entity<Quib::Dir>("red")) << "a VRF directory goes with its last table";
}

TEST_F(HostTest, RequestsAndTheirRemovalForms) {
  using Requests = McastCommon::MulticastIntfsForApplications;
  auto apps = at<Quib::Dir>(host.paths().appDir);
  run("request pim red Ethernet1");
  run("request pim red Ethernet2 off");
  run("request pim blue Ethernet1");
  auto red = apps->entity<Quib::Dir>("pim")->entity<Requests>("red");
  EXPECT_TRUE(red->multicastIntf(Plix::IntfId("Ethernet1")));
  EXPECT_FALSE(red->multicastIntf(Plix::IntfId("Ethernet2")));
  EXPECT_TRUE(red->multicastIntf.has(Plix::IntfId("Ethernet2")));
  run("no request pim red Ethernet2");
  EXPECT_FALSE(red->multicastIntf.has(Plix::IntfId("Ethernet2")));
  run("no request pim red");
  EXPECT_FALSE(apps->entity<Quib::Dir>("pim")->entityPtr("red"));
  EXPECT_EQ(refusal("no request pim red Ethernet1"), "no requests of application pim in VRF red");
  run("no request pim");
  EXPECT_FALSE(apps->entityPtr("pim"));
  EXPECT_EQ(refusal("no request pim"), "no requests of application pim");
}

// What a statement sets is in place when its entity appears: readers of a new entry see
// its namespace, device or request at once, and a VRF's machine is built with the limits
// its configuration names (each written once) rather than with the defaults first.
TEST_F(HostTest, NewEntriesAppearWithWhatTheStatementSets) {
  std::vector<std::string> seen;
  struct Vrfs : Ip::AllVrfStatusLocal::NotifieeConst {
    std::vector<std::string>* seen;
    void onVrf(L3::VrfName const& v) override { seen->push_back("vrf " + notifier()->vrf(v)->networkNamespace().str()); }
  } vrfs;
  struct Intfs : Interface::IntfStatusDir::NotifieeConst {
    std::vector<std::string>* seen;
    void onIntfStatus(Plix::IntfId i) override { seen->push_back("intf " + notifier()->intfStatus(i)->deviceName()); }
  } intfs;
  struct Apps : Quib::Dir::NotifieeConst {
    std::vector<std::string>* seen;
    void onEntityPtr(Quib::Name const& app) override {
      auto requests = notifier()->entity<Quib::Dir>(app)->entity<McastCommon::MulticastIntfsForApplications>("red");
      seen->push_back("request " + std::to_string(requests ? requests->multicastIntf.size() : 0));
    }
  } apps;
  vrfs.seen = intfs.seen = apps.seen = &seen;
  vrfs.notifierIs(at<Ip::AllVrfStatusLocal>(host.paths().vrfStatus));
  intfs.notifierIs(at<Interface::AllIntfStatusDir>(host.paths().intfStatus));
  apps.notifierIs(at<Quib::Dir>(host.paths().appDir));
  for (Quib::NotifieeRoot* r : std::initializer_list<Quib::NotifieeRoot*>{&vrfs, &intfs, &apps}) {
    r->hasNotificationActiveIs(true);
  }
  run("vrf red netns ns1");
  run("intf Ethernet1 eth1");
  run("request pim red Ethernet1");
  EXPECT_EQ(seen, (std::vector<std::string>{"vrf ns1", "intf eth1", "request 1"}));

  host.kernel().recordingIs(true);
  run("advance 0.1");
  run("config default unresolved-entries 30 max 2");
  std::vector<std::string> writes;
  for (auto const& c : host.kernel().calls()) {
    if (c.kind == Kernel::CallKind::procWrite) writes.push_back(std::string(c.bytes.begin(), c.bytes.end()));
  }
  EXPECT_EQ(writes, (std::vector<std::string>{"30", "3"}));
}

TEST_F(HostTest, ShowOfAnUnknownVrfOrNamespaceIsAnError) {
  EXPECT_EQ(refusal("show status blue"), "no VRF blue");
  EXPECT_EQ(refusal("show mroute blue"), "no VRF blue");
  EXPECT_EQ(refusal("show mroute blue 10.0.0.1 239.1.1.1"), "no VRF blue");
  EXPECT_EQ(refusal("show kernel nsX"), "no namespace nsX");
  EXPECT_EQ(refusal("show counters nsX"), "no namespace nsX");
  EXPECT_EQ(refusal("show status default"), "accepted") << "the default VRF always exists";
  EXPECT_EQ(refusal("show mroute"), "accepted");
  // Any statement that names a VRF makes it known.
  for (char const* known : {"vrf red netns nsA", "config green", "table blue pim"}) run(known);
  for (char const* vrf : {"red", "green", "blue"}) {
    EXPECT_EQ(refusal(std::string("show status ") + vrf), "accepted") << vrf;
    EXPECT_EQ(refusal(std::string("show mroute ") + vrf), "accepted") << vrf;
  }
}

TEST(HostTrace, LinesNameTheVrfOrNamespaceOfTheirMachine) {
  std::ostringstream out;
  Trace::StreamSink stream(out);
  Trace::SinkScope sink(stream);
  Trace::SelectionScope selection("KernelMfibSm/2,NetNsIntfStatusManagerRoot/3");
  Kmfibd::Host host{{}};
  Kmfibd::StatementParser parser{Plix::AddressFamily::ipv4};
  std::ostringstream shown;
  for (char const* line : {"netns nsA", "vrf red netns nsA", "config red", "config default", "advance 1"}) {
    host.apply(*parser.parse(line), shown);
  }
  std::string const text = out.str();
  EXPECT_NE(text.find(" vrf=red KernelMfibSm/2 Successfully opened socket "), std::string::npos) << text;
  EXPECT_NE(text.find(" vrf=default KernelMfibSm/2 Successfully opened socket "), std::string::npos) << text;
  EXPECT_NE(text.find(" ns=nsA NetNsIntfStatusManagerRoot/3 intfStatusManagerIs( nsA )"), std::string::npos)
      << "the namespace's manager, built for VRF red, is named by its namespace: " << text;
}

}  // namespace
