// The buffered ordered set against std::set: random inserts (with many repeats), erases of
// members and non-members, and drains that stop part way and take inserts before going on,
// must give the same members in the same order at every step.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "quib/BufferedOrderedSet.h"

namespace {

struct Case {
  char const* what;
  unsigned seed;
  int values;      // members are drawn from 0 .. values-1
  int operations;
  unsigned eraseEvery;  // about one operation in so many erases a value, held or not
  int drainEvery;  // a partial drain every so many operations
  int drainSteps;  // members taken per drain
  int checkEvery;  // a full comparison every so many operations
};

// Takes `steps` members from the front of both, checking that they agree on each.
template <class Set>
void drain(Set& set, std::set<int, std::greater<int>>& model, int steps, std::string const& where) {
  for (int s = 0; s < steps && !model.empty(); ++s) {
    ASSERT_FALSE(set.empty()) << where;
    ASSERT_EQ(set.front(), *model.begin()) << where;
    set.popFront();
    model.erase(model.begin());
  }
}

TEST(BufferedOrderedSet, MatchesAnOrderedSetUnderRandomUse) {
  Case const cases[] = {
      {"few values, repeats everywhere", 1, 20, 4000, 4, 7, 3, 1},
      {"values past several settles, drained in small steps", 2, 50000, 60000, 40, 500, 40, 997},
      {"many values, long drains between bursts", 3, 200000, 120000, 200, 20000, 15000, 4999},
      {"one value inserted over and over", 4, 1, 3000, 5, 100, 1, 13},
  };
  for (auto const& c : cases) {
    std::mt19937 rng(c.seed);
    // A comparator other than operator<, so the set's order is its argument's, not the type's.
    Quib::BufferedOrderedSet<int, std::greater<int>> set;
    std::set<int, std::greater<int>> model;
    for (int op = 1; op <= c.operations; ++op) {
      std::string const where = std::string(c.what) + ", operation " + std::to_string(op);
      int const v = static_cast<int>(rng() % static_cast<unsigned>(c.values));
      if (rng() % c.eraseEvery == 0) {
        set.erase(v);
        model.erase(v);
      } else {
        set.insert(v);
        model.insert(v);
      }
      ASSERT_EQ(set.empty(), model.empty()) << where;
      if (op % c.drainEvery == 0) drain(set, model, c.drainSteps, where);
      if (op % c.checkEvery != 0) continue;
      ASSERT_EQ(set.size(), model.size()) << where;
      int const probe = static_cast<int>(rng() % static_cast<unsigned>(c.values));
      ASSERT_EQ(set.contains(probe), model.contains(probe)) << where << ", value " << probe;
      if (!model.empty()) {
        ASSERT_EQ(set.front(), *model.begin()) << where;
      }
      // The first members read ahead, across both sorted runs, without taking them.
      std::size_t const ahead = rng() % 40;
      std::vector<int> read;
      std::size_t const got = set.forFirst(ahead, [&](int v) { read.push_back(v); });
      std::vector<int> const expected(model.begin(), std::next(model.begin(), static_cast<std::ptrdiff_t>(
                                                                                  std::min(ahead, model.size()))));
      ASSERT_EQ(read, expected) << where << ", " << ahead << " ahead";
      ASSERT_EQ(got, expected.size()) << where;
      ASSERT_EQ(set.size(), model.size()) << where << ": reading ahead takes nothing";
    }
    // What is left comes out whole, in order.
    drain(set, model, c.operations, c.what);
    EXPECT_TRUE(model.empty()) << c.what;
    EXPECT_TRUE(set.empty()) << c.what;
  }
}

TEST(BufferedOrderedSet, ErasingTheMemberJustTakenKeepsAnInsertMadeMeanwhile) {
  // The drain step of a review: read the front, work on it (inserting others), then erase
  // what was read; what was inserted meanwhile stays and comes in order.
  Quib::BufferedOrderedSet<int> set;
  for (int v : {5, 9, 7}) set.insert(v);
  std::vector<int> taken;
  bool inserted = false;
  while (!set.empty()) {
    int const v = set.front();
    taken.push_back(v);
    if (!inserted) {
      set.insert(6);  // after 5, before 7
      set.insert(5);  // the member being worked on again: it collapses with it
      set.insert(1);  // before everything: next
      inserted = true;
    }
    set.erase(v);
  }
  EXPECT_EQ(taken, (std::vector<int>{5, 1, 6, 7, 9}));
}

TEST(BufferedOrderedSet, ClearEmptiesEverything) {
  Quib::BufferedOrderedSet<int> set;
  for (int v = 0; v < 5000; ++v) set.insert(v % 1700);
  EXPECT_EQ(set.size(), 1700u);
  set.insert(3000);
  set.clear();
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(set.size(), 0u);
  EXPECT_FALSE(set.contains(3000));
  set.insert(2);
  EXPECT_EQ(set.front(), 2);
  EXPECT_EQ(set.size(), 1u);
}

}  // namespace
