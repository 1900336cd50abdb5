#pragma once
// A set of VIF indices of one kernel table, one bit per index: the outgoing VIFs of an MFC
// entry, or the VIFs that exist.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/MrtFamily.h"

namespace Kernel {

class VifSet {
 public:
  static constexpr std::size_t words = maxVifs / 64;
  void set(std::uint16_t vif) { bits_[vif / 64] |= std::uint64_t{1} << (vif % 64); }
  void reset(std::uint16_t vif) { bits_[vif / 64] &= ~(std::uint64_t{1} << (vif % 64)); }
  std::uint64_t word(std::size_t i) const { return bits_[i]; }
  void wordIs(std::size_t i, std::uint64_t w) { bits_[i] = w; }
  // Ascending.
  std::vector<std::uint16_t> indices() const;
  std::uint64_t hash() const;
  // Word by word, inline: each MFC add compares its set with the one pooled.
  friend bool operator==(VifSet const& a, VifSet const& b) {
    std::uint64_t differ = 0;
    for (std::size_t i = 0; i < words; ++i) differ |= a.bits_[i] ^ b.bits_[i];
    return differ == 0;
  }

 private:
  std::array<std::uint64_t, words> bits_{};
};

}  // namespace Kernel
