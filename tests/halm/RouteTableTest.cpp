// Route tables: lookup, ordered and resumable walks, the best-route choice between tables,
// the cross-table walk, and the directory filler following tables as they come and go.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "halm/MfibDirSm.h"
#include "halm/MfibHalmCollRouteIteratorConst.h"
#include "halm/MfibHalmWalkOrder.h"
#include "halm/RouteIntfIteratorConst.h"
#include "trace/CaptureSink.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace {

using namespace Halm::Multicast::Fib;
using Routing::Multicast::Fib::IpGenRouteKey;

IpGenRouteKey key(char const* s, char const* g) {
  return IpGenRouteKey(std::string(s) == "*" ? Plix::IpGenPrefix() : Plix::IpGenPrefix::parse(s),
                       Plix::IpGenPrefix::parse(g));
}

Route route(IpGenRouteKey const& k, char const* iif, std::vector<char const*> oifs, std::uint8_t flags = 0) {
  std::vector<Plix::IntfId> o;
  for (auto n : oifs) o.emplace_back(n);
  return Route(k, Plix::IntfId(iif), o, flags);
}

class Listener : public Status::NotifieeConst {
 public:
  explicit Listener(Quib::Ptr<Status> t) {
    notifierIs(t);
    hasNotificationActiveIs(true);
  }
  void onRoute(IpGenRouteKey const& k) override { heard.push_back(k.pretty()); }
  std::vector<std::string> heard;
};

std::vector<std::string> walk(Status const& t, Status::const_iterator from) {
  std::vector<std::string> keys;
  for (auto it = from; it != t.end(); ++it) keys.push_back(it->pretty());
  return keys;
}

TEST(Status, LookupNotifyAndResumableWalk) {
  auto t = Quib::make<Status>("mroute");
  Listener l(t);
  auto k1 = key("10.0.0.1", "239.1.1.1"), k2 = key("10.0.0.2", "239.1.1.1"), k3 = key("10.0.0.1", "239.1.1.2");
  t->routeIs(route(k3, "Ethernet1", {"Ethernet2"}));
  t->routeIs(route(k1, "Ethernet1", {"Ethernet2", "Ethernet3"}));
  t->routeIs(route(k2, "Ethernet1", {}));
  t->routeIs(route(k1, "Ethernet1", {"Ethernet2", "Ethernet3"}));  // unchanged: silent
  t->routeIs(route(k2, "Ethernet4", {}));                          // changed
  t->routeDel(key("10.9.9.9", "239.1.1.1"));                       // absent: silent
  EXPECT_EQ(l.heard, (std::vector<std::string>{"(10.0.0.1, 239.1.1.2)", "(10.0.0.1, 239.1.1.1)",
                                               "(10.0.0.2, 239.1.1.1)", "(10.0.0.2, 239.1.1.1)"}));

  EXPECT_EQ(t->route(k2).iif(), Plix::IntfId("Ethernet4"));
  EXPECT_TRUE(t->route(key("10.9.9.9", "239.1.1.1")).isEmpty());
  EXPECT_EQ(t->route(key("10.9.9.9", "239.1.1.1")), Route::emptyRoute());

  auto all = walk(*t, t->begin());
  EXPECT_EQ(all, (std::vector<std::string>{"(10.0.0.1, 239.1.1.1)", "(10.0.0.2, 239.1.1.1)", "(10.0.0.1, 239.1.1.2)"}));
  // Resuming from a key that has left the table continues with the next one.
  t->routeDel(k2);
  EXPECT_EQ(walk(*t, t->lowerBound(k2)), std::vector<std::string>{"(10.0.0.1, 239.1.1.2)"});
  EXPECT_EQ(walk(*t, t->lowerBound(key("10.0.0.3", "239.1.1.2"))), std::vector<std::string>{});
  t->routeDelAll();
  EXPECT_EQ(t->routes(), 0u);
}

