// The one-key programming reached two ways: the full review hands it the route its walk
// stands on, a single-key request only the key. Both must send the same kernel records and
// the same per-key traces for every kind of route, with the per-key traces on or off; a
// key that leaves its table while the walk is on its way is looked up again.

#include <algorithm>
#include <optional>
#include <sstream>

#include "halm/MfibHalmColl.h"
#include "halm/MfibHalmCollRouteIteratorConst.h"
#include "tests/kernelmfib/MachineFixture.h"
#include "tests/support/AgentRecords.h"

namespace Routing::KernelMfib {
namespace {

using Af = Plix::AddressFamily;
using Intfs = std::vector<Plix::IntfId>;

constexpr std::uint16_t unresolved = MfcEntry::unresolved;

// One MFC call: an add or a delete, and its record.
struct Mfc {
  bool add;
  KernelTest::Record record;
  friend bool operator==(Mfc const&, Mfc const&) = default;
  friend std::ostream& operator<<(std::ostream& os, Mfc const& m) {
    os << (m.add ? "add" : "del");
    for (std::size_t i = 0; i < m.record.size(); ++i) {
      if (m.record[i]) os << " [" << i << "]=" << int(m.record[i]);
    }
    return os;
  }
};

class SyncKeyTest : public MachineFixture, public testing::WithParamInterface<Af> {
 protected:
  SyncKeyTest() {
    request("pim", "Ethernet1");
    request("pim", "Ethernet2");
    request("pim", "Ethernet3");  // no device: no VIF
    device("Ethernet1", 11);
    device("Ethernet2", 12);
    pim->preferenceIs(10);
    other->preferenceIs(20);
    coll->halmPtrIs(pim);
    coll->halmPtrIs(other);
  }
  bool v6() const { return GetParam() == Af::ipv6; }
  std::string sourceText(int i) const { return (v6() ? "2001:db8::" : "10.0.0.") + std::to_string(i); }
  char const* groupText() const { return v6() ? "ff3e::1" : "239.1.1.1"; }
  RouteKey key(int i) const {
    return RouteKey(Plix::IpGenPrefix::parse(sourceText(i)), Plix::IpGenPrefix::parse(groupText()));
  }
  RouteKey starG() const {
    return RouteKey(Plix::IpGenPrefix::parse(v6() ? "::/0" : "0.0.0.0/0"), Plix::IpGenPrefix::parse(groupText()));
  }
  static Plix::IntfId intf(char const* name) { return Plix::IntfId(name); }
  void route(Table& t, RouteKey const& k, char const* iif, Intfs const& oifs, std::uint8_t flags = 0) {
    t.routeIs(Route(k, intf(iif), oifs, flags));
  }
  Mfc add(int i, std::uint16_t parent, std::vector<std::uint16_t> const& oifs) const {
    return {true, record(i, parent, oifs)};
  }
  Mfc del(int i, std::uint16_t parent, std::vector<std::uint16_t> const& oifs) const {
    return {false, record(i, parent, oifs)};
  }
  KernelTest::Record record(int i, std::uint16_t parent, std::vector<std::uint16_t> const& oifs) const {
    auto const s = sourceText(i);
    return v6() ? KernelTest::mf6cctl(s.c_str(), groupText(), parent, oifs)
                : KernelTest::mfcctl(s.c_str(), groupText(), parent, oifs);
  }
  std::vector<Mfc> mfcs() const {
    std::vector<Mfc> out;
    for (auto const& c : calls({CallKind::addMfc, CallKind::delMfc})) {
      out.push_back({c.kind == CallKind::addMfc, c.bytes});
    }
    return out;
  }
  // The lines of the one-key programming: levels 7 and 8 but the walk's own "Syncing".
  std::vector<std::string> keyTraces() const {
    std::vector<std::string> out;
    for (auto const& l : sink.lines()) {
      if (l.handle != "KernelMfibSm" || (l.level != 7 && l.level != 8) || l.text.starts_with("Syncing ")) continue;
      out.push_back(l.text);
    }
    return out;
  }
  // A fresh machine and its full review, on a kernel whose call record starts empty.
  void fullReview() {
    sm = nullptr;
    start(GetParam());
    sm->mfibHalmDirIs(coll);
    sim.callsDelAll();
    sink.clear();
    am.loop().advance(0);
    ASSERT_TRUE(sm->reviewedOnce());
  }
  // The same keys as the walk visits them, each asked for by its key alone.
  void keyByKey() {
    sim.callsDelAll();
    sink.clear();
    for (Halm::Multicast::Fib::MfibHalmCollRouteIteratorConst it(coll); !it.done(); it.updateToBestRouteIterators()) {
      sm->doSyncKey(it.table(), it.key());
    }
  }

