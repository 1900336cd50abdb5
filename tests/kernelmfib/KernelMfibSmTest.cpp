// The machine's kernel calls byte by byte and in order, its start-up reconciliation of a
// status left by an earlier machine, and its teardown.

#include <algorithm>
#include <map>
#include <string>

#include "halm/MfibHalmColl.h"
#include "tests/kernelmfib/MachineFixture.h"

namespace Routing::KernelMfib {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes le16(std::uint16_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }
Bytes cat(std::vector<Bytes> const& parts) {
  Bytes out;
  for (auto const& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes one() { return {1, 0, 0, 0}; }

class KernelMfibSmTest : public MachineFixture {
 protected:
  std::map<std::string, int> allocated() const {
    std::map<std::string, int> out;
    for (auto const& [intf, vif] : status->vifConfigColl) out[intf.name()] = vif;
    return out;
  }
  // The text of each /proc/sys write so far, after its file's name.
  std::vector<std::string> limitWrites() const {
    std::vector<std::string> out;
    for (auto const& c : calls({CallKind::procWrite})) {
      out.push_back(c.path.substr(c.path.rfind('/') + 1) + " " + std::string(c.bytes.begin(), c.bytes.end()));
    }
    return out;
  }
};

TEST_F(KernelMfibSmTest, SocketSetUpOfEachFamily) {
  struct Case {
    Plix::AddressFamily af;
    int family, protocol, level, start;
    Bytes registerVif;
  };
  Case const cases[] = {
      // vifctl: index 0, VIFF_REGISTER, threshold 1, the rest zero.
      {Plix::AddressFamily::ipv4, 2, 255, 0, 210, cat({le16(0), {0x04, 1}, Bytes(12, 0)})},
      // mif6ctl: index 0, MIFF_REGISTER, threshold 0, pifi 0, padding, rate limit.
      {Plix::AddressFamily::ipv6, 10, 58, 41, 200, cat({le16(0), {0x01, 0}, Bytes(8, 0)})},
  };
  for (auto const& c : cases) {
    sim.callsDelAll();
    start(c.af);
    auto made = calls({CallKind::socket, CallKind::start, CallKind::pim, CallKind::nonblock, CallKind::addVif});
    ASSERT_EQ(made.size(), 5u);
    EXPECT_EQ(std::tuple(made[0].family, made[0].type, made[0].protocol), std::tuple(c.family, 3, c.protocol));
    EXPECT_EQ(std::tuple(made[1].level, made[1].option, made[1].bytes), std::tuple(c.level, c.start, one()));
    EXPECT_EQ(std::tuple(made[2].level, made[2].option, made[2].bytes), std::tuple(c.level, 208, one()));
    EXPECT_EQ(made[3].request, 0x5421u);
    EXPECT_EQ(std::tuple(made[4].level, made[4].option, made[4].bytes), std::tuple(c.level, 202, c.registerVif));
    EXPECT_EQ(c.af == Plix::AddressFamily::ipv6, sm->v6RelaySm() != nullptr);
    sim.callsDelAll();
    sm = nullptr;
    auto closing = calls({CallKind::done, CallKind::close});
    ASSERT_EQ(closing.size(), 2u) << "shut down and close, nothing else";
    EXPECT_EQ(std::tuple(closing[0].level, closing[0].option), std::tuple(c.level, 201));
  }
}

TEST_F(KernelMfibSmTest, VifRecordsAddAndDelete) {
  // Index 5 was allocated by an earlier machine; the device has kernel index 7.
  status->vifConfigColl.is(Plix::IntfId("Ethernet5"), 5);
  request("pim", "Ethernet5");
  device("Ethernet5", 7);
  struct Case {
    Plix::AddressFamily af;
    Bytes add, del;
  };
  Case const cases[] = {
      {Plix::AddressFamily::ipv4, cat({le16(5), {0x08, 1}, Bytes(4, 0), {7, 0, 0, 0}, Bytes(4, 0)}),
       cat({le16(5), Bytes(14, 0)})},
      {Plix::AddressFamily::ipv6, cat({le16(5), {0, 0}, le16(7), Bytes(6, 0)}), le16(5)},
  };
  for (auto const& c : cases) {
    sim.callsDelAll();
    start(c.af);
    auto adds = calls({CallKind::addVif});
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(adds[1].bytes, c.add);
    EXPECT_EQ(status->vifStatusColl(Plix::IntfId("Ethernet5")), 5);
    EXPECT_EQ(status->intfIdColl(5), Plix::IntfId("Ethernet5"));
    request("pim", "Ethernet5", false);
    auto dels = calls({CallKind::delVif});
    ASSERT_EQ(dels.size(), 1u);
    EXPECT_EQ(dels[0].bytes, c.del);
    EXPECT_FALSE(status->vifConfigColl.has(Plix::IntfId("Ethernet5")));
    EXPECT_FALSE(status->vifStatusColl.has(Plix::IntfId("Ethernet5")));
    EXPECT_FALSE(status->intfIdColl.has(5));
    sm = nullptr;
    status->vifConfigColl.is(Plix::IntfId("Ethernet5"), 5);
    request("pim", "Ethernet5");
  }
}

TEST_F(KernelMfibSmTest, StartUpReconcilesTheStatusOfAnEarlierMachine) {
  auto intf = [](char const* n) { return Plix::IntfId(n); };
  // Registered by an earlier machine but no longer allocated; a stale reverse entry; an
  // allocation nobody requests any more; a registration missing its reverse entry.
  status->vifStatusColl.is(intf("Gone"), 4);
  status->intfIdColl.is(4, intf("Gone"));
  status->intfIdColl.is(9, intf("Ghost"));
  status->vifConfigColl.is(intf("Unwanted"), 2);
  status->vifConfigColl.is(intf("Kept"), 3);
  status->vifStatusColl.is(intf("Kept"), 3);
  request("pim", "Kept");
  request("pim", "Fresh");
  device("Kept", 30);
  device("Fresh", 31);
  start();
  std::map<std::string, int> config, registered, reverse;
  for (auto const& [i, v] : status->vifConfigColl) config[i.name()] = v;
  for (auto const& [i, v] : status->vifStatusColl) registered[i.name()] = v;
  for (auto const& [v, i] : status->intfIdColl) reverse[i.name()] = v;
  EXPECT_EQ(config, (std::map<std::string, int>{{"Fresh", 1}, {"Kept", 3}})) << "index 2 freed, 1 reused";
  EXPECT_EQ(registered, config);
  EXPECT_EQ(reverse, config);
  EXPECT_TRUE(sink.contains("KernelMfibSm::intfIdCollSync() Deleting vif 9 intfId Ghost"));
  EXPECT_TRUE(sink.contains("Unsetting VIF 4 for Gone in kernel"));
  EXPECT_TRUE(sm->vifUsed(3));
  EXPECT_FALSE(sm->vifUsed(2));

  // The machine's end releases every allocation and leaves registrations for the next one.
  sm = nullptr;
  EXPECT_TRUE(status->vifConfigColl.empty());
  EXPECT_EQ(status->vifStatusColl.size(), 2u);
  EXPECT_EQ(status->intfIdColl.size(), 2u);
}

TEST_F(KernelMfibSmTest, IndexAllocatedTwiceStopsTheAgent) {
  status->vifConfigColl.is(Plix::IntfId("A"), 3);
  status->vifConfigColl.is(Plix::IntfId("B"), 3);
  EXPECT_DEATH(start(), "VIF 3 was allocated twice");
}

TEST_F(KernelMfibSmTest, SocketRetriedEverySecondAndLimitsWritten) {
  sim.faultIs(Plix::NamespaceName::defaultNamespace(), CallKind::socket, ENOENT, 2);
  config->maxUnresolvedCacheEntries.is(4294967295u);
  start();
  EXPECT_LT(sm->sock(), 0);
  EXPECT_TRUE(sink.contains("Failed to open socket in namespace default , errno 2"));
  am.loop().advance(1.0);
  EXPECT_LT(sm->sock(), 0);
  am.loop().advance(1.0);
  EXPECT_GT(sm->sock(), 0);
  EXPECT_EQ(calls({CallKind::socket}).size(), 3u);
  EXPECT_EQ(calls({CallKind::start}).size(), 1u) << "set up once, after the open";
  am.loop().advance(5.0);
  EXPECT_EQ(calls({CallKind::socket}).size(), 3u) << "an open socket is never reopened";
  auto writes = calls({CallKind::procWrite});
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].path, "/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit");
  EXPECT_EQ(std::string(writes[0].bytes.begin(), writes[0].bytes.end()), "4294967295");
  config->maxUnresolvedPktBuffers.is(9);
  writes = calls({CallKind::procWrite});
  ASSERT_EQ(writes.size(), 3u) << "one change writes one file";
  EXPECT_EQ(writes[2].path, "/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit");
}

// A delete the kernel refuses with another error than "no such VIF" keeps the index from
// the next interface and is retried with the VIF retry timer until the kernel lets go;
// each failure is traced. "No such VIF" counts as deleted at once.
class RefusedVifDeleteTest : public MachineFixture {
 protected:
  void run(Plix::AddressFamily af, std::string const& failure) {
    auto const ns = Plix::NamespaceName::defaultNamespace();
    request("pim", "A");
    device("A", 11);
    device("B", 12);
    start(af);
    ASSERT_EQ(status->vifStatusColl(Plix::IntfId("A")), 1);
    sink.clear();
    sim.faultIs(ns, CallKind::delVif, EBUSY, 2);
    request("pim", "A", false);
    EXPECT_FALSE(status->vifStatusColl.has(Plix::IntfId("A"))) << "withdrawn from the status all the same";
    EXPECT_TRUE(sm->vifDelPending(1));
    request("pim", "B");
    EXPECT_EQ(status->vifConfigColl(Plix::IntfId("B")), 2) << "index 1 is still in the kernel";
    am.loop().advance(4.9);
    EXPECT_EQ(calls({CallKind::delVif}).size(), 1u);
    am.loop().advance(0.2);
    EXPECT_EQ(calls({CallKind::delVif}).size(), 2u) << "retried after five seconds";
    EXPECT_TRUE(sm->vifDelPending(1));
    am.loop().advance(5.1);
    EXPECT_EQ(calls({CallKind::delVif}).size(), 3u);
    EXPECT_FALSE(sm->vifDelPending(1));
    std::vector<std::string> failures;
    for (auto const& text : sink.texts("KernelMfibSm")) {
      if (text.find("failure") != std::string::npos || text.starts_with("doDelVifInKernel")) failures.push_back(text);
    }
    std::string const kept = "delVifInKernel returned failure: -1, keeping VIF 1 in use";
    EXPECT_EQ(failures, (std::vector<std::string>{failure, kept, failure, kept}));
    am.loop().advance(10.0);
    EXPECT_EQ(calls({CallKind::delVif}).size(), 3u) << "nothing left to retry";
    request("pim", "C");
    EXPECT_EQ(status->vifConfigColl(Plix::IntfId("C")), 1) << "the index is free once the kernel let it go";

    sim.faultIs(ns, CallKind::delVif, EADDRNOTAVAIL);
    request("pim", "C", false);
    EXPECT_FALSE(sm->vifDelPending(1)) << "a VIF the kernel no longer has is deleted";
    request("pim", "D");
    EXPECT_EQ(status->vifConfigColl(Plix::IntfId("D")), 1);
  }
};

TEST_F(RefusedVifDeleteTest, Ipv4) {
  run(Plix::AddressFamily::ipv4, "doDelVifInKernel: MRT_DEL_VIF ( vifc_vifi=1 ) returned -1, errno 16");
}

TEST_F(RefusedVifDeleteTest, Ipv6) {
  run(Plix::AddressFamily::ipv6, "doDelVifInKernel: MRT6_DEL_MIF ( mifi=1 ) returned -1, errno 16");
}

TEST_F(KernelMfibSmTest, MaxBoundsTheIndicesHandedOut) {
  struct Case {
    std::uint16_t max;
    std::map<std::string, int> allocated;
  };
  Case const cases[] = {
      {0, {}},
      {1, {}},
      {2, {{"Ethernet1", 1}}},
      {3, {{"Ethernet1", 1}, {"Ethernet2", 2}}},
  };
  for (char const* intf : {"Ethernet1", "Ethernet2", "Ethernet3"}) request("pim", intf);
  device("Ethernet1", 11);
  device("Ethernet2", 12);
  device("Ethernet3", 13);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.max);
    config->max.is(c.max);
    sim.callsDelAll();
    sink.clear();
    start();
    EXPECT_EQ(allocated(), c.allocated);
    EXPECT_EQ(calls({CallKind::addVif}).size(), 1 + c.allocated.size()) << "the Register VIF and one per index";
    EXPECT_TRUE(sink.contains("Could not allocate VIF for Ethernet3, so ignoring for now"));
    sm = nullptr;
  }
}