TEST(Route, InterfacesWithTheirBits) {
  struct Case {
    char const* what;
    Route r;
    std::vector<std::pair<std::string, int>> steps;
  };
  auto k = key("10.0.0.1", "239.1.1.1");
  std::vector<Case> cases = {
      {"iif first, then oifs", route(k, "Ethernet1", {"Ethernet2", "Ethernet3"}),
       {{"Ethernet1", 2}, {"Ethernet2", 1}, {"Ethernet3", 1}}},
      {"an oif equal to the iif shares its step", route(k, "Ethernet1", {"Ethernet2", "Ethernet1"}),
       {{"Ethernet1", 3}, {"Ethernet2", 1}}},
      {"repeated oifs count once", route(k, "", {"Null0", "Null0", "Register0"}), {{"Null0", 1}, {"Register0", 1}}},
      {"the iif repeated among the oifs shares its step once", route(k, "Ethernet1", {"Ethernet1", "Ethernet2", "Ethernet1"}),
       {{"Ethernet1", 3}, {"Ethernet2", 1}}},
      {"no interfaces", route(k, "", {}), {}},
  };
  for (auto const& c : cases) {
    auto t = Quib::make<Status>("t");
    t->routeIs(c.r);
    std::vector<std::pair<std::string, int>> steps;
    for (RouteIntfIteratorConst it(t.ptr(), k); it; it.next()) steps.emplace_back(it.intfId().name(), it.bits());
    EXPECT_EQ(steps, c.steps) << c.what;
    EXPECT_TRUE(RouteIntfIteratorConst(t.ptr(), key("10.0.0.9", "239.1.1.1")).done()) << "absent key: no step";
  }
  EXPECT_NE(route(k, "Ethernet1", {"Ethernet2"}), route(k, "Ethernet1", {"Ethernet2"}, Route::switchingState));
}

TEST(MfibHalmColl, BestRouteBetweenTables) {
  struct Case {
    char const* what;
    std::uint32_t prefA, prefB;
    bool inA, inB;
    char const* best;  // table name or "-"
  };
  Case const cases[] = {
      {"lower preference wins", 50, 100, true, true, "a"},
      {"lower preference wins, other order", 100, 50, true, true, "b"},
      {"equal preference: name sorting first", 100, 100, true, true, "a"},
      {"only the table holding the key", 10, 100, false, true, "b"},
      {"no table holds it", 10, 100, false, false, "-"},
  };
  auto k = key("10.0.0.1", "239.1.1.1");
  for (auto const& c : cases) {
    auto coll = Quib::make<MfibHalmColl>("red");
    auto b = Quib::make<Status>("b"), a = Quib::make<Status>("a");
    a->preferenceIs(c.prefA);
    b->preferenceIs(c.prefB);
    coll->halmPtrIs(b);
    coll->halmPtrIs(a);
    if (c.inA) a->routeIs(route(k, "Ethernet1", {}));
    if (c.inB) b->routeIs(route(k, "Ethernet1", {}));
    auto best = coll->mfibHalm(k);
    EXPECT_EQ(best ? best->name() : std::string("-"), c.best) << c.what;
    EXPECT_EQ(coll->isBestRoute(a.ptr(), k), std::string(c.best) == "a") << c.what;
    EXPECT_EQ(coll->isBestRoute(b.ptr(), k), std::string(c.best) == "b") << c.what;
  }
}

