#pragma once
// An open-addressing hash index of positions into an array its owner keeps: the owner
// stores its records densely and asks the index where a key's record is. Four bytes per
// slot, at most half the slots used, linear probing, and removal by moving later entries
// back, so no tombstones build up under churn.
//
// The index never sees keys: lookups pass the key's hash and a test of a position, and
// growing or removing passes a function giving the hash of the record at a position.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quib {

class PositionIndex {
 public:
  static constexpr std::uint32_t none = 0xffffffffu;

  // The slot holding the position `matches(position)` accepts, or the free slot where it
  // would go. The index must have a free slot (reserved with roomIs).
  template <class Matches>
  std::size_t slot(std::size_t hash, Matches matches) const {
    std::size_t const mask = slots_.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
      if (slots_[s] == none || matches(slots_[s])) return s;
    }
  }
  // The position `matches` accepts; none when the index does not hold it.
  template <class Matches>
  std::uint32_t find(std::size_t hash, Matches matches) const {
    if (slots_.empty()) return none;
    return slots_[slot(hash, matches)];
  }
  std::uint32_t at(std::size_t slot) const { return slots_[slot]; }
  void atIs(std::size_t slot, std::uint32_t position) { slots_[slot] = position; }

  // Room for `count` positions. On growth the positions below `bound` that `held(p)`
  // accepts are placed again.
  template <class HashAt, class Held>
  void roomIs(std::size_t count, std::uint32_t bound, HashAt hashAt, Held held) {
    if (2 * count <= slots_.size()) return;
    std::size_t size = std::max<std::size_t>(16, slots_.size());
    while (2 * count > size) size *= 2;
    slots_.assign(size, none);
    std::size_t const mask = size - 1;
    for (std::uint32_t p = 0; p < bound; ++p) {
      if (!held(p)) continue;
      std::size_t s = hashAt(p) & mask;
      while (slots_[s] != none) s = (s + 1) & mask;
      slots_[s] = p;
    }
  }

  // Frees a slot; later entries of its probe run that belong at or before it move back.
  template <class HashAt>
  void slotDel(std::size_t slot, HashAt hashAt) {
    std::size_t const mask = slots_.size() - 1;
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & mask; slots_[next] != none; next = (next + 1) & mask) {
      std::size_t const home = hashAt(slots_[next]) & mask;
      if (((next - home) & mask) >= ((next - hole) & mask)) {
        slots_[hole] = slots_[next];
        hole = next;
      }
    }
    slots_[hole] = none;
  }

  void clear() { slots_ = {}; }
  std::size_t bytes() const { return slots_.capacity() * sizeof(std::uint32_t); }

 private:
  std::vector<std::uint32_t> slots_;  // a power of two long, or empty
};

}  // namespace Quib
