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

TEST(MfcStore, VifSetListsItsIndicesAscending) {
  MfcStore::VifSet set;
  for (std::uint16_t vif : {511, 0, 64, 63, 200}) set.set(vif);
  set.reset(200);
  EXPECT_EQ(set.indices(), (std::vector<std::uint16_t>{0, 63, 64, 511}));
}

}  // namespace
