#include "kernel/VifSetPool.h"

namespace Kernel {

std::uint32_t VifSetPool::held(VifSet const& set) {
  index_.roomIs(size() + 1);
  std::size_t const hash = static_cast<std::size_t>(set.hash());
  std::size_t const slot = index_.slot(hash, [&](std::uint32_t id) { return sets_[id].set == set; });
  if (std::uint32_t const id = index_.at(slot); id != Quib::HashedPositionIndex::none) {
    ++sets_[id].holders;
    return id;
  }
  std::uint32_t id;
  if (free_.empty()) {
    id = static_cast<std::uint32_t>(sets_.size());
    sets_.push_back({.set = set, .holders = 1});
  } else {
    id = free_.back();
    free_.pop_back();
    sets_[id] = {.set = set, .holders = 1};
  }
  index_.atIs(slot, id, hash);
  return id;
}

void VifSetPool::released(std::uint32_t id) {
  if (--sets_[id].holders != 0) return;
  index_.slotDel(index_.slot(static_cast<std::size_t>(sets_[id].set.hash()), [id](std::uint32_t p) { return p == id; }));
  free_.push_back(id);
}

}  // namespace Kernel
