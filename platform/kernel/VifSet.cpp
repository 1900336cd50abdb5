#include "kernel/VifSet.h"

#include <bit>

#include "quib/PositionIndex.h"

namespace Kernel {

std::vector<std::uint16_t> VifSet::indices() const {
  std::vector<std::uint16_t> result;
  for (std::size_t i = 0; i < words; ++i) {
    for (std::uint64_t w = bits_[i]; w; w &= w - 1) {
      result.push_back(static_cast<std::uint16_t>(64 * i + static_cast<std::size_t>(std::countr_zero(w))));
    }
  }
  return result;
}

// Each word's product stands alone, so the multiplications overlap rather than wait for
// one another; two sets differing in one word never collide, as the factor is odd.
std::uint64_t VifSet::hash() const {
  std::uint64_t h = 0;
  for (std::size_t i = 0; i < words; ++i) h += (bits_[i] ^ (0x9e3779b97f4a7c15ull * (i + 1))) * 0xff51afd7ed558ccdull;
  return Quib::PositionIndex::mix(h);
}

}  // namespace Kernel
