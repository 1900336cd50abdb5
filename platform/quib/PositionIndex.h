#pragma once
// An open-addressing hash index of positions into an array its owner keeps: the owner
// stores its records densely and asks the index where a key's record is. Four bytes per
// slot, at most half the slots used, linear probing, and removal by moving later entries
// back, so no tombstones build up under churn.
//
// The index never sees keys: lookups pass the key's hash and a test of a position, and
// growing or removing passes a function giving the hash of the record at a position.
//
// HashedPositionIndex keeps 32 bits of each key's hash beside its position, eight bytes a
// slot: a probe tests a record only when its hash matches, and growing or removing reads
// no record. Worth it where records are many and each one read is a cache miss.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "quib/Prefetch.h"

namespace Quib {

template <bool keepsHashes>
class BasicPositionIndex {
  struct Hashed {
    std::uint32_t position;
    std::uint32_t hash;
  };
  using Slot = std::conditional_t<keepsHashes, Hashed, std::uint32_t>;

 public:
  static constexpr std::uint32_t none = 0xffffffffu;

  // Spreads a hash over every bit of the word, so that the low bits the index masks by
  // depend on all of the key (the 64-bit finaliser of MurmurHash3).
  static std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
  }

  // The slot holding the position `matches(position)` accepts, or the free slot where it
  // would go. The index must have a free slot (reserved with roomIs).
  template <class Matches>
  std::size_t slot(std::size_t hash, Matches matches) const {
    std::size_t const mask = slots_.size() - 1;
    for (std::size_t s = home(hash, mask);; s = (s + 1) & mask) {
      std::uint32_t const p = positionOf(slots_[s]);
      if (p == none) return s;
      if constexpr (keepsHashes) {
        if (slots_[s].hash != static_cast<std::uint32_t>(hash)) continue;
      }
      if (matches(p)) return s;
    }
  }
  // The position `matches` accepts; none when the index does not hold it.
  template <class Matches>
  std::uint32_t find(std::size_t hash, Matches matches) const {
    if (slots_.empty()) return none;
    return at(slot(hash, matches));
  }
  std::uint32_t at(std::size_t slot) const { return positionOf(slots_[slot]); }
  // Starts loading the slot where a hash's probe run starts, for a lookup made a little
  // later: lookups of many keys in a row then wait for memory together, not one by one.
  void prefetch(std::size_t hash) const {
    if (!slots_.empty()) Quib::prefetch(slots_.data() + home(hash, slots_.size() - 1));
  }
  // The first position of a hash's probe run whose slot keeps the same hash: the likely
  // one, to read ahead of the lookup that makes sure. None when no slot matches.
  std::uint32_t candidate(std::size_t hash) const
    requires keepsHashes
  {
    return find(hash, [](std::uint32_t) { return true; });
  }
  void atIs(std::size_t slot, std::uint32_t position)
    requires(!keepsHashes)
  {
    slots_[slot] = position;
  }
  void atIs(std::size_t slot, std::uint32_t position, std::size_t hash)
    requires keepsHashes
  {
    slots_[slot] = slotFor(position, hash);
  }

  // Room for `count` positions. On growth the positions below `bound` that `held(p)`
  // accepts are placed again.
  template <class HashAt, class Held>
  void roomIs(std::size_t count, std::uint32_t bound, HashAt hashAt, Held held)
    requires(!keepsHashes)
  {
    if (!grows(count)) return;
    resized(count);
    for (std::uint32_t p = 0; p < bound; ++p) {
      if (held(p)) place(p, hashAt(p));
    }
  }
  // Room for `count` positions; growing places the slots again by the hashes they keep.
  void roomIs(std::size_t count)
    requires keepsHashes
  {
    if (!grows(count)) return;
    for (Slot const& s : resized(count)) {
      if (s.position != none) place(s.position, s.hash);
    }
  }

  // Frees a slot; later entries of its probe run that belong at or before it move back.
  template <class HashAt>
  void slotDel(std::size_t slot, HashAt hashAt)
    requires(!keepsHashes)
  {
    close(slot, [&](Slot s) { return hashAt(s); });
  }
  void slotDel(std::size_t slot)
    requires keepsHashes
  {
    close(slot, [](Slot s) { return s.hash; });
  }

  void clear() { slots_ = {}; }
  std::size_t bytes() const { return slots_.capacity() * sizeof(Slot); }

 private:
  static std::uint32_t positionOf(Slot s) {
    if constexpr (keepsHashes) {
      return s.position;
    } else {
      return s;
    }
  }
  static Slot slotFor(std::uint32_t position, std::size_t hash) {
    if constexpr (keepsHashes) {
      return Slot{position, static_cast<std::uint32_t>(hash)};
    } else {
      return position;
    }
  }
  static Slot freeSlot() { return slotFor(none, 0); }
  // Where a hash's probe run starts: from its low 32 bits, all a hashed slot keeps.
  static std::size_t home(std::size_t hash, std::size_t mask) { return static_cast<std::uint32_t>(hash) & mask; }

  bool grows(std::size_t count) const { return 2 * count > slots_.size(); }
  // Empties the index at a size for `count` positions; gives back the slots it had.
  std::vector<Slot> resized(std::size_t count) {
    std::size_t size = std::max<std::size_t>(16, slots_.size());
    while (2 * count > size) size *= 2;
    std::vector<Slot> old(size, freeSlot());
    old.swap(slots_);
    return old;
  }
  void place(std::uint32_t position, std::size_t hash) {
    std::size_t const mask = slots_.size() - 1;
    std::size_t s = home(hash, mask);
    while (positionOf(slots_[s]) != none) s = (s + 1) & mask;
    slots_[s] = slotFor(position, hash);
  }
  template <class HashOf>
  void close(std::size_t slot, HashOf hashOf) {
    std::size_t const mask = slots_.size() - 1;
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & mask; positionOf(slots_[next]) != none; next = (next + 1) & mask) {
      std::size_t const homeAt = home(hashOf(slots_[next]), mask);
      if (((next - homeAt) & mask) >= ((next - hole) & mask)) {
        slots_[hole] = slots_[next];
        hole = next;
      }
    }
    slots_[hole] = freeSlot();
  }

  std::vector<Slot> slots_;  // a power of two long, or empty
};

using PositionIndex = BasicPositionIndex<false>;
using HashedPositionIndex = BasicPositionIndex<true>;

}  // namespace Quib