TEST_F(KernelMfibSmTest, ChangingMaxAloneDoesNothing) {
  config->max.is(3);
  for (char const* intf : {"Ethernet1", "Ethernet2", "Ethernet3"}) request("pim", intf);
  device("Ethernet1", 11);
  device("Ethernet2", 12);
  device("Ethernet3", 13);
  start();
  auto const before = allocated();
  ASSERT_EQ(before, (std::map<std::string, int>{{"Ethernet1", 1}, {"Ethernet2", 2}}));
  sim.callsDelAll();
  sink.clear();
  config->max.is(2);   // below an index in use: nothing is taken back
  config->max.is(10);  // room for Ethernet3: it is not given any
  EXPECT_EQ(allocated(), before);
  EXPECT_TRUE(sim.calls().empty());
  EXPECT_TRUE(sink.texts("KernelMfibSm").empty());
  // The new bound applies from the next allocation.
  request("pim", "Ethernet3", false);
  request("pim", "Ethernet3");
  EXPECT_EQ(allocated()["Ethernet3"], 3);
}

TEST_F(KernelMfibSmTest, LimitsWrittenForEachFamily) {
  struct Case {
    Plix::AddressFamily af;
    bool socketFails;
  };
  Case const cases[] = {{Plix::AddressFamily::ipv4, false},
                        {Plix::AddressFamily::ipv6, false},
                        {Plix::AddressFamily::ipv6, true}};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.af == Plix::AddressFamily::ipv6 ? "IPv6" : "IPv4") << c.socketFails);
    config->maxUnresolvedCacheEntries.is(10);
    config->maxUnresolvedPktBuffers.is(3);
    if (c.socketFails) sim.faultIs(Plix::NamespaceName::defaultNamespace(), CallKind::socket, ENOENT);
    sim.callsDelAll();
    start(c.af);
    EXPECT_EQ(sm->sock() < 0, c.socketFails);
    auto const writes = calls({CallKind::procWrite});
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].path, "/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit") << "the same files for IPv6";
    EXPECT_EQ(writes[1].path, "/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit");
    EXPECT_EQ(writes[0].ns, Plix::NamespaceName::defaultNamespace());
    EXPECT_EQ(limitWrites(), (std::vector<std::string>{"ip_cache_resolve_qlimit 10", "ip_mcast_unres_skb_limit 3"}));
    config->maxUnresolvedCacheEntries.is(0);
    config->maxUnresolvedPktBuffers.is(65536);
    config->maxUnresolvedPktBuffers.is(65536);  // unchanged: no write
    EXPECT_EQ(limitWrites(), (std::vector<std::string>{"ip_cache_resolve_qlimit 10", "ip_mcast_unres_skb_limit 3",
                                                       "ip_cache_resolve_qlimit 0",
                                                       "ip_mcast_unres_skb_limit 65536"}));
    sm = nullptr;
  }
}

