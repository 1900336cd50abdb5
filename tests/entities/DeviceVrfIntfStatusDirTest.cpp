// A VRF's device directory builds, keeps, replaces and lets go of its child.

#include <gtest/gtest.h>

#include "entities/DeviceVrfIntfStatusDir.h"

namespace {

using Interface::DeviceVrfIntfStatusDir;

TEST(DeviceVrfIntfStatusDir, ChildIsCreatedOnceAndReplacedOnlyForAnotherName) {
  auto vrf = Quib::make<DeviceVrfIntfStatusDir>("red");
  struct Count : DeviceVrfIntfStatusDir::NotifieeConst {
    void onDeviceIntfStatusDir() override { ++heard; }
    int heard = 0;
  } count;
  count.notifierIs(vrf);
  count.hasNotificationActiveIs(true);

  auto devices = vrf->deviceIntfStatusDirIs("devices");
  EXPECT_EQ(vrf->deviceIntfStatusDir(), devices);
  EXPECT_EQ(devices->fullName(), "red/devices");
  devices->intfStatusAndDeviceName.is(Plix::IntfId("Ethernet1"), {nullptr, "eth1", 3});
  EXPECT_EQ(vrf->deviceIntfStatusDirIs("devices"), devices) << "same name keeps the child and its entries";
  EXPECT_EQ(count.heard, 1);

  auto other = vrf->deviceIntfStatusDirIs("other");
  EXPECT_NE(other, devices);
  EXPECT_EQ(devices->parent(), nullptr) << "the replaced child no longer points here";
  vrf->deviceIntfStatusDirDel();
  EXPECT_EQ(vrf->deviceIntfStatusDir(), nullptr);
  EXPECT_EQ(other->parent(), nullptr);
  EXPECT_EQ(count.heard, 3);

  // A reader may hold the child after the VRF directory is gone.
  auto kept = vrf->deviceIntfStatusDirIs("devices");
  count.notifierIs(nullptr);
  vrf = nullptr;
  EXPECT_EQ(kept->fullName(), "devices");
}

}  // namespace
