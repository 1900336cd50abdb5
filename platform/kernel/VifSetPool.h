#pragma once
// The distinct outgoing VIF sets of a kernel table's MFC entries, each kept once and counted
// by the entries holding it. A million entries share a few thousand sets at most, so an
// entry keeps a four-byte id instead of the 64-byte set, and an add writes a small record.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/VifSet.h"
#include "quib/PositionIndex.h"

namespace Kernel {

class VifSetPool {
 public:
  // The id of a set equal to `set`, held once more.
  std::uint32_t held(VifSet const& set);
  // One holder fewer of `id`; the last one's going forgets the set and frees its id.
  void released(std::uint32_t id);
  VifSet const& at(std::uint32_t id) const { return sets_[id].set; }
  // Distinct sets held.
  std::size_t size() const { return sets_.size() - free_.size(); }

 private:
  struct Counted {
    VifSet set;
    std::uint32_t holders = 0;  // 0 while the id is free
  };

  std::vector<Counted> sets_;
  std::vector<std::uint32_t> free_;  // ids of sets no entry holds
  Quib::HashedPositionIndex index_;
};

}  // namespace Kernel
