// The mainline translation, record by record: what the agent hands the seam and what the
// stock kernel is given instead, or the errno the call fails with before anything is sent.

#include "kernel/LinuxKernel.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "KernelTestSupport.h"
#include "plix/SocketAt.h"
#include "zell/ProcSys.h"

namespace {

using Kernel::LinuxKernel;
using KernelTest::Record;
using Call = Kernel::RealKernel::OptionCall;

Record sent(Call const& call) {
  auto const* bytes = static_cast<std::uint8_t const*>(call.value);
  return Record(bytes, bytes + call.len);
}

class LinuxKernelTest : public ::testing::Test {
 protected:
  // The option as the kernel is given it.
  Call translated(int level, int option, Record const& record, int* error = nullptr) {
    Call call{level, option, record.data(), socklen_t(record.size())};
    int const rc = kernel.translateOption(3, call);
    if (error) *error = rc;
    EXPECT_TRUE(error || rc == 0) << std::strerror(rc);
    return call;
  }

  LinuxKernel kernel;
};

TEST_F(LinuxKernelTest, OnlyTheAgentsIpv4RoutingSocketBecomesAnIgmpSocket) {
  struct Row {
    Kernel::RealKernel::SocketCall agent;
    int protocol;
  };
  Row const rows[] = {
      {{AF_INET, SOCK_RAW, IPPROTO_RAW}, IPPROTO_IGMP},
      {{AF_INET6, SOCK_RAW, IPPROTO_ICMPV6}, IPPROTO_ICMPV6},
      {{AF_INET, SOCK_RAW, IPPROTO_UDP}, IPPROTO_UDP},
      {{AF_INET, SOCK_DGRAM, IPPROTO_RAW}, IPPROTO_RAW},
      {{AF_INET6, SOCK_RAW, IPPROTO_RAW}, IPPROTO_RAW},
  };
  for (Row const& row : rows) {
    auto call = row.agent;
    EXPECT_EQ(kernel.translateSocket(call), 0);
    EXPECT_EQ(call.family, row.agent.family);
    EXPECT_EQ(call.type, row.agent.type);
    EXPECT_EQ(call.protocol, row.protocol) << row.agent.family << "/" << row.agent.protocol;
  }
}

TEST_F(LinuxKernelTest, Option210AtLevel0BecomesMrtInitWithTheSameValue) {
  Record const one = {1, 0, 0, 0};
  Call const call = translated(IPPROTO_IP, 210, one);
  EXPECT_EQ(call.level, IPPROTO_IP);
  EXPECT_EQ(call.option, 200);
  EXPECT_EQ(call.value, one.data());
  EXPECT_EQ(call.len, 4u);
}

TEST_F(LinuxKernelTest, RecordsTheTwoKernelsShareGoThroughUntouched) {
  struct Row {
    int level;
    int option;
    Record record;
  };
  Record const one = {1, 0, 0, 0};
  Row const rows[] = {
      {IPPROTO_IPV6, 200, one},                                      // MRT6_INIT
      {IPPROTO_IP, 201, one},                                        // MRT_DONE
      {IPPROTO_IP, 208, one},                                        // MRT_PIM
      {IPPROTO_IPV6, 208, one},                                      // MRT6_PIM
      {IPPROTO_IP, 202, KernelTest::vifctl(5, 0x08, 7)},             // MRT_ADD_VIF
      {IPPROTO_IP, 202, KernelTest::vifctl(0, 0x04, 0)},             // the Register VIF
      {IPPROTO_IP, 203, KernelTest::delVif4(5)},                     // MRT_DEL_VIF
      {IPPROTO_IPV6, 202, KernelTest::mif6ctl(5, 0, 7)},             // MRT6_ADD_MIF
      {IPPROTO_IPV6, 203, KernelTest::delMif6(5)},                   // MRT6_DEL_MIF
      {IPPROTO_IP, 204, Record(60)},                                 // already mainline
      {IPPROTO_IPV6, 204, Record(92)},
      {IPPROTO_IP, 200, one},                                        // MRT_INIT itself
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(testing::Message() << row.level << "/" << row.option);
    Call const call = translated(row.level, row.option, row.record);
    EXPECT_EQ(call.level, row.level);
    EXPECT_EQ(call.option, row.option);
    EXPECT_EQ(call.value, row.record.data());
    EXPECT_EQ(call.len, row.record.size());
  }
}

// Entries forwarding to VIFs 0, 3 and 31: the agent's records and the kernel's, byte by byte.
Record mainlineMfc() {
  // origin, group, parent 5, TTLs of VIFs 0 to 31, padding, three counters and expiry.
  Record r = {10, 1, 0, 2, 239, 1, 1, 1, 5, 0};
  r.resize(60);
  r[10 + 0] = 1;
  r[10 + 3] = 1;
  r[10 + 31] = 1;
  return r;
}

Record mainlineMf6c() {
  // origin and group as sockaddr_in6 (only their addresses set), parent 2, a 256-bit set.
  Record r(92);
  Record const source = {0x20, 0x01, 0x0d, 0xb8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
  Record const group = {0xff, 0x3e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  std::copy(source.begin(), source.end(), r.begin() + 8);
  std::copy(group.begin(), group.end(), r.begin() + 36);
  r[56] = 2;
  r[60] = 0x09;  // MIFs 0 and 3
  r[63] = 0x80;  // MIF 31
  return r;
}

TEST_F(LinuxKernelTest, The540And124ByteEntriesBecomeThe60And92ByteOnes) {
  struct Row {
    int level;
    Record agent;
    Record mainline;
  };
  Row const rows[] = {
      {IPPROTO_IP, KernelTest::mfcctl("10.1.0.2", "239.1.1.1", 5, {0, 3, 31}), mainlineMfc()},
      {IPPROTO_IPV6, KernelTest::mf6cctl("2001:db8:1::2", "ff3e::1", 2, {0, 3, 31}), mainlineMf6c()},
  };
  for (Row const& row : rows) {
    for (int option : {204, 205}) {
      SCOPED_TRACE(testing::Message() << row.level << "/" << option);
      Call const call = translated(row.level, option, row.agent);
      EXPECT_EQ(call.level, row.level);
      EXPECT_EQ(call.option, option);
      EXPECT_EQ(sent(call), row.mainline);
    }
  }
}

TEST_F(LinuxKernelTest, TheUnresolvedParentAndTtlValuesAreKeptAsTheAgentWroteThem) {
  Record agent = KernelTest::mfcctl("10.1.0.2", "239.1.1.1", 65535, {});
  agent[28 + 2] = 64;
  agent[28 + 40] = 255;  // VIF 40 never forwards: nothing to refuse
  Call const call = translated(IPPROTO_IP, 204, agent);
  Record const out = sent(call);
  ASSERT_EQ(out.size(), 60u);
  EXPECT_EQ(out[8], 0xff);
  EXPECT_EQ(out[9], 0xff);
  EXPECT_EQ(out[12], 64);
  for (std::size_t i = 10; i < 60; ++i) EXPECT_EQ(out[i], i == 12 ? 64 : 0) << i;
}

TEST_F(LinuxKernelTest, AnAddForwardingToVif32OrAboveFailsWithEnfileAndSendsNothing) {
  struct Row {
    KernelTest::FamilyCase const* family;
    std::vector<std::uint16_t> oifs;
  };
  Row const rows[] = {
      {&KernelTest::ipv4, {32}},      {&KernelTest::ipv4, {1, 33}}, {&KernelTest::ipv4, {511}},
      {&KernelTest::ipv6, {32}},      {&KernelTest::ipv6, {1, 255}}, {&KernelTest::ipv6, {256}},
      {&KernelTest::ipv6, {0, 511}},
  };
  Kernel::Backend::Use const use(kernel);
  for (Row const& row : rows) {
    KernelTest::FamilyCase const& f = *row.family;
    SCOPED_TRACE(testing::Message() << f.name << " VIF " << row.oifs.back());
    Record const agent = f.mfc(f.source, f.group, 1, row.oifs);
    int error = 0;
    translated(f.level, 204, agent, &error);
    EXPECT_EQ(error, ENFILE);
    // Through the seam on a descriptor that is no socket: sending anything would give EBADF.
    EXPECT_EQ(Plix::setsockopt(-1, f.level, 204, agent.data(), socklen_t(agent.size())), -1);
    EXPECT_EQ(errno, ENFILE);
    // A delete names only the key: it goes out with the VIFs the kernel can hold.
    Call const del = translated(f.level, 205, agent, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(del.len, f.domain == AF_INET ? 60u : 92u);
    EXPECT_EQ(Plix::setsockopt(-1, f.level, 205, agent.data(), socklen_t(agent.size())), -1);
    EXPECT_EQ(errno, EBADF);
  }
}

TEST_F(LinuxKernelTest, UnresolvedLimitWritesFailWithTheErrnoOfTheMissingFile) {
  Kernel::Backend::Use const use(kernel);
  for (char const* path : {"/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit",
                           "/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit"}) {
    if (std::ifstream(path)) GTEST_SKIP() << "this kernel has " << path;
    Kernel::RealKernel::ProcSysCall call{path, "10"};
    EXPECT_EQ(kernel.translateProcSys(call), 0);
    EXPECT_EQ(call.path, path);
    EXPECT_EQ(Zell::writeProcSysInNetNs(path, "10", "default"), -1);
    EXPECT_EQ(errno, ENOENT);
  }
}

TEST_F(LinuxKernelTest, TheAgentsIpv4SocketOpensAsRawIgmp) {
  if (::geteuid() != 0) GTEST_SKIP() << "raw sockets need root";
  Kernel::Backend::Use const use(kernel);
  int const fd = Plix::socketAt(2, 3, 255, "default");
  ASSERT_GE(fd, 0) << std::strerror(errno);
  int protocol = 0;
  socklen_t len = sizeof protocol;
  ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &len), 0);
  EXPECT_EQ(protocol, IPPROTO_IGMP);
  EXPECT_EQ(Plix::close(fd), 0);
}

TEST_F(LinuxKernelTest, StartUpWordsNameTheMissingFilesAndAVifBoundAbove32) {
  EXPECT_NE(LinuxKernel::unresolvedLimitsNote().find("/proc/sys/net/ipv4/unresolved/"),
            std::string::npos);
  EXPECT_EQ(LinuxKernel::vifBoundWarning("red", 32), std::nullopt);
  EXPECT_EQ(LinuxKernel::vifBoundWarning("red", 3), std::nullopt);
  EXPECT_EQ(LinuxKernel::vifBoundWarning("red", 512),
            "linux kernel: VRF red has max 512 but the kernel holds 32 VIFs; interfaces given "
            "VIF 32 or above are refused (set 'config red max 32')");
  EXPECT_TRUE(kernel.readsBack());
}

}  // namespace
