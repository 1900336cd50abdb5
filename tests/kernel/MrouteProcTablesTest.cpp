// Reading a Linux kernel's multicast-routing tables back from the text of its /proc/net
// files, in the kernel's own formats: VIFs by device name, entries by VIF index with their
// counters, unresolved entries, and raw sockets by protocol.

#include "kernel/MrouteProcTables.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <bit>
#include <tuple>

namespace {

using Kernel::MrouteProcTables;
using Kernel::NamespaceSnapshot;
using Plix::AddressFamily;
using VifFlags = NamespaceSnapshot::VifFlags;

static_assert(std::endian::native == std::endian::little, "IPv4 words below are little-endian");

NamespaceSnapshot::Address addr(char const* text) {
  NamespaceSnapshot::Address a{};
  inet_pton(std::string_view(text).find(':') != std::string_view::npos ? AF_INET6 : AF_INET, text,
            a.data());
  return a;
}

constexpr char const* vifs4 =
    "Interface      BytesIn  PktsIn  BytesOut PktsOut Flags Local    Remote\n"
    " 0 pimreg            0       0         0       0 00004 00000000 00000000\n"
    " 1 r0             1316      47         0       0 00008 00000003 00000000\n"
    "31 r1                0       0      1316      47 00008 00000004 00000000\n";

constexpr char const* vifs6 =
    "Interface      BytesIn  PktsIn  BytesOut PktsOut Flags\n"
    " 0 pim6reg           0       0         0       0 00001\n"
    " 2 r0             1316      47         0       0 00000\n";

TEST(MrouteProcTablesTest, VifLinesGiveIndexDeviceAndFlags) {
  using Line = MrouteProcTables::VifLine;
  EXPECT_EQ(MrouteProcTables::parseVifs(vifs4),
            (std::vector<Line>{{0, "pimreg", 4}, {1, "r0", 8}, {31, "r1", 8}}));
  EXPECT_EQ(MrouteProcTables::parseVifs(vifs6),
            (std::vector<Line>{{0, "pim6reg", 1}, {2, "r0", 0}}));
  EXPECT_TRUE(MrouteProcTables::parseVifs("Interface      BytesIn  PktsIn\n").empty());
  EXPECT_TRUE(MrouteProcTables::parseVifs("").empty());
}

TEST(MrouteProcTablesTest, VifRecordsAreThoseTheSimulatedKernelShows) {
  struct Row {
    AddressFamily af;
    MrouteProcTables::VifLine line;
    NamespaceSnapshot::Vif vif;
  };
  Row const rows[] = {
      {AddressFamily::ipv4, {0, "pimreg", 4}, {AddressFamily::ipv4, 0, 0, VifFlags::registerVif, 0}},
      {AddressFamily::ipv4, {1, "r0", 8}, {AddressFamily::ipv4, 1, 9, VifFlags::useIfindex, 0}},
      {AddressFamily::ipv4, {2, "r1", 0}, {AddressFamily::ipv4, 2, 9, VifFlags::none, 0}},
      {AddressFamily::ipv6, {0, "pim6reg", 1}, {AddressFamily::ipv6, 0, 0, VifFlags::registerVif, 0}},
      {AddressFamily::ipv6, {2, "r0", 0}, {AddressFamily::ipv6, 2, 9, VifFlags::none, 0}},
  };
  for (Row const& row : rows) {
    EXPECT_EQ(MrouteProcTables::vifOf(row.af, row.line, 9), row.vif) << row.line.dev;
  }
}

// The entry and its packets, bytes and wrong-interface count, as one comparable row.
using Counted = std::tuple<NamespaceSnapshot::Mfc, std::uint64_t, std::uint64_t, std::uint64_t>;

std::vector<Counted> counted(AddressFamily af, char const* text) {
  std::vector<Counted> rows;
  for (auto const& line : MrouteProcTables::parseCache(af, text)) {
    rows.emplace_back(line.mfc, line.packets, line.bytes, line.wrongIf);
  }
  return rows;
}

TEST(MrouteProcTablesTest, CacheLinesGiveEntriesAndCounters) {
  constexpr char const* cache4 =
      "Group    Origin   Iif     Pkts    Bytes    Wrong Oifs\n"
      "010101EF 0200010A 1          3      252        2  31:1    2:1  \n"
      "020101EF 0200010A 2          0        0        0\n"
      "030101EF 0200010A -1         0        0        0\n";
  constexpr char const* cache6 =
      "Group                            Origin                           Iif      Pkts  Bytes     "
      "Wrong  Oifs\n"
      "ff3e:0000:0000:0000:0000:0000:0000:0001 2001:0db8:0001:0000:0000:0000:0000:0002 1        "
      "  2      208        1  0:1    2:1  \n";
  auto const v4 = AddressFamily::ipv4;
  auto const v6 = AddressFamily::ipv6;
  auto const source4 = addr("10.1.0.2");
  EXPECT_EQ(counted(v4, cache4),
            (std::vector<Counted>{
                {{v4, source4, addr("239.1.1.1"), 1, {2, 31}}, 3, 252, 2},
                {{v4, source4, addr("239.1.1.2"), 2, {}}, 0, 0, 0},
                {{v4, source4, addr("239.1.1.3"), 65535, {}}, 0, 0, 0},  // unresolved
            }));
  EXPECT_EQ(counted(v6, cache6),
            (std::vector<Counted>{
                {{v6, addr("2001:db8:1::2"), addr("ff3e::1"), 1, {0, 2}}, 2, 208, 1},
            }));
}

TEST(MrouteProcTablesTest, MalformedCacheLinesAreLeftOut) {
  constexpr char const* text =
      "Group    Origin   Iif     Pkts    Bytes    Wrong Oifs\n"
      "010101EF 0200010A\n"
      "0101EF 0200010A 1 0 0 0\n"
      "010101EF 0200010A x 0 0 0\n"
      "010101EF 0200010A 1 0 0 0 a:1\n"
      "040101EF 0200010A 1 0 0 0 3:1\n";
  auto const lines = MrouteProcTables::parseCache(AddressFamily::ipv4, text);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].mfc.group, addr("239.1.1.4"));
  EXPECT_EQ(lines[0].mfc.oifs, std::vector<std::uint16_t>{3});
}

