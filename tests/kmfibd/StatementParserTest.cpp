// The statement language: what each statement parses to, and the exact refusals a user
// reads when a line is wrong.

#include <gtest/gtest.h>

#include <string>

#include "halm/Route.h"
#include "tools/kmfibd/StatementParser.h"

namespace {

using Kmfibd::Statement;
using Kmfibd::StatementError;
using Kmfibd::StatementParser;
using Kind = Statement::Kind;

TEST(StatementParser, Refusals) {
  struct Case {
    std::string line;
    std::string error;
  };
  std::string const longVrf = "vrf " + std::string(101, 'v');
  std::string const longNs = "netns " + std::string(151, 'n');
  std::string const statements =
      " (netns, link, intf, vrf, config, request, table, route, advance, restart, fault, show)";
  Case const cases[] = {
      {"frobnicate x", "unknown statement 'frobnicate'" + statements},
      {"no advance 1", "advance has no 'no' form"},
      {"no show kernel", "show has no 'no' form"},
      {longVrf, "VRF '" + std::string(40, 'v') + "...': VrfName::bytes > VrfName::maxLength not allowed"},
      {longNs, "namespace '" + std::string(40, 'n') + "...': NamespaceName::bytes > 150 not allowed"},
      {"config red max 65536", "max 65536 is out of range 0-65535"},
      {"config red max -1", "max '-1' is not a decimal number"},
      {"config red unresolved-entries 4294967296", "unresolved-entries 4294967296 is out of range 0-4294967295"},
      {"config red max 3 frobs", "unexpected 'frobs' (max, unresolved-entries, unresolved-buffers, audit)"},
      {"vrf red netns a b", "unexpected 'b'"},
      {"vrf red blue", "unexpected 'blue' (netns)"},
      {"table red pim pref 3", "unexpected 'pref' (preference)"},
      {"request pim red Ethernet1 yes", "unexpected 'yes' (on, off)"},
      {"route red pim 10.0.0.1 239.1.1.1 oiff x", "unexpected 'oiff' (iif, oif, iif-register, oif-register, switching)"},
      {"config red audit 0.5", "audit '0.5' is not a decimal number"},
      {"config red audit 4294967296", "audit 4294967296 is out of range 0-4294967295"},
      {"link red eth0 0", "interface index 0 is out of range 1-4294967295"},
      {"link red eth0", "missing interface index"},
      // Names that become state-database paths.
      {"vrf a/b", "VRF 'a/b': a name cannot hold '/'"},
      {"table default a/b", "table 'a/b': a name cannot hold '/'"},
      {"route default a/b 10.0.0.1 239.1.1.1", "table 'a/b': a name cannot hold '/'"},
      {"netns ns/1", "namespace 'ns/1': a name cannot hold '/'"},
      {"request pim/x default Ethernet1", "application 'pim/x': a name cannot hold '/'"},
      {"config x/y", "VRF 'x/y': a name cannot hold '/'"},
      // Keys the kernel could not hold as written.
      {"route red pim 10.0.0.1/8 239.1.1.1", "source: bad prefix '10.0.0.1/8': host bits set beyond the prefix length"},
      {"route red pim 10.0.0.0/8 239.1.1.1", "source 10.0.0.0/8 is a prefix: a source is one host address or *"},
      {"route red pim 10.0.0.1 10.1.1.1", "group 10.1.1.1 is not IPv4 multicast (224.0.0.0/4)"},
      {"route red pim 10.0.0.1 224.0.0.0/3", "group 224.0.0.0/3 is not IPv4 multicast (224.0.0.0/4)"},
      {"no route red pim 10.0.0.1 192.168.1.1", "group 192.168.1.1 is not IPv4 multicast (224.0.0.0/4)"},
      {"route red pim 10.0.0.1 ff3e::1", "group ff3e::1 is not an IPv4 prefix"},
      {"route red pim 10.0.0.1 *", "group: bad prefix '*': not an IPv4 or IPv6 address"},
      {"route red pim 10.0.0.1 239.1.1.1 oif a,,b", "empty interface in oif list 'a,,b'"},
      // Seconds: decimal, bounded.
      {"advance -1", "advance '-1' is not a decimal number of seconds such as 0.5"},
      {"advance soon", "advance 'soon' is not a decimal number of seconds such as 0.5"},
      {"advance 1e8", "advance '1e8' is not a decimal number of seconds such as 0.5"},
      {"advance inf", "advance 'inf' is not a decimal number of seconds such as 0.5"},
      {"advance 0x10", "advance '0x10' is not a decimal number of seconds such as 0.5"},
      {"advance 1000000.5", "advance '1000000.5' is more than 1000000 seconds"},
      {"advance 1.2.3", "advance '1.2.3' is not a decimal number of seconds such as 0.5"},
      {"advance .", "advance '.' is not a decimal number of seconds such as 0.5"},
      {"fault default add-mfc ENOPE",
       "unknown errno 'ENOPE' (EPERM, ENOENT, EINTR, EIO, EBADF, EAGAIN, ENOMEM, EACCES, EFAULT, EBUSY, EEXIST, "
       "ENODEV, EINVAL, ENFILE, EMFILE, ENOTTY, ENOSPC, ERANGE, ENOSYS, ENOPROTOOPT, EPROTONOSUPPORT, EOPNOTSUPP, "
       "EAFNOSUPPORT, EADDRINUSE, EADDRNOTAVAIL, ENETDOWN, ENETUNREACH, ENOBUFS, ETIMEDOUT, EHOSTUNREACH)"},
      {"fault default close EINVAL",
       "unknown call 'close' (socket, start, pim, nonblock, add-vif, del-vif, add-mfc, del-mfc, done, proc-write)"},
      {"fault default add-vif ENODEV count 0", "count 0 is out of range 1-1000000"},
      {"fault default add-vif ENODEV twice", "unexpected 'twice' (count)"},
      {"show routes", "unknown show 'routes' (kernel, status, machines, mroute, counters)"},
      {"show mroute red 10.0.0.1", "missing group"},
      {"show mroute red 10.0.0.1 239.1.1.1 x", "unexpected 'x'"},
      {"show counters red blue", "unexpected 'blue'"},
      {"no show counters", "show has no 'no' form"},
      {"request app red", "missing interface"},
      // What a user typed is quoted short, with control bytes escaped.
      {"frob\x1b[2Jnicate", "'frob\\x1b[2Jnicate': a word cannot hold control bytes"},
      {"table default t\x07", "'t\\x07': a word cannot hold control bytes"},
      // A name that is not UTF-8 would make `show` output, and its JSON, other than text.
      {"netns \xc3\x28", "'\\xc3(': a word must be UTF-8 text"},
      {"vrf red\xff netns a", "'red\\xff': a word must be UTF-8 text"},
      {"show " + std::string(300, 'x'), "unknown show '" + std::string(40, 'x') + "...' (kernel, status, machines, mroute, counters)"},
  };
  StatementParser parser(Plix::AddressFamily::ipv4);
  for (auto const& c : cases) {
    try {
      parser.parse(c.line);
      ADD_FAILURE() << "accepted: " << c.line;
    } catch (StatementError const& e) {
      EXPECT_EQ(std::string(e.what()), c.error) << c.line;
    }
  }
}

TEST(StatementParser, WhatStatementsMean) {
  StatementParser v4(Plix::AddressFamily::ipv4);
  EXPECT_FALSE(v4.parse("   # only a comment"));
  EXPECT_FALSE(v4.parse(""));

  auto r = *v4.parse("route red pim * 239.1.1.1 iif Ethernet1 oif Ethernet2,Ethernet3 oif-register switching # c");
  EXPECT_EQ(r.kind, Kind::route);
  EXPECT_EQ(r.vrf, "red");
  EXPECT_EQ(r.table, "pim");
  EXPECT_TRUE(r.key.isStarG());
  EXPECT_EQ(r.key.pretty(), "(*, 239.1.1.1)");
  EXPECT_EQ(r.iif, Plix::IntfId("Ethernet1"));
  EXPECT_EQ(r.oifs, (std::vector<Plix::IntfId>{Plix::IntfId("Ethernet2"), Plix::IntfId("Ethernet3")}));
  EXPECT_EQ(r.flags, Halm::Multicast::Fib::Route::oifRegister | Halm::Multicast::Fib::Route::switchingState);

  auto c = *v4.parse("config red unresolved-buffers 7 max 3");
  EXPECT_EQ(c.max, std::optional<std::uint16_t>(3));
  EXPECT_EQ(c.unresolvedBuffers, std::optional<std::uint32_t>(7));
  EXPECT_FALSE(c.unresolvedEntries);
  EXPECT_FALSE(c.audit);
  EXPECT_EQ(v4.parse("config red audit 30 max 4")->audit, std::optional<std::uint32_t>(30));
  EXPECT_EQ(v4.parse("config red audit 0")->audit, std::optional<std::uint32_t>(0));

  auto noReq = *v4.parse("no request pim red");
  EXPECT_TRUE(noReq.no);
  EXPECT_TRUE(noReq.hasVrf);
  EXPECT_FALSE(noReq.hasIntf);
  EXPECT_FALSE(v4.parse("request pim red Ethernet1 off")->on);

  auto f = *v4.parse("fault red add-vif ENOBUFS count 3");
  EXPECT_EQ(f.call, Kernel::CallKind::addVif);
  EXPECT_EQ(f.error, ENOBUFS);
  EXPECT_EQ(f.count, 3u);
  EXPECT_DOUBLE_EQ(v4.parse("advance 0.5")->seconds, 0.5);
  EXPECT_TRUE(v4.parse("show kernel red")->hasNs);
  auto counters = *v4.parse("show counters red");
  EXPECT_EQ(counters.kind, Kind::showCounters);
  EXPECT_TRUE(counters.hasNs);
  EXPECT_EQ(counters.ns, Plix::NamespaceName("red"));
  EXPECT_FALSE(v4.parse("show counters")->hasNs);
  EXPECT_DOUBLE_EQ(v4.parse("advance 1000000")->seconds, 1e6) << "the bound itself is allowed";
  EXPECT_DOUBLE_EQ(v4.parse("advance .25")->seconds, 0.25);
  EXPECT_EQ(v4.parse("route red pim 10.0.0.1/32 239.1.1.0/24")->key.pretty(), "(10.0.0.1, 239.1.1.0/24)")
      << "a host source may carry its length; a group may be a multicast prefix";

  auto m = *v4.parse("show mroute red * 239.1.1.1");
  EXPECT_EQ(m.kind, Kind::showMroute);
  EXPECT_TRUE(m.hasVrf);
  EXPECT_TRUE(m.hasKey);
  EXPECT_TRUE(m.key.isStarG());
  EXPECT_FALSE(v4.parse("show mroute")->hasVrf);
  EXPECT_FALSE(v4.parse("show mroute red")->hasKey);

  StatementParser v6(Plix::AddressFamily::ipv6);
  EXPECT_EQ(v6.parse("route red pim 2001:db8::1 ff3e::1")->key.af(), Plix::AddressFamily::ipv6);
  EXPECT_THROW(v6.parse("route red pim 10.0.0.1 239.1.1.1"), StatementError);
  EXPECT_THROW(v6.parse("route red pim 2001:db8::1 2001:db8::2"), StatementError) << "not multicast";
  EXPECT_THROW(v6.parse("route red pim 2001:db8::/64 ff3e::1"), StatementError) << "a source prefix";
}

}  // namespace
