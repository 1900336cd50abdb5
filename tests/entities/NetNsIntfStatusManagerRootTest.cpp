// The per-namespace device directories follow both of their inputs: the interfaces with
// their device names, and each namespace's kernel devices. Each change reaches only the
// interfaces it concerns.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "entities/AllIntfStatusDir.h"
#include "entities/AllIntfStatusLocalDir.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/NetNsIntfStatusManagerRoot.h"
#include "entities/kni/Status.h"
#include "quib/OwnedAttr.h"

namespace {

using Interface::AllIntfStatusDir;
using Interface::AllIntfStatusLocalDir;
using Interface::DeviceIntfStatusDir;
using Interface::NetNsIntfStatusManagerRoot;

// Records which keys of a device directory its readers heard about.
class KeyLog : public DeviceIntfStatusDir::NotifieeConst {
 public:
  explicit KeyLog(Quib::Ptr<DeviceIntfStatusDir> const& dir) {
    notifierIs(dir);
    hasNotificationActiveIs(true);
  }
  void onIntfStatusAndDeviceName(Plix::IntfId i) override { keys.push_back(i.name()); }
  std::vector<std::string> keys;
};

struct Fixture {
  explicit Fixture(bool filterByNetNs)
      : root(Quib::make<NetNsIntfStatusManagerRoot>(all, local, filterByNetNs)) {
    root->hasNotificationActiveIs(true);
  }

  // "Intf=device/ifindex" per entry, "Intf=-" for the empty value; checks that the status
  // part is the interface's own status entity.
  static std::vector<std::string> entries(Quib::Ptr<DeviceIntfStatusDir> const& dir) {
    std::vector<std::string> out;
    for (auto const& [intf, v] : dir->intfStatusAndDeviceName) {
      if (v.empty()) {
        out.push_back(intf.name() + "=-");
        continue;
      }
      EXPECT_TRUE(v.intfStatus && v.intfStatus->intfId() == intf) << intf;
      EXPECT_EQ(v.intfStatus->deviceName(), v.deviceName) << intf;
      out.push_back(intf.name() + "=" + v.deviceName + "/" + std::to_string(v.ifIndex));
    }
    return out;
  }

  void intf(Quib::Ptr<Interface::IntfStatusDir> const& dir, char const* name, char const* device) {
    dir->intfStatus.is(Plix::IntfId(name))->deviceName.is(device);
  }

  // One change, then both directories' entries and the keys their readers heard.
  struct Step {
    char const* what;
    std::function<void()> act;
    std::vector<std::string> a, b;
    std::vector<std::string> heardA, heardB;
  };
  void run(std::vector<Step> const& steps) {
    KeyLog heardA(devA);
    KeyLog heardB(devB);
    for (auto const& s : steps) {
      heardA.keys.clear();
      heardB.keys.clear();
      s.act();
      EXPECT_EQ(entries(devA), s.a) << s.what;
      EXPECT_EQ(entries(devB), s.b) << s.what;
      EXPECT_EQ(heardA.keys, s.heardA) << s.what;
      EXPECT_EQ(heardB.keys, s.heardB) << s.what;
    }
  }

