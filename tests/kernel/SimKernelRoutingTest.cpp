// Multicast routing's life in a namespace: one routing socket per family, everything gone on
// shutdown or close, devices and namespaces coming and going under it.

#include "KernelTestSupport.h"

namespace KernelTest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RoutingTest : public FamilyTest {};

TEST_P(RoutingTest, ShutdownFlushesOnlyItsFamilyAndRoutingMayStartAgain) {
  int const fd = router();
  ASSERT_EQ(setInt(fd, 208), 0);
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addMfc(fd, 1, {0}), 0);
  auto const& other = otherFamily();
  int const otherFd = Plix::socketAt(other.domain, SOCK_RAW, other.protocol, "red");
  int const one = 1;
  ASSERT_EQ(Plix::setsockopt(otherFd, other.level, other.startOption, &one, sizeof one), 0);
  Record const otherVif = other.vif(4, 8);
  ASSERT_EQ(
      Plix::setsockopt(otherFd, other.level, 202, otherVif.data(), socklen_t(otherVif.size())), 0);

  ASSERT_EQ(setInt(fd, 201), 0);
  auto s = snapshot();
  ASSERT_EQ(s.vifs.size(), 1u);
  EXPECT_EQ(s.vifs[0].index, 4);
  EXPECT_THAT(s.mfcs, IsEmpty());
  EXPECT_TRUE(s.mrtOn);  // the other family's routing
  EXPECT_EQ(errorOf(addVif(fd, 1, 7)), EACCES);

  ASSERT_EQ(Plix::close(otherFd), 0);
  s = snapshot();
  EXPECT_FALSE(s.mrtOn);
  EXPECT_FALSE(s.pimOn);
  EXPECT_TRUE(s.socketOpen);
  EXPECT_THAT(s.vifs, IsEmpty());

  EXPECT_EQ(start(fd), 0);
  EXPECT_EQ(addVif(fd, 1, 7), 0);
}

TEST_P(RoutingTest, ClosingTheRoutingSocketFlushesClosingAnotherDoesNot) {
  int const fd = router();
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addMfc(fd, 1, {}), 0);
  ASSERT_EQ(Plix::close(open()), 0);
  EXPECT_EQ(snapshot().vifs.size(), 2u);
  EXPECT_EQ(snapshot().mfcs.size(), 1u);

  ASSERT_EQ(Plix::close(fd), 0);
  auto const s = snapshot();
  EXPECT_FALSE(s.socketOpen);
  EXPECT_FALSE(s.mrtOn);
  EXPECT_THAT(s.vifs, IsEmpty());
  EXPECT_THAT(s.mfcs, IsEmpty());
}

TEST_P(RoutingTest, OneRoutingSocketPerNamespaceAndFamily) {
  kernel.netnsIs("blue");
  kernel.linkIs("blue", "eth1", 7);
  int const first = router();
  int const second = open();
  EXPECT_EQ(errorOf(start(second)), EADDRINUSE);
  EXPECT_EQ(errorOf(setInt(second, 208)), EACCES);
  EXPECT_EQ(errorOf(set(second, 204, family().mfc(family().source, family().group, 1, {}))),
            EACCES);

  int const elsewhere = router("blue");
  EXPECT_EQ(addVif(elsewhere, 1, 7), 0);
  EXPECT_EQ(addVif(first, 1, 7), 0);  // the same index in another namespace

  ASSERT_EQ(Plix::close(first), 0);
  EXPECT_EQ(start(second), 0);
  EXPECT_EQ(set(second, 202, family().registerVif(0)), 0);
  EXPECT_EQ(snapshot("blue").vifs.size(), 2u);
}

