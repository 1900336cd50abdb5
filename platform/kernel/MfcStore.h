#pragma once
// The MFC entries of one family's multicast routing in the simulated kernel, keyed by
// (source, group). A million entries arrive at the rate the agent can send them, so the
// store is flat: entries sit densely in one array, a hash index of positions finds them,
// and each entry's outgoing VIFs are a fixed set of bits rather than a list. Order is made
// only when asked for, for `show kernel`: by source, then group.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/MrtFamily.h"
#include "kernel/NamespaceSnapshot.h"
#include "quib/PositionIndex.h"

namespace Kernel {

class MfcStore {
 public:
  using Address = NamespaceSnapshot::Address;

  // One bit per VIF index of the kernel's table.
  class VifSet {
   public:
    static constexpr std::size_t words = maxVifs / 64;
    void set(std::uint16_t vif) { bits_[vif / 64] |= std::uint64_t{1} << (vif % 64); }
    void reset(std::uint16_t vif) { bits_[vif / 64] &= ~(std::uint64_t{1} << (vif % 64)); }
    std::uint64_t word(std::size_t i) const { return bits_[i]; }
    void wordIs(std::size_t i, std::uint64_t w) { bits_[i] = w; }
    // Ascending.
    std::vector<std::uint16_t> indices() const;

   private:
    std::array<std::uint64_t, words> bits_{};
  };

  struct Entry {
    Address source;
    Address group;
    std::uint16_t iif = 0;
    VifSet oifs;
  };

  std::size_t size() const { return entries_.size(); }
  // Adds the entry or replaces the one of its key.
  void entryIs(Entry const& entry);
  // False when no entry has the key.
  bool entryDel(Address const& source, Address const& group);
  // Every entry as `show kernel` lists them: by source, then group.
  std::vector<NamespaceSnapshot::Mfc> sorted(Plix::AddressFamily af) const;

 private:
  static std::size_t hashOf(Address const& source, Address const& group);
  std::size_t hashAt(std::uint32_t position) const;
  std::size_t slotOf(Address const& source, Address const& group) const;

  std::vector<Entry> entries_;
  Quib::PositionIndex index_;
};

}  // namespace Kernel
