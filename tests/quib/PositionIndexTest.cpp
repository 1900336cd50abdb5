// The position index, in both its forms, against a plain map under random churn: keys
// whose hashes collide in their low bits, in all their kept bits, or not at all must all be
// found, and removals that move later slots back must keep every other key findable,
// across growths of the index.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <type_traits>
#include <vector>

#include "quib/PositionIndex.h"

namespace {

// An owner as the index expects one: records in an array, their keys beside them.
template <class Index>
class Owner {
 public:
  explicit Owner(std::uint64_t (*hash)(std::uint32_t)) : hash_(hash) {}

  std::uint32_t find(std::uint32_t key) const {
    return index_.find(hash_(key), [&](std::uint32_t p) { return keys_[p] == key; });
  }
  void add(std::uint32_t key) {
    grow();
    std::size_t const slot = slotOf(key);
    if (index_.at(slot) != Index::none) return;
    keys_.push_back(key);
    auto const at = static_cast<std::uint32_t>(keys_.size() - 1);
    if constexpr (std::is_same_v<Index, Quib::HashedPositionIndex>) {
      index_.atIs(slot, at, hash_(key));
    } else {
      index_.atIs(slot, at);
    }
    held_.push_back(true);
    ++count_;
  }
  void remove(std::uint32_t key) {
    if (keys_.empty()) return;
    std::size_t const slot = slotOf(key);
    std::uint32_t const at = index_.at(slot);
    if (at == Index::none) return;
    held_[at] = false;
    --count_;
    if constexpr (std::is_same_v<Index, Quib::HashedPositionIndex>) {
      index_.slotDel(slot);
    } else {
      index_.slotDel(slot, [this](std::uint32_t p) { return hash_(keys_[p]); });
    }
  }
  std::uint32_t keyAt(std::uint32_t p) const { return keys_[p]; }

 private:
  std::size_t slotOf(std::uint32_t key) const {
    return index_.slot(hash_(key), [&](std::uint32_t p) { return keys_[p] == key; });
  }
  void grow() {
    std::size_t const count = count_ + 1;
    if constexpr (std::is_same_v<Index, Quib::HashedPositionIndex>) {
      index_.roomIs(count);
    } else {
      index_.roomIs(count, static_cast<std::uint32_t>(keys_.size()), [this](std::uint32_t p) { return hash_(keys_[p]); },
                    [this](std::uint32_t p) { return bool(held_[p]); });
    }
  }

  std::uint64_t (*hash_)(std::uint32_t);
  Index index_;
  std::vector<std::uint32_t> keys_;
  std::vector<bool> held_;
  std::size_t count_ = 0;
};

// Low bits shared by runs of keys: long probe runs that removals must close up.
std::uint64_t lowBitsCollide(std::uint32_t k) { return (std::uint64_t{k} << 32) | (k / 16 * 8); }
// All 32 kept bits shared by pairs of keys: only the record tells them apart.
std::uint64_t keptBitsCollide(std::uint32_t k) { return (std::uint64_t{k} << 40) | (k / 2); }
std::uint64_t spread(std::uint32_t k) { return Quib::PositionIndex::mix(k); }

template <class Index>
void churn(char const* what, std::uint64_t (*hash)(std::uint32_t)) {
  Owner<Index> owner(hash);
  std::map<std::uint32_t, bool> model;
  std::mt19937 rng(7);
  for (int op = 0; op < 20000; ++op) {
    std::uint32_t const k = rng() % 3000;
    if (rng() % 3 == 0) {
      owner.remove(k);
      model.erase(k);
    } else {
      owner.add(k);
      model[k] = true;
    }
    if (op % 1999) continue;
    std::vector<std::uint32_t> wrong;  // keys found where absent, missing, or found elsewhere
    for (std::uint32_t q = 0; q < 3000; ++q) {
      std::uint32_t const p = owner.find(q);
      bool const right = p == Index::none ? !model.contains(q) : model.contains(q) && owner.keyAt(p) == q;
      if (!right) wrong.push_back(q);
    }
    ASSERT_EQ(wrong, std::vector<std::uint32_t>{}) << what << " after " << op;
  }
}

TEST(PositionIndex, FindsWhatItHoldsUnderChurn) {
  struct Case {
    char const* what;
    std::uint64_t (*hash)(std::uint32_t);
  };
  Case const cases[] = {
      {"low bits collide", lowBitsCollide},
      {"kept bits collide", keptBitsCollide},
      {"spread", spread},
  };
  for (auto const& c : cases) {
    churn<Quib::PositionIndex>(c.what, c.hash);
    churn<Quib::HashedPositionIndex>(c.what, c.hash);
  }
}

// A hashed index tests a record only when the kept hash matches: with distinct hashes, a
// lookup of an absent key tests no record at all.
TEST(PositionIndex, HashedIndexTestsOnlyRecordsWhoseHashMatches) {
  Quib::HashedPositionIndex index;
  index.roomIs(8);
  for (std::uint32_t p = 0; p < 8; ++p) {
    std::size_t const hash = 5 + p * 16;  // one probe run from slot 5
    index.atIs(index.slot(hash, [](std::uint32_t) { return false; }), p, hash);
  }
  int tested = 0;
  EXPECT_EQ(index.find(5 + 99 * 16, [&](std::uint32_t) { return ++tested, true; }), Quib::HashedPositionIndex::none);
  EXPECT_EQ(tested, 0);
  EXPECT_EQ(index.find(5 + 3 * 16, [&](std::uint32_t p) { return ++tested, p == 3; }), 3u);
  EXPECT_EQ(tested, 1);
}

}  // namespace
