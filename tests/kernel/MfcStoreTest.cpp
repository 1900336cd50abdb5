// The simulated kernel's MFC store against a plain ordered map: adds, replacements and
// removals in a random mix, through growth of the index, across block edges both ways and
// with many keys sharing probe runs, must leave the same entries, listed in the same order,
// and hold exactly the outgoing sets its entries use.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <utility>

#include "kernel/MfcStore.h"

namespace {

using Kernel::MfcStore;
using Kernel::NamespaceSnapshot;
using Key = std::pair<MfcStore::Address, MfcStore::Address>;

MfcStore::Address address(std::uint8_t first, std::uint32_t low) {
  MfcStore::Address a{};
  a[0] = first;
  a[1] = static_cast<std::uint8_t>(low >> 16);
  a[2] = static_cast<std::uint8_t>(low >> 8);
  a[3] = static_cast<std::uint8_t>(low);
  return a;
}

std::vector<NamespaceSnapshot::Mfc> listed(std::map<Key, NamespaceSnapshot::Mfc> const& model) {
  std::vector<NamespaceSnapshot::Mfc> result;
  for (auto const& [key, mfc] : model) result.push_back(mfc);
  return result;
}

// Outgoing sets drawn at random (nearly every entry's differs) or from a few shared ones.
MfcStore::VifSet drawnOifs(std::mt19937& rng, bool shared) {
  MfcStore::VifSet set;
  if (shared) {
    std::uint16_t const pick = static_cast<std::uint16_t>(rng() % 4);
    for (std::uint16_t vif = pick; vif < 512; vif += 130) set.set(vif);
    return set;
  }
  for (std::uint16_t vif = 0; vif < 512; vif += static_cast<std::uint16_t>(1 + rng() % 200)) set.set(vif);
  return set;
}

TEST(MfcStore, MatchesAnOrderedMapUnderChurn) {
  struct Phase {
    int operations;
    unsigned deletePercent;
  };
  struct Case {
    char const* what;
    std::uint32_t keys;
    bool sharedOifs;
    std::vector<Phase> phases;
  };
  Case const cases[] = {
      {"few keys, mostly replacements", 8, false, {{2000, 33}}},
      {"keys past several index growths", 3000, false, {{20000, 33}}},
      {"entries over several blocks, then drained below one and grown again", 12000, true,
       {{40000, 10}, {40000, 90}, {20000, 10}}},
      {"few outgoing sets shared by many entries", 2000, true, {{20000, 33}}},
  };
  for (auto const& c : cases) {
    std::mt19937 rng(7);
    MfcStore store;
    std::map<Key, NamespaceSnapshot::Mfc> model;
    for (Phase const& phase : c.phases) {
      for (int op = 0; op < phase.operations; ++op) {
        std::uint32_t const k = rng() % c.keys;
        auto const source = address(10, k), group = address(239, k % 5);
        if (rng() % 100 < phase.deletePercent) {
          EXPECT_EQ(store.entryDel(source, group), model.erase({source, group}) == 1) << c.what;
          continue;
        }
        MfcStore::Entry const e{
            .source = source, .group = group, .iif = static_cast<std::uint16_t>(rng() % 512), .oifs = drawnOifs(rng, c.sharedOifs)};
        store.entryIs(e);
        model[{source, group}] = {.af = Plix::AddressFamily::ipv4, .source = source, .group = group, .iif = e.iif, .oifs = e.oifs.indices()};
      }
      EXPECT_EQ(store.size(), model.size()) << c.what;
      EXPECT_EQ(store.sorted(Plix::AddressFamily::ipv4), listed(model)) << c.what;
      // Sets no entry holds any more are forgotten.
      std::set<std::vector<std::uint16_t>> distinct;
      for (auto const& [key, mfc] : model) distinct.insert(mfc.oifs);
      EXPECT_EQ(store.vifSets(), distinct.size()) << c.what;
    }
  }
}

// Adds wait in a buffer; each way of looking at the store, made first after a sequence of
// operations, must see every add applied, in the order made.
TEST(MfcStore, EveryObservationSeesTheAddsMadeBeforeIt) {
  struct Op {
    bool del;
    std::uint32_t key;
    std::uint16_t iif = 0;
    std::uint16_t set = 0;  // the outgoing VIFs are set and set + 256
  };
  using Ops = std::vector<Op>;
  std::size_t const most = MfcStore::pendingMost;
  // `count` adds of distinct keys from `first`, each with its own outgoing set.
  auto const fill = [](std::uint32_t first, std::size_t count) {
    Ops ops;
    for (std::uint32_t k = first; k < first + count; ++k) {
      ops.push_back({.del = false, .key = k, .iif = 1, .set = static_cast<std::uint16_t>(k % 200)});
    }
    return ops;
  };
  auto const join = [](std::initializer_list<Ops> parts) {
    Ops ops;
    for (Ops const& p : parts) ops.insert(ops.end(), p.begin(), p.end());
    return ops;
  };
  struct Case {
    char const* what;
    Ops ops;
  };
  Case const cases[] = {
      {"one add waiting", {{.del = false, .key = 7, .iif = 3, .set = 5}}},
      {"two adds of a key: the later wins", {{.del = false, .key = 7, .iif = 3, .set = 5}, {.del = false, .key = 7, .iif = 4, .set = 6}}},
      {"an add then its delete", {{.del = false, .key = 7, .iif = 3, .set = 5}, {.del = true, .key = 7}}},
      {"a delete of a key only added in the buffer, then an add of it",
       {{.del = false, .key = 7, .iif = 3, .set = 5}, {.del = true, .key = 7}, {.del = false, .key = 7, .iif = 9, .set = 8}}},
      {"a replace across the buffer's edge: the first applied with the full buffer, the second waiting",
       join({fill(1000, most - 1), {{.del = false, .key = 7, .iif = 3, .set = 5}, {.del = false, .key = 7, .iif = 4, .set = 6}}})},
      {"a replace of an applied entry by one waiting, its old set's last holder gone",
       join({{{.del = false, .key = 7, .iif = 3, .set = 250}}, fill(1000, most), {{.del = false, .key = 7, .iif = 4, .set = 6}}})},
      {"a few keys replaced over and over within and across batches",
       [&] {
         Ops ops;
         for (std::uint16_t round = 0; round < 3 * most / 10 + 7; ++round) {
           for (std::uint32_t k = 0; k < 10; ++k) {
             ops.push_back({.del = false, .key = k, .iif = round, .set = static_cast<std::uint16_t>((round + k) % 7)});
           }
         }
         return ops;
       }()},
      {"entries applied, deleted, and added again with adds waiting",
       join({fill(0, 2 * most + 5), [&] {
               Ops ops;
               for (std::uint32_t k = 0; k < 2 * most + 5; k += 3) ops.push_back({.del = true, .key = k});
               return ops;
             }(),
             fill(1, most + 3)})},
  };
  enum class Look { size, sorted, vifSets, entryDel };
  for (Look const first : {Look::size, Look::sorted, Look::vifSets, Look::entryDel}) {
    for (Case const& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", looked at first by " << static_cast<int>(first));
      MfcStore store;
      std::map<Key, NamespaceSnapshot::Mfc> model;
      auto const keyOf = [](std::uint32_t k) { return Key{address(10, k), address(239, k % 3)}; };
      for (Op const& op : c.ops) {
        auto const [source, group] = keyOf(op.key);
        if (op.del) {
          EXPECT_EQ(store.entryDel(source, group), model.erase({source, group}) == 1) << op.key;
          continue;
        }
        MfcStore::VifSet oifs;
        oifs.set(op.set);
        oifs.set(static_cast<std::uint16_t>(op.set + 256));
        store.entryIs({.source = source, .group = group, .iif = op.iif, .oifs = oifs});
        model[{source, group}] = {.af = Plix::AddressFamily::ipv4, .source = source, .group = group, .iif = op.iif, .oifs = oifs.indices()};
      }
      std::set<std::vector<std::uint16_t>> distinct;
      for (auto const& [key, mfc] : model) distinct.insert(mfc.oifs);
      auto const [lastSource, lastGroup] = keyOf(c.ops.back().key);
      switch (first) {
        case Look::size: EXPECT_EQ(store.size(), model.size()); break;
        case Look::sorted: EXPECT_EQ(store.sorted(Plix::AddressFamily::ipv4), listed(model)); break;
        case Look::vifSets: EXPECT_EQ(store.vifSets(), distinct.size()); break;
        case Look::entryDel:
          EXPECT_EQ(store.entryDel(lastSource, lastGroup), model.erase({lastSource, lastGroup}) == 1);
          distinct.clear();
          for (auto const& [key, mfc] : model) distinct.insert(mfc.oifs);
          break;
      }
      EXPECT_EQ(store.size(), model.size());
      EXPECT_EQ(store.sorted(Plix::AddressFamily::ipv4), listed(model));
      EXPECT_EQ(store.vifSets(), distinct.size());
    }
  }
}