TEST(MfibHalmCollRouteIteratorConst, WalksTablesInRankThenKeysAndResumes) {
  auto coll = Quib::make<MfibHalmColl>("red");
  auto low = Quib::make<Status>("static"), high = Quib::make<Status>("pim"), empty = Quib::make<Status>("empty");
  low->preferenceIs(200);
  high->preferenceIs(10);
  empty->preferenceIs(50);
  coll->halmPtrIs(low);
  coll->halmPtrIs(empty);
  coll->halmPtrIs(high);
  low->routeIs(route(key("10.0.0.2", "239.1.1.1"), "Ethernet1", {}));
  low->routeIs(route(key("10.0.0.1", "239.1.1.1"), "Ethernet1", {}));
  high->routeIs(route(key("10.0.0.1", "239.1.1.1"), "Ethernet1", {}));

  auto collect = [](MfibHalmCollRouteIteratorConst it) {
    std::vector<std::string> seen;
    for (; !it.done(); it.updateToBestRouteIterators()) seen.push_back(it.table()->name() + " " + it.key().pretty());
    EXPECT_EQ(it.key(), IpGenRouteKey::invalidRouteKey());
    EXPECT_EQ(it.table(), nullptr);
    return seen;
  };
  EXPECT_EQ(collect(MfibHalmCollRouteIteratorConst(coll)),
            (std::vector<std::string>{"pim (10.0.0.1, 239.1.1.1)", "static (10.0.0.1, 239.1.1.1)",
                                      "static (10.0.0.2, 239.1.1.1)"}));
  EXPECT_EQ(collect(MfibHalmCollRouteIteratorConst({low}, low->lowerBound(key("10.0.0.2", "239.1.1.1")))),
            std::vector<std::string>{"static (10.0.0.2, 239.1.1.1)"});
  // Resuming in an empty table moves on to the next table given, in the order given.
  EXPECT_EQ(collect(MfibHalmCollRouteIteratorConst({empty, low, high}, empty->begin())),
            (std::vector<std::string>{"static (10.0.0.1, 239.1.1.1)", "static (10.0.0.2, 239.1.1.1)",
                                      "pim (10.0.0.1, 239.1.1.1)"}));
  EXPECT_TRUE(MfibHalmCollRouteIteratorConst({}, Status::const_iterator()).done());
  EXPECT_TRUE(MfibHalmCollRouteIteratorConst(Quib::make<MfibHalmColl>("none")).done());
}

TEST(MfibHalmWalkOrder, KeepsTheOrderAWalkStartedWith) {
  auto coll = Quib::make<MfibHalmColl>("red");
  std::map<std::string, Quib::Ptr<Status>> t;
  auto add = [&](char const* name, std::uint32_t preference) {
    t[name] = Quib::make<Status>(name);
    t[name]->preferenceIs(preference);
    coll->halmPtrIs(t[name]);
  };
  auto names = [](std::vector<Quib::Ptr<Status const>> const& tables) {
    std::string out;
    for (auto const& table : tables) out += table->name();
    return out;
  };
  add("a", 10);
  add("b", 20);
  add("c", 30);
  MfibHalmWalkOrder order;
  EXPECT_TRUE(order.empty());
  order.start(*coll);
  EXPECT_EQ(names(order.tablesFrom(*coll, nullptr, 0)), "abc");

  t["c"]->preferenceIs(5);  // ranks first now; the walk keeps its order
  EXPECT_EQ(names(coll->orderedTables()), "cab");
  EXPECT_EQ(names(order.tablesFrom(*coll, t["b"].ptr(), t["b"]->id())), "bc");
  add("d", 1);  // arrives mid-walk: visited after the tables the walk started with
  add("e", 2);
  EXPECT_EQ(names(order.tablesFrom(*coll, t["b"].ptr(), t["b"]->id())), "bcde");
  coll->halmPtrDel(t["b"].ptr());  // the table the walk stands in leaves: on with the next
  EXPECT_EQ(names(order.tablesFrom(*coll, t["b"].ptr(), t["b"]->id())), "cde");
  coll->halmPtrDel(t["d"].ptr());
  EXPECT_EQ(names(order.tablesFrom(*coll, t["c"].ptr(), t["c"]->id())), "ce");
  EXPECT_TRUE(order.tablesFrom(*coll, t["a"].ptr(), t["a"]->id() + 100).empty()) << "another table at a's address";
  coll->halmPtrIs(t["b"]);  // back again: keeps its old place
  EXPECT_EQ(names(order.tablesFrom(*coll, nullptr, 0)), "abce");

  order.start(*coll);  // the next walk takes the ranking then
  EXPECT_EQ(names(order.tablesFrom(*coll, nullptr, 0)), "ecab");
  order.clear();
  EXPECT_TRUE(order.empty());
}