TEST(MrouteProcTablesTest, RawSocketsAreFoundByProtocol) {
  constexpr char const* raw =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
      "timeout inode ref pointer drops\n"
      "  2: 00000000:0002 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        "
      "0 1234 2 0000000000000000 0\n";
  constexpr char const* raw6 =
      "  sl  local_address                         remote_address                        st "
      "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
      " 58: 00000000000000000000000000000000:003A 00000000000000000000000000000000:0000 07 "
      "00000000:00000000 00:00000000 00000000     0        0 4321 2 0000000000000000 0\n";
  EXPECT_TRUE(MrouteProcTables::rawSocketOpen(raw, IPPROTO_IGMP));
  EXPECT_FALSE(MrouteProcTables::rawSocketOpen(raw, IPPROTO_RAW));
  EXPECT_TRUE(MrouteProcTables::rawSocketOpen(raw6, IPPROTO_ICMPV6));
  EXPECT_FALSE(MrouteProcTables::rawSocketOpen(raw6, IPPROTO_IGMP));
  EXPECT_FALSE(MrouteProcTables::rawSocketOpen("  sl  local_address\n", IPPROTO_IGMP));
}

TEST(MrouteProcTablesTest, AnAbsentNamespaceReadsAsNothing) {
  EXPECT_EQ(MrouteProcTables::read("kmfib-no-such-namespace"), std::nullopt);
  auto const names = MrouteProcTables::namespaces();
  ASSERT_FALSE(names.empty());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_NE(std::find(names.begin(), names.end(), Plix::NamespaceName("default")), names.end());
}

}  // namespace
