// The route table's storage against a plain ordered map: random adds, changes and removals,
// with walks between them, must give the same routes, the same key order, the same resumed
// walks (also from keys that have left) and the same notifications. A walk that meets a
// change goes on safely over the order it began with.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "halm/MfibHalmColl.h"
#include "halm/RouteIntfIteratorConst.h"
#include "halm/Status.h"

namespace {

using namespace Halm::Multicast::Fib;
using Routing::Multicast::Fib::IpGenRouteKey;

// Mostly IPv4 (S,G) keys over seven groups, every fifth key IPv6, every eleventh a (*,G).
IpGenRouteKey keyOf(std::uint32_t i) {
  auto const hi = static_cast<std::uint8_t>(i >> 8), lo = static_cast<std::uint8_t>(i), g = static_cast<std::uint8_t>(i % 7);
  bool const v6 = i % 5 == 0;
  auto const af = v6 ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
  Plix::IpGenPrefix::Bytes const source = v6 ? Plix::IpGenPrefix::Bytes{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, hi, lo}
                                             : Plix::IpGenPrefix::Bytes{10, 0, hi, lo};
  Plix::IpGenPrefix::Bytes const group = v6 ? Plix::IpGenPrefix::Bytes{0xff, 0x3e, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, g}
                                            : Plix::IpGenPrefix::Bytes{239, 1, 0, g};
  if (i % 11 == 0) return IpGenRouteKey(Plix::IpGenPrefix(), Plix::IpGenPrefix(af, group, v6 ? 128 : 32));
  return IpGenRouteKey(Plix::IpGenPrefix(af, source, v6 ? 128 : 32), Plix::IpGenPrefix(af, group, v6 ? 128 : 32));
}

Route routeOf(std::uint32_t i, std::uint32_t variant) {
  std::vector<Plix::IntfId> oifs;
  for (std::uint32_t k = 0; k < variant % 4; ++k) oifs.emplace_back("Ethernet" + std::to_string(1 + (variant + k) % 6));
  return Route(keyOf(i), variant % 5 ? Plix::IntfId("Ethernet" + std::to_string(variant % 3 + 1)) : Plix::IntfId(),
               oifs, static_cast<std::uint8_t>(variant % 2 ? Route::switchingState : 0));
}

class Listener : public Status::NotifieeConst {
 public:
  explicit Listener(Quib::Ptr<Status> t) {
    notifierIs(t);
    hasNotificationActiveIs(true);
  }
  void onRoute(IpGenRouteKey const& k) override { heard.push_back(k); }
  std::vector<IpGenRouteKey> heard;
};

std::vector<IpGenRouteKey> walkFrom(Status const& t, Status::const_iterator from) {
  std::vector<IpGenRouteKey> keys;
  for (auto it = from; it != t.end(); ++it) keys.push_back(*it);
  return keys;
}

TEST(RouteTableStorage, MatchesAnOrderedMapUnderChurn) {
  struct Case {
    char const* what;
    std::uint32_t keys;
    int operations;
    int walkEvery;
  };
  Case const cases[] = {
      {"few keys, walks between most changes", 12, 600, 3},
      {"keys past several index growths, few walks", 4000, 30000, 2500},
      {"many keys, a few changes between walks", 3000, 20000, 40},
  };
  for (auto const& c : cases) {
    std::mt19937 rng(11);
    auto t = Quib::make<Status>("t");
    Listener l(t);
    std::map<IpGenRouteKey, Route> model;
    std::vector<IpGenRouteKey> expectHeard;
    for (int op = 1; op <= c.operations; ++op) {
      std::uint32_t const i = rng() % c.keys;
      IpGenRouteKey const k = keyOf(i);
      if (rng() % 3 == 0) {
        if (model.erase(k)) expectHeard.push_back(k);
        t->routeDel(k);
      } else {
        Route const r = routeOf(i, rng() % 8);
        auto const was = model.find(k);
        if (was == model.end() || !(was->second == r)) expectHeard.push_back(k);
        model.insert_or_assign(k, r);
        t->routeIs(r);
      }
      if (op % c.walkEvery) continue;
      std::vector<IpGenRouteKey> all;
      for (auto const& [key, route] : model) all.push_back(key);
      ASSERT_EQ(walkFrom(*t, t->begin()), all) << c.what << " after " << op;
      IpGenRouteKey const probe = keyOf(rng() % c.keys);  // present or not
      std::vector<IpGenRouteKey> rest;
      for (auto it = model.lower_bound(probe); it != model.end(); ++it) rest.push_back(it->first);
      ASSERT_EQ(walkFrom(*t, t->lowerBound(probe)), rest) << c.what << " after " << op;
    }
    EXPECT_EQ(t->routes(), model.size()) << c.what;
    for (std::uint32_t i = 0; i < c.keys; ++i) {
      auto const m = model.find(keyOf(i));
      EXPECT_EQ(t->hasRoute(keyOf(i)), m != model.end()) << c.what;
      EXPECT_EQ(t->route(keyOf(i)), m == model.end() ? Route::emptyRoute() : m->second) << c.what;
    }
    // The same lookups in steps, a run of keys at a time, as the changed-route review makes
    // them: absent keys (never added or removed) give no position and the empty route.
    for (std::uint32_t from = 0; from < c.keys; from += 16) {
      std::uint32_t const to = std::min(c.keys, from + 16);
      std::vector<std::size_t> hashes;
      for (std::uint32_t i = from; i < to; ++i) hashes.push_back(t->hashPrefetched(keyOf(i)));
      for (std::size_t h : hashes) t->entryPrefetched(h);
      for (std::uint32_t i = from; i < to; ++i) {
        auto const m = model.find(keyOf(i));
        std::uint32_t const at = t->positionPrefetched(keyOf(i), hashes[i - from]);
        EXPECT_EQ(at != Quib::HashedPositionIndex::none, m != model.end()) << c.what << ", key " << i;
        EXPECT_EQ(t->routeAt(at), m == model.end() ? Route::emptyRoute() : m->second) << c.what << ", key " << i;
      }
    }
    EXPECT_EQ(l.heard, expectHeard) << c.what;
    l.heard.clear();
    t->routeDelAll();
    std::vector<IpGenRouteKey> all;
    for (auto const& [key, route] : model) all.push_back(key);
    EXPECT_EQ(l.heard, all) << c.what << ": removal of all goes in key order";
    EXPECT_EQ(t->begin(), t->end()) << c.what;
  }
}

TEST(RouteTableStorage, AWalkMeetingChangesGoesOnOverItsOrder) {
  auto t = Quib::make<Status>("t");
  for (std::uint32_t i = 0; i < 6; ++i) t->routeIs(routeOf(i, 1));
  std::vector<IpGenRouteKey> seen;
  auto it = t->begin();
  seen.push_back(*it++);
  t->routeDel(*it);                            // the next key leaves
  for (std::uint32_t i = 6; i < 200; ++i) t->routeIs(routeOf(i, 2));  // the table grows
  for (; it != t->end(); ++it) seen.push_back(*it);
  EXPECT_EQ(seen.size(), 6u) << "the keys of the walk's start, the removed one included";
  std::set<IpGenRouteKey> now;
  for (std::uint32_t i = 0; i < 200; ++i) now.insert(keyOf(i));
  now.erase(seen[1]);
  EXPECT_EQ(t->routes(), now.size());
  EXPECT_EQ(walkFrom(*t, t->begin()), std::vector<IpGenRouteKey>(now.begin(), now.end()))
      << "the next walk sees the table as it stands";
}

// isBestRoute answers without asking every table; it must agree with mfibHalm, ties of
// preference and name included (the table added first wins those).
TEST(RouteTableStorage, BestRouteAgreesWithTheBestTable) {
  struct Case {
    char const* what;
    std::vector<std::pair<char const*, std::uint32_t>> tables;  // name, preference, in order added
  };
  Case const cases[] = {
      {"distinct preferences", {{"a", 30}, {"b", 10}, {"c", 20}}},
      {"equal preferences, names decide", {{"c", 10}, {"a", 10}, {"b", 10}}},
      {"equal preference and name: the first added", {{"x", 10}, {"x", 10}, {"y", 5}}},
  };
  for (auto const& c : cases) {
    auto coll = Quib::make<MfibHalmColl>("red");
    std::vector<Quib::Ptr<Status>> tables;
    for (auto const& [name, preference] : c.tables) {
      tables.push_back(Quib::make<Status>(name));
      tables.back()->preferenceIs(preference);
      coll->halmPtrIs(tables.back());
    }
    // Key i is held by the tables whose bit is set in i.
    for (std::uint32_t i = 0; i < 8; ++i) {
      for (std::size_t t = 0; t < tables.size(); ++t) {
        if (i >> t & 1) tables[t]->routeIs(routeOf(i, 1));
      }
      auto const best = coll->mfibHalm(keyOf(i));
      for (auto const& t : tables) {
        EXPECT_EQ(coll->isBestRoute(t.ptr(), keyOf(i)), best.ptr() == t.ptr()) << c.what << ", key " << i;
      }
    }
  }
}

TEST(RouteTableStorage, AnEndTakenBeforeChangesAreFoldedInStaysTheEnd) {
  auto t = Quib::make<Status>("t");
  t->routeIs(routeOf(1, 1));
  auto const end = t->end();
  t->routeIs(routeOf(2, 1));
  t->routeIs(routeOf(3, 1));
  std::size_t seen = 0;
  for (auto it = t->begin(); it != end; ++it) ++seen;
  EXPECT_EQ(seen, 3u);
  EXPECT_EQ(--t->end(), t->lowerBound(keyOf(3)));
}

TEST(RouteTableStorage, ALookedUpRouteOutlivesItsChangeAndKeepsItsInterfaces) {
  auto t = Quib::make<Status>("t");
  Route const original = routeOf(1, 3);
  t->routeIs(original);
  Route const held = t->route(keyOf(1));
  t->routeIs(routeOf(1, 6));
  t->routeDel(keyOf(1));
  EXPECT_EQ(held, original);
  EXPECT_EQ(held.iif(), Plix::IntfId("Ethernet1"));
  std::vector<std::pair<std::string, int>> steps;
  for (RouteIntfIteratorConst i(held); i; i.next()) steps.emplace_back(i.intfId().name(), i.bits());
  EXPECT_EQ(steps, (std::vector<std::pair<std::string, int>>{
                       {"Ethernet1", Route::isIif}, {"Ethernet4", Route::isOif}, {"Ethernet5", Route::isOif},
                       {"Ethernet6", Route::isOif}}));
}

namespace Storage {

// A prefix drawn over every byte of the address and every length, host bits cleared;
// lengths cluster near the ends so that keys share lengths but not addresses.
Plix::IpGenPrefix drawnPrefix(std::mt19937& rng, Plix::AddressFamily af) {
  std::uint8_t const max = af == Plix::AddressFamily::ipv6 ? 128 : 32;
  std::uint8_t const len = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng() % (max + 1)) : max;
  Plix::IpGenPrefix::Bytes b{};
  for (std::size_t i = 0; i < max / 8u; ++i) {
    unsigned const kept = len >= (i + 1) * 8 ? 8 : (len > i * 8 ? len - i * 8 : 0);
    b[i] = static_cast<std::uint8_t>(rng() & ~(0xffu >> kept));
  }
  return Plix::IpGenPrefix(af, b, len);
}

IpGenRouteKey drawnKey(std::mt19937& rng) {
  auto const af = rng() % 8 == 0 ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
  return IpGenRouteKey(drawnPrefix(rng, af), drawnPrefix(rng, af));
}

}  // namespace Storage

