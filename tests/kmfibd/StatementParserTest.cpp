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
    char const* line;
    char const* error;
  };
  std::string const longVrf = "vrf " + std::string(101, 'v');
  std::string const longNs = "netns " + std::string(151, 'n');
  Case const cases[] = {
      {"frobnicate x", "unknown statement 'frobnicate'"},
      {"no advance 1", "unknown statement 'no advance'"},
      {longVrf.c_str(),
       "VRF 'vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv...': VrfName::bytes > VrfName::maxLength not allowed"},
      {longNs.c_str(),
       "namespace 'nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn...': NamespaceName::bytes > 150 not allowed"},
      {"config red max 65536", "max 65536 is out of range 0-65535"},
      {"config red max -1", "max '-1' is not a decimal number"},
      {"config red unresolved-entries 4294967296", "unresolved-entries 4294967296 is out of range 0-4294967295"},
      {"config red max 3 frobs", "unexpected 'frobs'"},
      {"config red audit 0.5", "audit '0.5' is not a decimal number"},
      {"config red audit 4294967296", "audit 4294967296 is out of range 0-4294967295"},
      {"link red eth0 0", "interface index 0 is out of range 1-4294967295"},
      {"link red eth0", "missing interface index"},
      {"route red pim 10.0.0.1/8 239.1.1.1", "source: bad prefix '10.0.0.1/8': host bits set beyond the prefix length"},
      {"route red pim 10.0.0.1 ff3e::1", "group ff3e::1 is not an IPv4 prefix"},
      {"route red pim 10.0.0.1 *", "group: bad prefix '*': not an IPv4 or IPv6 address"},
      {"route red pim 10.0.0.1 239.1.1.1 oif a,,b", "empty interface in oif list 'a,,b'"},
      {"advance -1", "seconds '-1' is not a non-negative decimal"},
      {"advance soon", "seconds 'soon' is not a non-negative decimal"},
      {"fault default add-mfc ENOPE", "unknown errno 'ENOPE'"},
      {"fault default close EINVAL", "unknown call 'close'"},
      {"fault default add-vif ENODEV count 0", "count 0 is out of range 1-1000000"},
      {"show everything", "unknown show 'everything'"},
      {"request app red", "missing interface"},
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

  StatementParser v6(Plix::AddressFamily::ipv6);
  EXPECT_EQ(v6.parse("route red pim 2001:db8::1 ff3e::1")->key.af(), Plix::AddressFamily::ipv6);
  EXPECT_THROW(v6.parse("route red pim 10.0.0.1 239.1.1.1"), StatementError);
}

}  // namespace
