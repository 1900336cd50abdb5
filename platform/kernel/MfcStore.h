#pragma once
// The MFC entries of one family's multicast routing in the simulated kernel, keyed by
// (source, group). A million entries arrive at the rate the agent can send them, so the
// store is flat: entries sit densely in fixed-size blocks (growing copies nothing), an
// index of positions that keeps each key's hash finds them without reading entries, and an
// entry's outgoing VIFs are an id of a set shared with every entry that has the same ones.
// Order is made only when asked for, for `show kernel`: by source, then group.
//
// Each add is a lookup at a random place in a large index: a wait for memory. An add's
// answer does not depend on whether its key was there, so adds wait in a small buffer and
// are applied together, each one's index slot and record loaded while earlier ones are
// applied. Everything that reads the store or removes from it applies the buffer first,
// so nothing can tell that an add waited.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/NamespaceSnapshot.h"
#include "kernel/VifSet.h"
#include "kernel/VifSetPool.h"
#include "quib/PositionIndex.h"

namespace Kernel {

class MfcStore {
 public:
  using Address = NamespaceSnapshot::Address;
  using VifSet = Kernel::VifSet;

  struct Entry {
    Address source;
    Address group;
    std::uint16_t iif = 0;
    VifSet oifs;
  };

  // Adds the buffer holds at most before it is applied.
  static constexpr std::size_t pendingMost = 256;

  std::size_t size() const {
    settle();
    return size_;
  }
  // Adds the entry or replaces the one of its key.
  void entryIs(Entry const& entry);
  // False when no entry has the key.
  bool entryDel(Address const& source, Address const& group);
  // Every entry as `show kernel` lists them: by source, then group.
  std::vector<NamespaceSnapshot::Mfc> sorted(Plix::AddressFamily af) const;
  // Distinct outgoing sets the entries hold.
  std::size_t vifSets() const {
    settle();
    return oifSets_.size();
  }

 private:
  struct Record {
    Address source;
    Address group;
    std::uint16_t iif;
    std::uint32_t oifs;  // an id of oifSets_
  };
  // An add that waits; its outgoing set is already held.
  struct Pending {
    Address source;
    Address group;
    std::uint32_t hash;
    std::uint32_t oifs;
    std::uint16_t iif;
  };
  static constexpr std::size_t blockShift = 12;
  static constexpr std::size_t blockSize = std::size_t{1} << blockShift;

  static std::size_t hashOf(Address const& source, Address const& group);
  Record& at(std::size_t position) { return blocks_[position >> blockShift][position & (blockSize - 1)]; }
  Record const& at(std::size_t position) const {
    return blocks_[position >> blockShift][position & (blockSize - 1)];
  }

  // Applies the waiting adds. The readers are const, yet must see them applied: a store
  // with adds waiting was changed by entryIs, so it is not a const object.
  void settle() const {
    if (!pending_.empty()) const_cast<MfcStore*>(this)->apply();
  }
  void apply();
  void applied(Pending const& add);

  std::vector<std::unique_ptr<Record[]>> blocks_;
  std::size_t size_ = 0;
  Quib::HashedPositionIndex index_;
  VifSetPool oifSets_;
  std::vector<Pending> pending_;  // in the order they came
};

}  // namespace Kernel
