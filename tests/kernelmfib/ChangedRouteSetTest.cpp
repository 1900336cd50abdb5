// The pending route changes against std::set of the same pairs: random inserts (most of
// them repeats), erases and partial drains with inserts between them, over several tables
// (and none), IPv4 keys of every prefix length and IPv6 keys, must give the same pairs in
// the same order at every step. A table stays referenced exactly while it has a key here.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kernelmfib/ChangedRouteSet.h"

namespace Routing::KernelMfib {
namespace {

using Table = ChangedRouteSet::Table;
using TableKey = ChangedRouteSet::TableKey;
using RouteKey = ChangedRouteSet::RouteKey;

Plix::IpGenPrefix prefix(std::string const& text) { return Plix::IpGenPrefix::parse(text); }

// Keys whose order tests the packing: a prefix's length sorts before its address (so
// 9.255.255.255 comes after 10.0.0.0/8), the group before the source, (*,G) first among a
// group's keys, and IPv6 keys after all IPv4 ones.
std::vector<RouteKey> keys() {
  std::vector<RouteKey> out;
  char const* const sources[] = {"0.0.0.0/0", "10.0.0.0/8", "10.0.0.0/16", "10.1.0.0/16", "9.255.255.255",
                                 "10.0.0.1", "10.0.0.2", "255.255.255.255", "128.0.0.0/1"};
  char const* const groups[] = {"239.1.1.1", "239.1.1.2", "239.0.0.0/8", "224.0.0.0/4", "238.255.255.255"};
  for (auto const* g : groups) {
    for (auto const* s : sources) out.emplace_back(prefix(s), prefix(g));
  }
  char const* const sources6[] = {"::/0", "2001:db8::1", "2001:db8::2", "2001:db8::/32", "::1"};
  char const* const groups6[] = {"ff3e::1", "ff3e::2", "ff00::/8"};
  for (auto const* g : groups6) {
    for (auto const* s : sources6) out.emplace_back(prefix(s), prefix(g));
  }
  // Wide runs of host keys, so that sets grow past the sizes where they reorganise.
  for (std::uint32_t i = 0; i < 3000; ++i) {
    Plix::IpGenPrefix::Bytes s{10, 2, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    Plix::IpGenPrefix::Bytes g{239, 3, 0, static_cast<std::uint8_t>(i % 7)};
    out.emplace_back(Plix::IpGenPrefix(Plix::AddressFamily::ipv4, s, 32),
                     Plix::IpGenPrefix(Plix::AddressFamily::ipv4, g, 32));
  }
  return out;
}

struct Case {
  char const* what;
  unsigned seed;
  std::size_t keyCount;  // drawn from the first so many keys
  int operations;
  int drainEvery;
  int drainSteps;
};

// Takes `steps` pairs: read the front, then pop it as the review does, or every other
// time erase it by name.
void drain(ChangedRouteSet& set, std::set<TableKey>& model, int steps, std::string const& where) {
  for (int s = 0; s < steps && !model.empty(); ++s) {
    ASSERT_FALSE(set.empty()) << where;
    TableKey const front = set.front();
    ASSERT_EQ(front, *model.begin()) << where << ": " << front << " against " << *model.begin();
    ASSERT_EQ(front.tableId(), model.begin()->tableId()) << where;
    if (s % 2 == 0) {
      set.popFront();
    } else {
      set.erase(front);
    }
    model.erase(model.begin());
  }
}

// The keys read ahead are the first pairs' keys, in order, all of the first table: as many
// as asked for, fewer only where the first table's keys end (or, with IPv4 and IPv6 keys
// both pending in the first table, one).
void expectFrontKeys(ChangedRouteSet const& set, std::set<TableKey> const& model, std::string const& where) {
  std::array<RouteKey, 8> keys;
  std::size_t const n = set.frontKeys(keys);
  auto const& first = *model.begin();
  ASSERT_EQ(set.frontTable(), first.table()) << where;
  ASSERT_EQ(set.frontTableId(), first.tableId()) << where;
  std::vector<RouteKey> expected;
  bool v4 = false, v6 = false;
  for (auto it = model.begin(); it != model.end() && it->table() == first.table() && it->tableId() == first.tableId(); ++it) {
    (it->key().af() == Plix::AddressFamily::ipv4 ? v4 : v6) = true;
    if (expected.size() < keys.size()) expected.push_back(it->key());
  }
  if (v4 && v6) expected.resize(1);
  ASSERT_EQ(std::vector<RouteKey>(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(n)), expected) << where;
}

TEST(ChangedRouteSet, MatchesAnOrderedSetOfPairs) {
  auto const all = keys();
  Case const cases[] = {
      {"the small keys, drained often", 1, 75, 5000, 5, 3},
      {"the small keys, never drained until the end", 2, 75, 3000, 1 << 30, 0},
      {"many keys, long bursts and long drains", 3, all.size(), 40000, 6000, 4000},
      {"many keys, one taken per insert", 4, all.size(), 20000, 1, 1},
  };
  for (auto const& c : cases) {
    std::mt19937 rng(c.seed);
    // Made in this order, so ids and addresses need not agree on the tables' order.
    std::vector<Quib::Ptr<Table>> tables{Quib::make<Table>("pim"), Quib::make<Table>("static"),
                                         Quib::make<Table>("igmp")};
    ChangedRouteSet set;
    std::set<TableKey> model;
    for (int op = 1; op <= c.operations; ++op) {
      std::string const where = std::string(c.what) + ", operation " + std::to_string(op);
      auto const t = rng() % 4;
      Table const* table = t < 3 ? tables[t].ptr() : nullptr;
      TableKey const k(table, all[rng() % c.keyCount]);
      if (rng() % 5 == 0) {
        set.erase(k);
        model.erase(k);
      } else {
        set.insert(k);
        model.insert(k);
      }
      ASSERT_EQ(set.empty(), model.empty()) << where;
      if (op % c.drainEvery == 0) drain(set, model, c.drainSteps, where);
      if (op % 101 != 0) continue;
      ASSERT_EQ(set.size(), model.size()) << where;
      TableKey const probe(tables[rng() % 3].ptr(), all[rng() % c.keyCount]);
      ASSERT_EQ(set.contains(probe), model.contains(probe)) << where << ": " << probe;
      if (!model.empty()) expectFrontKeys(set, model, where);
    }
    drain(set, model, c.operations, c.what);
    EXPECT_TRUE(model.empty()) << c.what;
    EXPECT_TRUE(set.empty()) << c.what;
  }
}

// Keys read ahead stay the first ones exactly while the count of changes stands: an
// insert or erase (even of a pair not held) or clear moves it, a pop does not.
TEST(ChangedRouteSet, CountsChangesOtherThanPops) {
  auto const all = keys();
  auto const table = Quib::make<Table>("pim");
  ChangedRouteSet set;
  struct Step {
    char const* what;
    std::function<void()> act;
    bool counted;
  };
  Step const steps[] = {
      {"an insert", [&] { set.insert({table.ptr(), all[3]}); }, true},
      {"an insert of a pair held", [&] { set.insert({table.ptr(), all[3]}); }, true},
      {"another insert", [&] { set.insert({table.ptr(), all[4]}); }, true},
      {"reading ahead", [&] {
         std::array<RouteKey, 4> keys;
         set.frontKeys(keys);
       }, false},
      {"a pop", [&] { set.popFront(); }, false},
      {"an erase", [&] { set.erase({table.ptr(), all[4]}); }, true},
      {"a clear", [&] { set.clear(); }, true},
  };
  for (auto const& step : steps) {
    std::uint64_t const before = set.changes();
    step.act();
    EXPECT_EQ(set.changes() != before, step.counted) << step.what;
  }
}

TEST(ChangedRouteSet, HoldsATableWhileItHasKeys) {
  auto const all = keys();
  auto const table = Quib::make<Table>("pim");
  long const alone = table->references();
  ChangedRouteSet set;
  for (int i = 0; i < 3; ++i) set.insert({table.ptr(), all[static_cast<std::size_t>(i)]});
  set.insert({table.ptr(), all[0]});
  EXPECT_EQ(set.size(), 3u);
  EXPECT_GT(table->references(), alone) << "a table with pending keys is held";
  set.erase({table.ptr(), all[1]});
  set.erase({table.ptr(), all[0]});
  EXPECT_GT(table->references(), alone);
  set.erase({table.ptr(), all[2]});
  EXPECT_EQ(table->references(), alone) << "the last key gone, the table is let go";
  set.insert({table.ptr(), all[5]});
  set.clear();
  EXPECT_EQ(table->references(), alone);
  EXPECT_TRUE(set.empty());
  // Popped rather than erased, the last key lets the table go too.
  set.insert({table.ptr(), all[7]});
  set.insert({table.ptr(), all[6]});
  set.popFront();
  EXPECT_GT(table->references(), alone);
  EXPECT_EQ(set.front(), TableKey(table.ptr(), all[7]));
  set.popFront();
  EXPECT_EQ(table->references(), alone);
  EXPECT_TRUE(set.empty());
}

// A pop takes the first pair as it stands, whatever was first when the front was read:
// an IPv4 key inserted after reading an IPv6 front goes first, and so does a key of a
// table ordered before; an erase of the front moves it on, to the other kind of key or to
// the next table.
TEST(ChangedRouteSet, PopsTheFirstPairAfterChangesSinceTheFrontWasRead) {
  auto const all = keys();
  RouteKey const v4 = all[0];
  RouteKey const v4Later = all[1];
  RouteKey const v6 = all[45];
  ASSERT_EQ(v6.af(), Plix::AddressFamily::ipv6);
  auto const first = Quib::make<Table>("first");
  auto const second = Quib::make<Table>("second");
  ASSERT_LT(first->id(), second->id());
  struct Step {
    char const* what;
    std::vector<TableKey> before;  // held when the front is read
    TableKey inserted;             // then inserted (an empty table: none)
    TableKey erased;               // then erased (an empty table: none)
    std::vector<TableKey> left;    // held after the pop, in order
  };
  Step const steps[] = {
      {"an IPv4 key inserted before an IPv6 front", {{second.ptr(), v6}}, {second.ptr(), v4}, {}, {{second.ptr(), v6}}},
      {"a key of a table ordered before", {{second.ptr(), v4}}, {first.ptr(), v6}, {}, {{second.ptr(), v4}}},
      {"the front erased", {{first.ptr(), v4}, {first.ptr(), v6}, {second.ptr(), v4Later}}, {}, {first.ptr(), v4},
       {{second.ptr(), v4Later}}},
      {"an IPv6 front erased with its table", {{first.ptr(), v6}, {second.ptr(), v4}}, {}, {first.ptr(), v6}, {}},
  };
  for (auto const& step : steps) {
    ChangedRouteSet set;
    for (auto const& k : step.before) set.insert(k);
    set.front();
    if (step.inserted.table()) set.insert(step.inserted);
    if (step.erased.table()) set.erase(step.erased);
    set.popFront();
    std::vector<TableKey> left;
    for (; !set.empty(); set.popFront()) left.push_back(set.front());
    EXPECT_EQ(left, step.left) << step.what;
  }
}

}  // namespace
}  // namespace Routing::KernelMfib