  Quib::Ptr<Table> pim = Quib::make<Table>("pim");
  Quib::Ptr<Table> other = Quib::make<Table>("static");
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl> coll = Quib::make<Halm::Multicast::Fib::MfibHalmColl>("red");
};

TEST_P(SyncKeyTest, WalkAndKeyAloneSendTheSameRecordsAndTraces) {
  auto const e1 = intf("Ethernet1"), e2 = intf("Ethernet2"), e3 = intf("Ethernet3");
  route(*pim, starG(), "Ethernet1", {e2});
  route(*pim, key(1), "Ethernet1", {e2});
  route(*pim, key(2), "Ethernet1", {e2}, Route::iifRegister);
  route(*pim, key(3), "Ethernet1", {e2}, Route::oifRegister);
  route(*pim, key(4), "Null0", {e2});
  route(*pim, key(5), "Ethernet1", {Plix::IntfId::register0(), Plix::IntfId::null0(), e3});
  route(*pim, key(6), "Ethernet1", {e2}, Route::switchingState);
  route(*other, key(1), "Ethernet2", {e1});  // not the best table for the key
  route(*other, key(7), "Ethernet2", {e1});
  std::vector<Mfc> const expected{
      add(1, 1, {2}),
      add(2, 0, {2}),          // iif Register: the Register VIF is the parent
      add(3, 1, {0, 2}),       // oif Register: the Register VIF goes out too
      del(4, unresolved, {2}),  // iif Null0: removed, with what its interfaces gave
      add(5, 1, {}),           // Register0, Null0 and an interface without a VIF add nothing
      del(6, unresolved, {}),  // switching state: removed
      add(7, 2, {1}),          // static's visit of key 1 sends nothing
  };
  for (bool const traced : {true, false}) {
    SCOPED_TRACE(traced ? "per-key traces on" : "per-key traces off");
    std::optional<Trace::SelectionScope> quiet;
    if (!traced) quiet.emplace("KernelMfibSm/0-6");
    fullReview();
    EXPECT_EQ(mfcs(), expected);
    auto const walked = keyTraces();
    keyByKey();
    EXPECT_EQ(mfcs(), expected);
    EXPECT_EQ(keyTraces(), walked);
    if (!traced) {
      EXPECT_TRUE(walked.empty());
      continue;
    }
    auto const has = [&](std::string const& text) { return std::count(walked.begin(), walked.end(), text) == 1; };
    EXPECT_TRUE(has("Skipping *,G route " + std::string(groupText()) + (v6() ? "/128" : "/32")));
    std::ostringstream k1, k2, k6;
    k1 << key(1);
    k2 << key(2);
    k6 << key(6);
    EXPECT_TRUE(has("static does not contain the best route for " + k1.str()));
    EXPECT_TRUE(has("Programming route " + k2.str() + " from pim"));
    EXPECT_TRUE(has("iif Register " + key(2).pretty()));
    EXPECT_TRUE(has("Route in switching state, remove the route from kernel: " + k6.str()));
    EXPECT_TRUE(has("Interface Ethernet3 not found in vifStatusColl."));
  }
}

TEST_P(SyncKeyTest, AKeyLeavingItsTableMidWalkIsLookedUpAgain) {
  auto const e1 = intf("Ethernet1"), e2 = intf("Ethernet2");
  for (int i = 1; i <= 5; ++i) route(*pim, key(i), "Ethernet1", {e2});
  route(*other, key(5), "Ethernet2", {e1});
  // Once the first add is in, the next kernel call takes keys 3 to 5 out of pim and puts
  // key 4 back with another route. The walk goes on over the order it began with: it
  // stands on the three keys where they were, with no route there.
  bool taken = false;
  sim.callHookIs([&] {
    if (taken || calls({CallKind::addMfc}).empty()) return;
    taken = true;
    for (int i = 3; i <= 5; ++i) pim->routeDel(key(i));
    route(*pim, key(4), "Ethernet2", {e1});
  });
  fullReview();
  sim.callHookIs({});
  ASSERT_TRUE(taken);
  std::vector<Mfc> const walk{
      add(1, 1, {2}),
      add(2, 1, {2}),
      del(3, unresolved, {}),  // no table holds it any more
      add(4, 2, {1}),          // the route pim holds now
      add(5, 2, {1}),          // from the table that holds it now
      add(5, 2, {1}),          // static's own visit: the best route now
  };
  auto const all = mfcs();
  ASSERT_GE(all.size(), walk.size());
  EXPECT_EQ(std::vector<Mfc>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(walk.size())), walk);
  std::ostringstream k3, k5;
  k3 << key(3);
  k5 << key(5);
  EXPECT_TRUE(sink.contains("Route " + k3.str() + " is deleted from halm table pim"));
  EXPECT_TRUE(sink.contains("Found alternate Route " + k5.str() + " from halm table static"));
}

INSTANTIATE_TEST_SUITE_P(Families, SyncKeyTest, testing::Values(Af::ipv4, Af::ipv6),
                         [](auto const& info) { return info.param == Af::ipv6 ? "Ipv6" : "Ipv4"; });

}  // namespace
}  // namespace Routing::KernelMfib
