#pragma once
// The MFC entries of one family's multicast routing in the simulated kernel, keyed by
// (source, group). A million entries arrive at the rate the agent can send them, so the
// store is flat: entries sit densely in fixed-size blocks (growing copies nothing), an
// index of positions that keeps each key's hash finds them without reading entries, and an
// entry's outgoing VIFs are an id of a set shared with every entry that has the same ones.
// Order is made only when asked for, for `show kernel`: by source, then group.

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

  std::size_t size() const { return size_; }
  // Adds the entry or replaces the one of its key.
  void entryIs(Entry const& entry);
  // False when no entry has the key.
  bool entryDel(Address const& source, Address const& group);
  // Every entry as `show kernel` lists them: by source, then group.
  std::vector<NamespaceSnapshot::Mfc> sorted(Plix::AddressFamily af) const;
  // Distinct outgoing sets the entries hold.
  std::size_t vifSets() const { return oifSets_.size(); }

 private:
  struct Record {
    Address source;
    Address group;
    std::uint16_t iif;
    std::uint32_t oifs;  // an id of oifSets_
  };
  static constexpr std::size_t blockShift = 12;
  static constexpr std::size_t blockSize = std::size_t{1} << blockShift;

  static std::size_t hashOf(Address const& source, Address const& group);
  Record& at(std::size_t position) { return blocks_[position >> blockShift][position & (blockSize - 1)]; }
  Record const& at(std::size_t position) const {
    return blocks_[position >> blockShift][position & (blockSize - 1)];
  }

  std::vector<std::unique_ptr<Record[]>> blocks_;
  std::size_t size_ = 0;
  Quib::HashedPositionIndex index_;
  VifSetPool oifSets_;
};

}  // namespace Kernel