TEST_P(RoutingTest, AddMfcReplacesTheEntryOfItsSourceAndGroup) {
  int const fd = router();
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addVif(fd, 2, 8), 0);
  ASSERT_EQ(addMfc(fd, 65535, {1, 2}), 0);
  ASSERT_EQ(addMfc(fd, 1, {0, 2}), 0);
  auto const s = snapshot();
  ASSERT_EQ(s.mfcs.size(), 1u);
  EXPECT_EQ(s.mfcs[0].iif, 1);
  EXPECT_THAT(s.mfcs[0].oifs, ElementsAre(0, 2));

  Record const del = family().mfc(family().source, family().group, 65535, {});
  EXPECT_EQ(set(fd, 205, del), 0);
  EXPECT_THAT(snapshot().mfcs, IsEmpty());
  EXPECT_EQ(errorOf(set(fd, 205, del)), ENOENT);
}

TEST_P(RoutingTest, EveryEntryCountsZeroPacketsHere) {
  int const fd = router();
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addMfc(fd, 1, {0}), 0);
  ASSERT_EQ(set(fd, 204, family().mfc(family().source, family().otherGroup, 1, {})), 0);
  kernel.netnsIs("blue");
  auto const counters = kernel.counters(std::nullopt);
  ASSERT_EQ(counters.size(), 2u);
  for (auto const& c : counters) {
    EXPECT_EQ(c.ns, "red");
    EXPECT_EQ(c.af, snapshot().mfcs.front().af);
    EXPECT_EQ(c.source, snapshot().mfcs.front().source);
    EXPECT_EQ(std::tie(c.packets, c.bytes, c.wrongIf), std::make_tuple(0u, 0u, 0u));
  }
  EXPECT_EQ(counters[0].group, snapshot().mfcs[0].group);
  EXPECT_EQ(counters[1].group, snapshot().mfcs[1].group);
  EXPECT_TRUE(kernel.counters("blue").empty());
  EXPECT_EQ(kernel.counters("red"), counters);
}

TEST_P(RoutingTest, RemovingADeviceTakesItsVifsAndTellsTheHost) {
  std::vector<std::string> told;
  kernel.changeHandlerIs(
      [&](Plix::NamespaceName const& ns, std::string const& dev) { told.push_back(ns.str() + "/" + dev); });
  int const fd = router();
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addVif(fd, 2, 8), 0);
  ASSERT_EQ(addMfc(fd, 1, {2}), 0);
  kernel.linkDel("red", "eth1");
  auto const s = snapshot();
  ASSERT_EQ(s.vifs.size(), 2u);
  EXPECT_EQ(s.vifs[0].index, 0);
  EXPECT_EQ(s.vifs[1].index, 2);
  EXPECT_EQ(s.mfcs.size(), 1u);
  EXPECT_EQ(errorOf(addVif(fd, 1, 7)), ENODEV);
  EXPECT_THAT(told, ElementsAre("red/eth1"));
  EXPECT_THAT(kernel.links("red"), ElementsAre(Kernel::SimKernel::Link{"eth2", 8}));
  EXPECT_EQ(kernel.ifindex("red", "eth1"), std::nullopt);
  EXPECT_EQ(kernel.ifindex("red", "eth2"), 8u);
  EXPECT_EQ(kernel.ifindex("blue", "eth2"), std::nullopt);
  // A device restated with another index goes and comes back; a namespace tells no device.
  told.clear();
  kernel.linkIs("red", "eth2", 9);
  kernel.linkIs("red", "eth2", 9);
  kernel.netnsIs("green");
  kernel.netnsDel("green");
  EXPECT_THAT(told, ElementsAre("red/eth2", "red/eth2", "green/", "green/"));
}

