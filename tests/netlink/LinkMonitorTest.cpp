// A dump the kernel interrupts (a device came or went while it was being read) must still be
// read to its end and then asked for again: libmnl refuses every buffer that carries the
// interrupted flag, which once lost all devices after the dump's first part.

#include <gtest/gtest.h>
#include <linux/netlink.h>

#include <cstring>
#include <string>
#include <vector>

#include "netlink/LinkMonitor.h"
#include "tests/support/TestNamespace.h"

namespace {

// A received buffer of messages with the given flags, each a bare header.
std::vector<char> messages(std::vector<std::uint16_t> const& flags) {
  std::vector<char> buffer(flags.size() * NLMSG_HDRLEN);
  for (std::size_t i = 0; i < flags.size(); ++i) {
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_HDRLEN;
    header.nlmsg_type = i + 1 == flags.size() ? NLMSG_DONE : 16;  // RTM_NEWLINK
    header.nlmsg_flags = flags[i];
    std::memcpy(buffer.data() + i * NLMSG_HDRLEN, &header, sizeof header);
  }
  return buffer;
}

std::uint16_t flagsAt(std::vector<char> const& buffer, std::size_t i) {
  nlmsghdr header{};
  std::memcpy(&header, buffer.data() + i * NLMSG_HDRLEN, sizeof header);
  return header.nlmsg_flags;
}

TEST(LinkMonitorTest, TheInterruptedFlagIsTakenFromEveryMessage) {
  std::uint16_t const multi = NLM_F_MULTI;
  std::uint16_t const intr = NLM_F_MULTI | NLM_F_DUMP_INTR;
  struct Case {
    std::vector<std::uint16_t> flags;
    bool interrupted;
  };
  for (auto const& c : std::vector<Case>{{{multi, multi, multi}, false},
                                         {{multi, intr, multi}, true},
                                         {{intr, intr, intr}, true},
                                         {{intr}, true}}) {
    auto buffer = messages(c.flags);
    EXPECT_EQ(Netlink::LinkMonitor::takeDumpInterrupted(buffer.data(), buffer.size()), c.interrupted);
    for (std::size_t i = 0; i < c.flags.size(); ++i) {
      EXPECT_EQ(flagsAt(buffer, i), multi) << "message " << i << " keeps its other flags, loses the interruption";
    }
  }
}

TEST(LinkMonitorTest, AShortBufferIsNotReadPastItsEnd) {
  auto buffer = messages({NLM_F_MULTI | NLM_F_DUMP_INTR});
  EXPECT_FALSE(Netlink::LinkMonitor::takeDumpInterrupted(buffer.data(), NLMSG_HDRLEN - 1));
}

TEST(LinkMonitorTest, ADumpInterruptedByANewDeviceEndsWithEveryDevice) {
  TestSupport::TestNamespace ns;
  if (!ns.create()) GTEST_SKIP() << ns.why();
  // Enough devices that the dump's first part cannot hold them all.
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i) {
    std::string const dev = "lm" + std::to_string(i);
    ASSERT_TRUE(ns.addDevice(dev, "lp" + std::to_string(i)));
    names.push_back(dev);
  }
  int changes = 0;
  Netlink::LinkMonitor monitor(Plix::NamespaceName(ns.name()), [&] { ++changes; });
  ASSERT_EQ(monitor.error(), 0);
  // The kernel has answered with the first part; the device makes the rest interrupted.
  ASSERT_TRUE(ns.addDevice("lmnew", "lpnew"));
  names.push_back("lmnew");
  for (int reads = 0; reads < 16 && (reads == 0 || monitor.dumping()); ++reads) monitor.handleReadable();
  EXPECT_FALSE(monitor.dumping()) << "the interrupted dump and the one after it both ended";
  auto const devices = monitor.devices();
  for (auto const& dev : names) EXPECT_EQ(devices.count(dev), 1u) << dev;
  EXPECT_GT(changes, 0);
}

}  // namespace