TEST_F(KernelMfibSmTest, Vif511ReachesTheRecord) {
  auto const key = [](Plix::AddressFamily af) {
    bool const v6 = af == Plix::AddressFamily::ipv6;
    return RouteKey(Plix::IpGenPrefix::parse(v6 ? "2001:db8::1" : "10.0.0.1"),
                    Plix::IpGenPrefix::parse(v6 ? "ff3e::1" : "239.1.1.1"));
  };
  struct Case {
    Plix::AddressFamily af;
    std::size_t size;
    std::size_t lastByte;  // IPv4 TTL byte 511; IPv6 bit 31 of word 15, in host order
    std::uint8_t lastValue;
  };
  Case const cases[] = {{Plix::AddressFamily::ipv4, 540, 539, 1}, {Plix::AddressFamily::ipv6, 124, 123, 0x80}};
  std::vector<std::string> names;
  for (int i = 1; i <= 511; ++i) {
    names.push_back("Ethernet" + std::to_string(i));
    device(names.back().c_str(), static_cast<std::uint32_t>(100 + i));
  }
  for (auto const& c : cases) {
    auto coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("red");
    auto table = Quib::make<Halm::Multicast::Fib::Status>("mroute");
    coll->halmPtrIs(table);
    table->routeIs(Halm::Multicast::Fib::Route(key(c.af), Plix::IntfId("Ethernet1"), {Plix::IntfId("Ethernet511")}, 0));
    start(c.af);
    // Requested one after another under the default max of 512, the last gets the last index.
    for (auto const& name : names) request("pim", name.c_str());
    ASSERT_EQ(status->vifStatusColl(Plix::IntfId("Ethernet511")), 511);
    sim.callsDelAll();
    sm->mfibHalmDirIs(coll);
    am.loop().advance(0);
    auto const adds = calls({CallKind::addMfc});
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].result, 0);
    ASSERT_EQ(adds[0].bytes.size(), c.size);
    EXPECT_EQ(adds[0].bytes[c.lastByte], c.lastValue);
    auto const outgoing = std::count_if(adds[0].bytes.end() - (c.af == Plix::AddressFamily::ipv6 ? 64 : 512),
                                        adds[0].bytes.end(), [](std::uint8_t b) { return b != 0; });
    EXPECT_EQ(outgoing, 1) << "VIF 511 only";
    auto const kernel = sim.snapshot(Plix::NamespaceName::defaultNamespace());
    ASSERT_EQ(kernel.size(), 1u);
    ASSERT_EQ(kernel[0].mfcs.size(), 1u);
    EXPECT_EQ(kernel[0].mfcs[0].iif, 1);
    EXPECT_EQ(kernel[0].mfcs[0].oifs, std::vector<std::uint16_t>{511});
    for (auto const& name : names) request("pim", name.c_str(), false);
    sm = nullptr;
  }
}

}  // namespace
}  // namespace Routing::KernelMfib