// The outgoing set follows the VIFs present at each add: a VIF removed by its device, by
// MRT_DEL_VIF or by shutdown is left out of later adds, and counts again once re-added.
TEST_P(RoutingTest, OutgoingSetsFollowTheVifsPresentAtEachAdd) {
  int const fd = router();
  ASSERT_EQ(addVif(fd, 1, 7), 0);
  ASSERT_EQ(addVif(fd, 2, 8), 0);
  ASSERT_EQ(addMfc(fd, 1, {0, 1, 2, 3}), 0);
  EXPECT_THAT(snapshot().mfcs.at(0).oifs, ElementsAre(0, 1, 2));
  kernel.linkDel("red", "eth1");
  ASSERT_EQ(addMfc(fd, 1, {0, 1, 2, 3}), 0);
  EXPECT_THAT(snapshot().mfcs.at(0).oifs, ElementsAre(0, 2));
  Record const delVif = family().delVif(2);
  ASSERT_EQ(set(fd, 203, delVif), 0);
  ASSERT_EQ(addMfc(fd, 1, {0, 1, 2, 3}), 0);
  EXPECT_THAT(snapshot().mfcs.at(0).oifs, ElementsAre(0));
  ASSERT_EQ(setInt(fd, 201), 0);
  ASSERT_EQ(start(fd), 0);
  ASSERT_EQ(addMfc(fd, 1, {0, 1, 2, 3}), 0);
  EXPECT_THAT(snapshot().mfcs.at(0).oifs, IsEmpty());
  ASSERT_EQ(addVif(fd, 2, 8), 0);
  ASSERT_EQ(addMfc(fd, 1, {0, 1, 2, 3}), 0);
  EXPECT_THAT(snapshot().mfcs.at(0).oifs, ElementsAre(2));
}

TEST_P(RoutingTest, ARemovedNamespaceFailsItsSocketsUntilClosed) {
  int const fd = router();
  kernel.netnsDel("red");
  EXPECT_TRUE(kernel.snapshot("red").empty());
  EXPECT_EQ(errorOf(addVif(fd, 1, 7)), ENOENT);
  int value = 1;
  EXPECT_EQ(errorOf(Plix::ioctl(fd, 0x5421, &value)), ENOENT);

  // A namespace of the same name is a new one: the old socket is no routing socket there.
  kernel.netnsIs("red");
  kernel.linkIs("red", "eth1", 7);
  EXPECT_FALSE(snapshot().socketOpen);
  int const fresh = router();
  EXPECT_EQ(errorOf(setInt(fd, 201)), ENOENT);
  EXPECT_EQ(Plix::close(fd), 0);
  EXPECT_EQ(addVif(fresh, 1, 7), 0);
  EXPECT_TRUE(snapshot().mrtOn);
}

INSTANTIATE_TEST_SUITE_P(Families, RoutingTest, ::testing::Values(ipv4, ipv6), familyName);

TEST(SimKernelTest, DescriptorsAreTheLowestFreeFromThree) {
  Kernel::SimKernel kernel;
  Kernel::Backend::Use use(kernel);
  auto open = [] { return Plix::socketAt(AF_INET, SOCK_RAW, 255, "default"); };
  EXPECT_EQ(open(), 3);
  EXPECT_EQ(open(), 4);
  EXPECT_EQ(open(), 5);
  ASSERT_EQ(Plix::close(4), 0);
  EXPECT_EQ(open(), 4);
  EXPECT_EQ(open(), 6);
}

TEST(SimKernelTest, NamespaceAndDeviceStatementsRefuseBadInputAndChangeNothing) {
  Kernel::SimKernel kernel;
  kernel.netnsIs("red");
  kernel.linkIs("red", "eth1", 7);
  struct Row {
    char const* what;
    std::function<void()> call;
  };
  Row const rows[] = {
      {"remove default", [&] { kernel.netnsDel("default"); }},
      {"remove a missing namespace", [&] { kernel.netnsDel("blue"); }},
      {"device in a missing namespace", [&] { kernel.linkIs("blue", "eth1", 7); }},
      {"index held by another device", [&] { kernel.linkIs("red", "eth2", 7); }},
      {"index 0", [&] { kernel.linkIs("red", "eth2", 0); }},
      {"device name too long", [&] { kernel.linkIs("red", "abcdefghijklmnop", 9); }},
      {"remove a missing device", [&] { kernel.linkDel("red", "eth9"); }},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_THROW(row.call(), std::invalid_argument);
    EXPECT_THAT(kernel.netnsNames(), ElementsAre("default", "red"));
    EXPECT_THAT(kernel.links("red"), ElementsAre(Kernel::SimKernel::Link{"eth1", 7}));
  }
}

}  // namespace
}  // namespace KernelTest