  Quib::Ptr<AllIntfStatusDir> all = Quib::make<AllIntfStatusDir>("all");
  Quib::Ptr<AllIntfStatusLocalDir> local = Quib::make<AllIntfStatusLocalDir>("local");
  Quib::Ptr<KernelNetInfo::Status> kniA = Quib::make<KernelNetInfo::Status>("a");
  Quib::Ptr<KernelNetInfo::Status> kniB = Quib::make<KernelNetInfo::Status>("b");
  Quib::Ptr<DeviceIntfStatusDir> devA = Quib::make<DeviceIntfStatusDir>("devices");
  Quib::Ptr<DeviceIntfStatusDir> devB = Quib::make<DeviceIntfStatusDir>("devices");
  Quib::Ptr<NetNsIntfStatusManagerRoot> root;
};

using Entries = std::vector<std::string>;

TEST(NetNsIntfStatusManagerRoot, FiltersEachNamespaceToItsOwnDevices) {
  Fixture f(true);
  f.root->intfStatusManagerIs(f.devA, f.kniA, "nsA");
  f.root->intfStatusManagerIs(f.devB, f.kniB, "nsB");
  Plix::IntfId const e1("Ethernet1");
  f.run({
      {"interface before its device", [&] { f.intf(f.all, "Ethernet1", "eth1"); }, {}, {}, {}, {}},
      {"device appears in A only", [&] { f.kniA->ifIndex.is("eth1", 5); },
       {"Ethernet1=eth1/5"}, {}, {"Ethernet1"}, {}},
      {"second interface on B's device",
       [&] {
         f.kniB->ifIndex.is("eth2", 7);
         f.intf(f.all, "Ethernet2", "eth2");
       },
       {"Ethernet1=eth1/5"}, {"Ethernet2=eth2/7"}, {}, {"Ethernet2"}},
      {"device name changed moves the interface", [&] { f.all->intfStatus(e1)->deviceName.is("eth2"); },
       {}, {"Ethernet1=eth2/7", "Ethernet2=eth2/7"}, {"Ethernet1"}, {"Ethernet1"}},
      {"a device carrying two interfaces updates both", [&] { f.kniA->ifIndex.is("eth2", 9); },
       {"Ethernet1=eth2/9", "Ethernet2=eth2/9"}, {"Ethernet1=eth2/7", "Ethernet2=eth2/7"},
       {"Ethernet1", "Ethernet2"}, {}},
      {"unrelated device is heard by nobody", [&] { f.kniA->ifIndex.is("eth7", 3); },
       {"Ethernet1=eth2/9", "Ethernet2=eth2/9"}, {"Ethernet1=eth2/7", "Ethernet2=eth2/7"}, {}, {}},
      {"device removed", [&] { f.kniA->ifIndex.del("eth2"); },
       {}, {"Ethernet1=eth2/7", "Ethernet2=eth2/7"}, {"Ethernet1", "Ethernet2"}, {}},
      {"interface removed", [&] { f.all->intfStatus.del(Plix::IntfId("Ethernet2")); },
       {}, {"Ethernet1=eth2/7"}, {}, {"Ethernet2"}},
      {"local interface is used when all has none", [&] { f.intf(f.local, "Ethernet3", "eth2"); },
       {}, {"Ethernet1=eth2/7", "Ethernet3=eth2/7"}, {}, {"Ethernet3"}},
      {"all takes precedence over local", [&] { f.intf(f.all, "Ethernet3", "eth1"); },
       {"Ethernet3=eth1/5"}, {"Ethernet1=eth2/7"}, {"Ethernet3"}, {"Ethernet3"}},
      {"local again once all drops it", [&] { f.all->intfStatus.del(Plix::IntfId("Ethernet3")); },
       {}, {"Ethernet1=eth2/7", "Ethernet3=eth2/7"}, {"Ethernet3"}, {"Ethernet3"}},
      {"empty device name is no device", [&] { f.local->intfStatus(Plix::IntfId("Ethernet3"))->deviceName.is(""); },
       {}, {"Ethernet1=eth2/7"}, {}, {"Ethernet3"}},
      {"stopped namespace is left as it is",
       [&] {
         f.root->intfStatusManagerDel("nsB");
         f.kniB->ifIndex.del("eth2");
         f.all->intfStatus.del(e1);
       },
       {}, {"Ethernet1=eth2/7"}, {}, {}},
  });
  EXPECT_EQ(f.root->intfStatusManagers(), 1u);
}

TEST(NetNsIntfStatusManagerRoot, UnfilteredKeepsEveryInterfaceWithTheEmptyValueWhenItsDeviceIsAbsent) {
  Fixture f(false);
  f.intf(f.all, "Ethernet1", "eth1");
  f.intf(f.all, "Ethernet2", "eth2");
  f.kniA->ifIndex.is("eth1", 4);
  f.root->intfStatusManagerIs(f.devA, f.kniA, "nsA");
  f.root->intfStatusManagerIs(f.devB, nullptr, "nsB");  // no device known there
  EXPECT_EQ(Fixture::entries(f.devA), (Entries{"Ethernet1=eth1/4", "Ethernet2=-"}));
  EXPECT_EQ(Fixture::entries(f.devB), (Entries{"Ethernet1=-", "Ethernet2=-"}));
  f.run({
      {"device appears", [&] { f.kniA->ifIndex.is("eth2", 6); },
       {"Ethernet1=eth1/4", "Ethernet2=eth2/6"}, {"Ethernet1=-", "Ethernet2=-"}, {"Ethernet2"}, {}},
      {"device goes", [&] { f.kniA->ifIndex.del("eth1"); },
       {"Ethernet1=-", "Ethernet2=eth2/6"}, {"Ethernet1=-", "Ethernet2=-"}, {"Ethernet1"}, {}},
      {"interface removed", [&] { f.all->intfStatus.del(Plix::IntfId("Ethernet2")); },
       {"Ethernet1=-"}, {"Ethernet1=-"}, {"Ethernet2"}, {"Ethernet2"}},
      {"interface added without device", [&] { f.intf(f.all, "Ethernet3", "eth3"); },
       {"Ethernet1=-", "Ethernet3=-"}, {"Ethernet1=-", "Ethernet3=-"}, {"Ethernet3"}, {"Ethernet3"}},
  });
}

TEST(NetNsIntfStatusManagerRoot, ManagersAreKeptOrReplacedAndFollowTheRootsSwitch) {
  Fixture f(true);
  f.intf(f.all, "Ethernet1", "eth1");
  f.kniA->ifIndex.is("eth1", 5);
  // Left by an earlier writer: the new manager takes the directory over and removes it.
  f.devA->intfStatusAndDeviceName.is(Plix::IntfId("Stale1"), {});

  auto first = f.root->intfStatusManagerIs(f.devA, f.kniA, "nsA");
  EXPECT_EQ(Fixture::entries(f.devA), (Entries{"Ethernet1=eth1/5"})) << "filled at once";
  EXPECT_EQ(f.root->intfStatusManagerIs(f.devA, f.kniA, "nsA"), first) << "same arguments keep it";

  // Another kernel view of the same directory replaces the manager.
  auto replaced = f.root->intfStatusManagerIs(f.devA, f.kniB, "nsA");
  EXPECT_NE(replaced, first);
  EXPECT_FALSE(first->isNotificationActive());
  EXPECT_EQ(f.root->intfStatusManager("nsA", f.devA), replaced);
  EXPECT_EQ(Fixture::entries(f.devA), Entries{}) << "eth1 is not in the new view";
  f.root->intfStatusManagerIs(f.devA, f.kniA, "nsA");

  // Another directory of the same namespace (a second VRF there) gets a manager of its own;
  // stopping one leaves the other running.
  auto second = f.root->intfStatusManagerIs(f.devB, f.kniA, "nsA");
  EXPECT_EQ(f.root->intfStatusManagers(), 2u);
  f.kniA->ifIndex.is("eth1", 6);
  EXPECT_EQ(Fixture::entries(f.devA), (Entries{"Ethernet1=eth1/6"}));
  EXPECT_EQ(Fixture::entries(f.devB), (Entries{"Ethernet1=eth1/6"}));
  f.root->intfStatusManagerDel("nsA", f.devA);
  EXPECT_EQ(f.root->intfStatusManager("nsA", f.devB), second);
  f.kniA->ifIndex.is("eth1", 5);
  EXPECT_EQ(Fixture::entries(f.devA), (Entries{"Ethernet1=eth1/6"})) << "the stopped directory is left alone";
  EXPECT_EQ(Fixture::entries(f.devB), (Entries{"Ethernet1=eth1/5"}));
  f.kniA->ifIndex.is("eth1", 6);

  f.root->hasNotificationActiveIs(false);
  f.kniA->ifIndex.is("eth1", 7);
  f.intf(f.all, "Ethernet2", "eth1");
  EXPECT_EQ(Fixture::entries(f.devB), (Entries{"Ethernet1=eth1/6"})) << "switched off, nothing is written";
  f.root->hasNotificationActiveIs(true);
  EXPECT_EQ(Fixture::entries(f.devB), (Entries{"Ethernet1=eth1/7", "Ethernet2=eth1/7"})) << "switched on, caught up";

  // A reader that stops the manager on the first entry it hears: the rest is not written,
  // and the manager being dropped mid-write does no harm.
  struct Stopper : KeyLog {
    explicit Stopper(Fixture& f) : KeyLog(f.devB), f_(f) {}
    void onIntfStatusAndDeviceName(Plix::IntfId i) override {
      KeyLog::onIntfStatusAndDeviceName(i);
      f_.root->intfStatusManagerDel("nsA");
    }
    Fixture& f_;
  } stopper(f);
  f.kniA->ifIndex.is("eth1", 8);
  EXPECT_EQ(stopper.keys, (Entries{"Ethernet1"}));
  EXPECT_EQ(Fixture::entries(f.devB), (Entries{"Ethernet1=eth1/8", "Ethernet2=eth1/7"}));
  EXPECT_EQ(f.root->intfStatusManagers(), 0u);

  // The owner's keep-or-replace compares the three construction arguments.
  Quib::OwnedAttr<NetNsIntfStatusManagerRoot> owned;
  auto kept = owned.is(f.all, f.local, true);
  EXPECT_TRUE(kept->isNotificationActive());
  EXPECT_EQ(owned.is(f.all, f.local, true), kept);
  EXPECT_NE(owned.is(f.all, f.local, false), kept);
  EXPECT_FALSE(kept->isNotificationActive());
}

}  // namespace
