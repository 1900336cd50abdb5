// The shared outgoing sets of MFC entries: equal sets share an id, a set lives as long as
// one holder does, and a freed id serves the next new set.

#include <gtest/gtest.h>

#include "kernel/VifSetPool.h"

namespace {

using Kernel::VifSet;
using Kernel::VifSetPool;

VifSet setOf(std::initializer_list<std::uint16_t> vifs) {
  VifSet set;
  for (std::uint16_t vif : vifs) set.set(vif);
  return set;
}

TEST(VifSetPool, EqualSetsShareAnIdUntilTheLastHolderGoes) {
  VifSetPool pool;
  std::uint32_t const a = pool.held(setOf({1, 2, 511}));
  std::uint32_t const b = pool.held(setOf({1, 2}));
  EXPECT_NE(a, b);
  EXPECT_EQ(pool.held(setOf({511, 2, 1})), a);
  EXPECT_EQ(pool.size(), 2u);
  pool.released(a);
  EXPECT_EQ(pool.size(), 2u);
  EXPECT_EQ(pool.at(a), setOf({1, 2, 511}));
  pool.released(a);
  EXPECT_EQ(pool.size(), 1u);
  // The freed id comes back for a new set; the old set is no longer found under it.
  EXPECT_EQ(pool.held(setOf({7})), a);
  EXPECT_EQ(pool.at(a), setOf({7}));
  EXPECT_NE(pool.held(setOf({1, 2, 511})), a);
  EXPECT_EQ(pool.at(b), setOf({1, 2}));
  EXPECT_EQ(pool.size(), 3u);
}

TEST(VifSetPool, ManySetsSurviveGrowthAndRemovals) {
  VifSetPool pool;
  std::vector<std::uint32_t> ids;
  for (std::uint16_t vif = 0; vif < 512; ++vif) ids.push_back(pool.held(setOf({vif, 0})));
  EXPECT_EQ(pool.size(), 512u);
  for (std::uint16_t vif = 1; vif < 512; vif += 2) pool.released(ids[vif]);
  EXPECT_EQ(pool.size(), 256u);
  for (std::uint16_t vif = 0; vif < 512; ++vif) {
    if (vif % 2 == 0) {
      EXPECT_EQ(pool.held(setOf({vif, 0})), ids[vif]) << vif;
      EXPECT_EQ(pool.at(ids[vif]), setOf({vif, 0})) << vif;
    }
  }
}

TEST(VifSetPool, EmptySetIsASetLikeAnyOther) {
  VifSetPool pool;
  std::uint32_t const empty = pool.held(VifSet{});
  EXPECT_EQ(pool.held(VifSet{}), empty);
  EXPECT_EQ(pool.at(empty).indices(), std::vector<std::uint16_t>{});
}

}  // namespace
