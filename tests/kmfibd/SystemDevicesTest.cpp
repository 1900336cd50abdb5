// A host on the platform kernel takes namespaces and devices from the system: in a namespace
// made for the test, a device appears, is renamed and goes, and what the agent reads (the
// namespace's kernel network information, the interfaces' devices) follows. Without an
// agent: this is about the platform the agent stands on.

#include <gtest/gtest.h>

#include <sstream>

#include "entities/IntfStatus.h"
#include "entities/KniStatusMount.h"
#include "entities/kni/Status.h"
#include "host/EpollLoop.h"
#include "tests/support/TestNamespace.h"
#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/StatementParser.h"

namespace {

using Kmfibd::Host;
using Kmfibd::StatementError;

class SystemDevicesTest : public testing::Test {
 protected:
  static Host::Options options() {
    Host::Options o;
    o.agent = false;
    o.realTime = true;
    o.kernel = Host::Options::Kernel::platform;
    return o;
  }
  void apply(std::string const& line) {
    std::ostringstream out;
    host_.apply(*parser_.parse(line), out);
  }
  void serve() {
    for (int i = 0; i < 4; ++i) dynamic_cast<Quib::EpollLoop&>(host_.activityManager().loop()).serveReady();
  }
  // The devices the namespace's kernel network information holds, without the loopback.
  std::map<std::string, std::uint32_t> devices(std::string const& ns) {
    auto kni = Quib::ptrCast<KernelNetInfo::Status>(
        host_.entityManager()->getEntity(KernelNetInfo::kniStatusMount(Plix::NamespaceName(ns))));
    std::map<std::string, std::uint32_t> out;
    if (!kni) return out;
    for (auto const& [dev, index] : kni->ifIndex) {
      if (dev != "lo") out[dev] = index;
    }
    return out;
  }
  // The device carrying the interface, or "-" when the interface has no status.
  std::string deviceOf(std::string const& intf) {
    auto all = Quib::ptrCast<Interface::AllIntfStatusDir>(host_.entityManager()->getEntity(host_.paths().intfStatus));
    auto const status = all->intfStatus(Plix::IntfId(intf));
    return status ? status->deviceName() : "-";
  }

  Host host_{options()};
  Kmfibd::StatementParser parser_{Plix::AddressFamily::ipv4};
};

TEST_F(SystemDevicesTest, StatementsAboutTheSystemAreRefused) {
  for (auto const* line : {"netns ns1", "link default eth9 99", "no link default lo", "fault default socket ENOBUFS"}) {
    EXPECT_THROW(apply(line), StatementError) << line;
  }
  EXPECT_EQ(deviceOf("eth9"), "-");
  EXPECT_THROW(apply("show kernel"), StatementError) << "the platform kernel cannot be read back";
  EXPECT_THROW(apply("show kernel kmfib-no-such-namespace"), StatementError);
}

TEST_F(SystemDevicesTest, TheAgentsViewFollowsTheNamespacesDevices) {
  TestSupport::TestNamespace ns;
  if (!ns.create()) GTEST_SKIP() << ns.why();
  serve();
  apply("vrf red netns " + ns.name());
  serve();
  EXPECT_TRUE(devices(ns.name()).empty());

  ASSERT_TRUE(ns.addDevice("kt0", "kp0"));
  serve();
  auto const added = devices(ns.name());
  ASSERT_EQ(added.count("kt0"), 1u);
  EXPECT_EQ(deviceOf("kt0"), "kt0") << "a device carries the interface of its name";

  apply("intf kt0 other0");
  EXPECT_EQ(deviceOf("kt0"), "other0") << "an intf statement wins";
  EXPECT_THROW(apply("no intf kp0"), StatementError) << "no statement to remove for an implicit interface";
  apply("no intf kt0");
  EXPECT_EQ(deviceOf("kt0"), "kt0") << "without its statement the device carries it again";

  ASSERT_TRUE(ns.ip("link set kt0 name kt1"));
  serve();
  EXPECT_EQ(devices(ns.name()).count("kt0"), 0u);
  ASSERT_EQ(devices(ns.name()).count("kt1"), 1u);
  EXPECT_EQ(devices(ns.name()).at("kt1"), added.at("kt0"));
  EXPECT_EQ(deviceOf("kt0"), "-");
  EXPECT_EQ(deviceOf("kt1"), "kt1");

  ASSERT_TRUE(ns.ip("link del kt1"));
  serve();
  EXPECT_EQ(devices(ns.name()).count("kt1"), 0u);
  EXPECT_EQ(deviceOf("kt1"), "-");

  ns.remove();
  serve();
  EXPECT_TRUE(devices(ns.name()).empty());
}

}  // namespace
