#pragma once
// Everything a kernel test needs to speak one family's multicast routing as the agent does,
// and a fixture that runs one test body for IPv4 and for IPv6.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kernel/SimKernel.h"
#include "plix/SocketAt.h"
#include "tests/support/AgentRecords.h"

namespace KernelTest {

// Everything a test needs to speak one family's multicast routing as the agent does.
struct FamilyCase {
  char const* name;
  int domain;
  int protocol;
  int level;
  int startOption;
  char const* source;
  char const* group;
  char const* otherGroup;
  Record (*vif)(std::uint16_t index, std::uint32_t ifindex);
  Record (*registerVif)(std::uint16_t index);
  Record (*delVif)(std::uint16_t index);
  Record (*mfc)(char const* source, char const* group, std::uint16_t parent,
                std::vector<std::uint16_t> const& oifs);
};

inline FamilyCase const ipv4{
    "IPv4",
    AF_INET,
    255,
    0,
    210,
    "10.0.0.1",
    "239.1.1.1",
    "239.1.1.2",
    [](std::uint16_t index, std::uint32_t ifindex) {
      return vifctl(index, 0x08, std::int32_t(ifindex));
    },
    [](std::uint16_t index) { return vifctl(index, 0x04, 0); },
    delVif4,
    mfcctl,
};

inline FamilyCase const ipv6{
    "IPv6",
    AF_INET6,
    58,
    41,
    200,
    "2001:db8::1",
    "ff3e::1",
    "ff3e::2",
    [](std::uint16_t index, std::uint32_t ifindex) {
      return mif6ctl(index, 0, std::uint16_t(ifindex));
    },
    [](std::uint16_t index) { return mif6ctl(index, 0x01, 0); },
    delMif6,
    mf6cctl,
};

// errno of a call that returned rc; 0 when it succeeded.
inline int errorOf(int rc) { return rc < 0 ? errno : 0; }

// A simulated kernel, installed, with namespace "red" holding eth1 (7) and eth2 (8).
class RedKernel {
 protected:
  RedKernel() {
    kernel.netnsIs("red");
    kernel.linkIs("red", "eth1", 7);
    kernel.linkIs("red", "eth2", 8);
  }
  Kernel::NamespaceSnapshot snapshot(Plix::NamespaceName const& ns = "red") const {
    auto const all = kernel.snapshot(ns);
    return all.empty() ? Kernel::NamespaceSnapshot{} : all.front();
  }

  Kernel::SimKernel kernel;
  Kernel::Backend::Use use{kernel};
};

class FamilyTest : public RedKernel, public ::testing::TestWithParam<FamilyCase> {
 protected:
  FamilyCase const& family() const { return GetParam(); }
  FamilyCase const& otherFamily() const { return family().domain == AF_INET ? ipv6 : ipv4; }

  int open(Plix::NamespaceName const& ns = "red") {
    return Plix::socketAt(family().domain, SOCK_RAW, family().protocol, ns);
  }
  int set(int fd, int option, Record const& record) {
    return Plix::setsockopt(fd, family().level, option, record.data(), socklen_t(record.size()));
  }
  int setInt(int fd, int option, int value = 1) {
    return Plix::setsockopt(fd, family().level, option, &value, sizeof value);
  }
  int start(int fd) { return setInt(fd, family().startOption); }
  // A socket that started routing in `ns`, with the Register VIF as the agent adds it.
  int router(Plix::NamespaceName const& ns = "red") {
    int const fd = open(ns);
    EXPECT_EQ(start(fd), 0);
    EXPECT_EQ(set(fd, 202, family().registerVif(0)), 0);
    return fd;
  }
  int addVif(int fd, std::uint16_t index, std::uint32_t ifindex) {
    return set(fd, 202, family().vif(index, ifindex));
  }
  int addMfc(int fd, std::uint16_t parent, std::vector<std::uint16_t> const& oifs) {
    return set(fd, 204, family().mfc(family().source, family().group, parent, oifs));
  }
};

inline std::string familyName(::testing::TestParamInfo<FamilyCase> const& info) {
  return info.param.name;
}

}  // namespace KernelTest