// Large fills are put in order by a different sort than small ones; keys that differ in any
// byte of either address, in length or in family must come out as an ordered set has them,
// whether folded in all at once, as a batch into a big order, or after an explicit settle.
TEST(RouteTableStorage, ManyKeysDrawnOverEveryByteWalkInKeyOrder) {
  struct Case {
    char const* what;
    std::size_t fill;
    std::size_t added;
    std::size_t removed;
    bool settleFirst;
  };
  Case const cases[] = {
      {"a fill folded in at once", 30000, 0, 0, false},
      {"a batch of additions and removals into a big order", 30000, 1500, 300, false},
      {"a batch as big as the order", 5000, 6000, 2000, true},
      {"a small fill", 300, 40, 10, true},
  };
  for (auto const& c : cases) {
    std::mt19937 rng(23);
    auto t = Quib::make<Status>("t");
    std::set<IpGenRouteKey> model;
    auto const add = [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        IpGenRouteKey const k = Storage::drawnKey(rng);
        model.insert(k);
        t->routeIs(Route(k, Plix::IntfId("Ethernet1"), {}, 0));
      }
    };
    add(c.fill);
    ASSERT_EQ(walkFrom(*t, t->begin()), std::vector<IpGenRouteKey>(model.begin(), model.end())) << c.what;
    add(c.added);
    for (std::size_t i = 0; i < c.removed; ++i) {
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      t->routeDel(*it);
      model.erase(it);
    }
    if (c.settleFirst) t->settle();
    ASSERT_EQ(walkFrom(*t, t->begin()), std::vector<IpGenRouteKey>(model.begin(), model.end())) << c.what;
    for (int probe = 0; probe < 50; ++probe) {
      IpGenRouteKey const k = Storage::drawnKey(rng);
      ASSERT_EQ(walkFrom(*t, t->lowerBound(k)), std::vector<IpGenRouteKey>(model.lower_bound(k), model.end()))
          << c.what << ", from " << k;
    }
    EXPECT_EQ(t->routes(), model.size()) << c.what;
  }
}

}  // namespace
