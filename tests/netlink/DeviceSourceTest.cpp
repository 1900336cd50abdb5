// The namespaces and devices of the real system, in a namespace made for the test. Kernel
// notifications (inotify, rtnetlink) are queued before the command that caused them
// returns, so serving what is ready afterwards sees them; nothing waits.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "netlink/DeviceSource.h"
#include "tests/support/RealLoop.h"
#include "tests/support/TestNamespace.h"

namespace {

using Devices = Netlink::LinkMonitor::Devices;

class DeviceSourceTest : public testing::Test {
 protected:
  void serve() { loop_.serve(); }
  Netlink::DeviceSource& source() {
    if (!source_) {
      source_ = std::make_unique<Netlink::DeviceSource>(
          loop_.loop(), loop_.manager().clock(),
          [this](Plix::NamespaceName const& ns, Devices const& devices) { published_[ns.str()].push_back(devices); });
    }
    return *source_;
  }
  // The device names last published for the namespace, without the loopback device.
  std::vector<std::string> last(std::string const& ns) {
    std::vector<std::string> names;
    auto const& history = published_[ns];
    if (history.empty()) return {"<nothing published>"};
    for (auto const& [name, index] : history.back()) {
      if (name != "lo") names.push_back(name);
    }
    return names;
  }

  TestSupport::RealLoop loop_;
  std::map<std::string, std::vector<Devices>> published_;
  std::unique_ptr<Netlink::DeviceSource> source_;
};

TEST_F(DeviceSourceTest, TheDefaultNamespaceIsReadAtOnce) {
  source().namespaceIs(Plix::NamespaceName::defaultNamespace());
  serve();
  ASSERT_TRUE(source().following(Plix::NamespaceName::defaultNamespace()));
  auto const devices = source().devices(Plix::NamespaceName::defaultNamespace());
  ASSERT_TRUE(devices.count("lo"));
  EXPECT_EQ(devices.at("lo"), 1u);
}

TEST_F(DeviceSourceTest, ADeviceAppearsIsRenamedAndGoesAndTheNamespaceWithIt) {
  TestSupport::TestNamespace ns;
  Plix::NamespaceName const name(ns.name());
  source().namespaceIs(name);
  EXPECT_FALSE(source().exists(name));
  EXPECT_FALSE(source().following(name));
  if (!ns.create()) GTEST_SKIP() << ns.why();
  serve();
  ASSERT_TRUE(source().following(name)) << "a needed namespace is followed once it appears";
  EXPECT_EQ(last(ns.name()), std::vector<std::string>{});
  EXPECT_EQ(source().devices(name).count("lo"), 1u);

  ASSERT_TRUE(ns.addDevice("kt0", "kp0"));
  serve();
  auto const added = source().devices(name);
  ASSERT_EQ(added.count("kt0"), 1u) << "the dump or a notification names the new device";
  std::uint32_t const index = added.at("kt0");
  EXPECT_NE(index, 0u);

  ASSERT_TRUE(ns.ip("link set kt0 name kt1"));
  serve();
  auto const renamed = source().devices(name);
  EXPECT_EQ(renamed.count("kt0"), 0u);
  ASSERT_EQ(renamed.count("kt1"), 1u);
  EXPECT_EQ(renamed.at("kt1"), index) << "a rename keeps the interface index";

  ASSERT_TRUE(ns.ip("link del kt1"));
  serve();
  EXPECT_EQ(last(ns.name()), std::vector<std::string>{});

  ns.remove();
  serve();
  EXPECT_FALSE(source().exists(name));
  EXPECT_FALSE(source().following(name));
  EXPECT_TRUE(published_[ns.name()].back().empty()) << "a namespace that goes takes its devices along";
}

TEST_F(DeviceSourceTest, ANamespaceNobodyNeedsIsSeenButNotFollowed) {
  source();
  TestSupport::TestNamespace ns;
  if (!ns.create()) GTEST_SKIP() << ns.why();
  serve();
  EXPECT_TRUE(source().exists(Plix::NamespaceName(ns.name())));
  EXPECT_FALSE(source().following(Plix::NamespaceName(ns.name())));
  EXPECT_EQ(published_.count(ns.name()), 0u);
}

}  // namespace