TEST(MfcStore, RemovingEveryEntryLeavesItEmptyAndUsable) {
  MfcStore store;
  for (std::uint32_t k = 0; k < 100; ++k) store.entryIs({.source = address(10, k), .group = address(239, 1), .iif = 0, .oifs = {}});
  for (std::uint32_t k = 0; k < 100; ++k) EXPECT_TRUE(store.entryDel(address(10, k), address(239, 1)));
  EXPECT_FALSE(store.entryDel(address(10, 0), address(239, 1)));
  EXPECT_EQ(store.size(), 0u);
  store.entryIs({.source = address(10, 5), .group = address(239, 1), .iif = 3, .oifs = {}});
  auto const all = store.sorted(Plix::AddressFamily::ipv6);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].iif, 3);
  EXPECT_EQ(all[0].af, Plix::AddressFamily::ipv6);
  EXPECT_TRUE(all[0].oifs.empty());
}

// `show kernel` lists by source, then group, each compared byte by byte from the first:
// a byte late in an address must not outweigh an earlier one, in either half of an IPv6
// address.
TEST(MfcStore, ListsBySourceThenGroupAsTheirBytesCompare) {
  auto withBytes = [](std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    MfcStore::Address a{};
    for (auto const& [at, value] : bytes) a[at] = value;
    return a;
  };
  // Ascending, each source with its groups ascending.
  std::vector<std::pair<MfcStore::Address, MfcStore::Address>> const ordered{
      {withBytes({{15, 0xff}}), withBytes({{0, 1}})},
      {withBytes({{8, 1}}), withBytes({{7, 0xff}})},
      {withBytes({{8, 1}}), withBytes({{0, 1}})},
      {withBytes({{8, 1}, {15, 1}}), withBytes({{0, 1}})},
      {withBytes({{7, 1}}), withBytes({{15, 0xff}})},
      {withBytes({{7, 1}}), withBytes({{8, 1}})},
      {withBytes({{0, 1}}), withBytes({{0, 1}, {15, 1}})},
      {withBytes({{0, 1}, {3, 1}}), withBytes({{0, 1}})},
      {withBytes({{0, 2}}), withBytes({{0, 1}})},
  };
  MfcStore store;
  for (std::size_t i = ordered.size(); i-- > 0;) {
    store.entryIs({.source = ordered[i].first, .group = ordered[i].second, .iif = static_cast<std::uint16_t>(i), .oifs = {}});
  }
  auto const all = store.sorted(Plix::AddressFamily::ipv6);
  ASSERT_EQ(all.size(), ordered.size());
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].iif, i) << "entry " << i;
}

TEST(MfcStore, VifSetListsItsIndicesAscending) {
  MfcStore::VifSet set;
  for (std::uint16_t vif : {511, 0, 64, 63, 200}) set.set(vif);
  set.reset(200);
  EXPECT_EQ(set.indices(), (std::vector<std::uint16_t>{0, 63, 64, 511}));
}

}  // namespace