TEST(MfibDirSm, FollowsVrfsAndTables) {
  double now = 0;
  auto clock = Quib::make<Quib::Clock>("clock", [&] { return now; });
  auto em = Quib::make<Orvo::EntityManager>(clock);
  auto fib = em->root()->mkdirs("routing/multicast/fib");
  auto halmDir = Quib::make<MfibHalmDir>("mfibHalmDir");

  class DirListener : public MfibHalmDir::NotifieeConst {
   public:
    void onHalmColl(Quib::Name const& v) override { heard.push_back(v + (notifier()->halmColl(v) ? "+" : "-")); }
    std::vector<std::string> heard;
  } listener;
  listener.notifierIs(halmDir);
  listener.hasNotificationActiveIs(true);

  // A table published before the machine starts is found at once.
  auto red = fib->mkdir("red");
  auto pim = Quib::make<Status>("pim");
  red->entityPtrIs("pim", pim);
  auto sm = MfibDirSm::MfibDirSmIs(fib, halmDir, em);
  ASSERT_TRUE(halmDir->halmColl("red"));
  EXPECT_EQ(halmDir->halmColl("red")->halmPtr(pim.ptr()), pim);
  EXPECT_TRUE(em->isHalmMounted("routing/multicast/fib/red/pim"));

  // An empty VRF directory gets no collection; its first table brings one.
  auto blue = fib->mkdir("blue");
  EXPECT_FALSE(halmDir->halmColl("blue"));
  auto stat = Quib::make<Status>("static");
  blue->entityPtrIs("static", stat);
  EXPECT_TRUE(halmDir->halmColl("blue"));
  blue->entityPtrIs("junk", Quib::make<Quib::Dir>("junk"));  // not a table: ignored
  EXPECT_EQ(halmDir->halmColl("blue")->halmPtrs(), 1u);

  // Replacing a table under the same name swaps the member; removing the last one
  // removes the collection and the mount.
  auto pim2 = Quib::make<Status>("pim");
  red->entityPtrIs("pim", pim2);
  EXPECT_FALSE(halmDir->halmColl("red")->halmPtr(pim.ptr()));
  EXPECT_TRUE(halmDir->halmColl("red")->halmPtr(pim2.ptr()));
  red->entityPtrDel("pim");
  EXPECT_FALSE(halmDir->halmColl("red"));
  EXPECT_FALSE(em->isHalmMounted("routing/multicast/fib/red/pim"));
  fib->entityPtrDel("blue");
  EXPECT_FALSE(halmDir->halmColl("blue"));
  EXPECT_EQ(listener.heard, (std::vector<std::string>{"red+", "blue+", "red-", "blue-"}));

  // Switched off, it hears nothing; switched on again, it catches up.
  sm->hasNotificationActiveIs(false);
  fib->mkdir("green")->entityPtrIs("t", Quib::make<Status>("t"));
  EXPECT_FALSE(halmDir->halmColl("green"));
  sm->hasNotificationActiveIs(true);
  EXPECT_TRUE(halmDir->halmColl("green"));
}

TEST(MfibDirSm, AFailedMountIsTraced) {
  Trace::CaptureSink sink;
  Trace::SinkScope sinkScope(sink);
  Trace::SelectionScope selection("MfibDirSm/0");
  double now = 0;
  auto clock = Quib::make<Quib::Clock>("clock", [&] { return now; });
  auto em = Quib::make<Orvo::EntityManager>(clock);
  auto fib = em->root()->mkdirs("routing/multicast/fib");
  auto halmDir = Quib::make<MfibHalmDir>("mfibHalmDir");
  auto sm = MfibDirSm::MfibDirSmIs(fib, halmDir, em);
  // A name holding '/' makes a path that names no table.
  fib->mkdir("red")->entityPtrIs("a/b", Quib::make<Status>("a/b"));
  EXPECT_FALSE(halmDir->halmColl("red"));
  EXPECT_EQ(sink.texts("MfibDirSm"),
            std::vector<std::string>{"Mounting route table routing/multicast/fib/red/a/b failed; VRF red runs without it"});
}

}  // namespace
