#include "kernel/MfcStore.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "quib/Prefetch.h"

namespace Kernel {

namespace {

std::uint64_t wordAt(MfcStore::Address const& a, std::size_t i) {
  std::uint64_t w;
  std::memcpy(&w, a.data() + 8 * i, sizeof w);
  return w;
}

}  // namespace

// Each word's product stands alone, so the multiplications overlap rather than wait for
// one another; keys differing in one word never collide, as the factors are odd.
std::size_t MfcStore::hashOf(Address const& source, Address const& group) {
  std::uint64_t const h = wordAt(source, 0) * 0x9e3779b97f4a7c15ull + wordAt(source, 1) * 0xc2b2ae3d27d4eb4full +
                          wordAt(group, 0) * 0x165667b19e3779f9ull + wordAt(group, 1) * 0xd6e8feb86659fd93ull;
  return static_cast<std::size_t>(Quib::PositionIndex::mix(h));
}

void MfcStore::entryIs(Entry const& entry) {
  if (pending_.empty()) pending_.reserve(pendingMost);
  pending_.push_back({.source = entry.source,
                      .group = entry.group,
                      .hash = static_cast<std::uint32_t>(hashOf(entry.source, entry.group)),
                      .oifs = oifSets_.held(entry.oifs),
                      .iif = entry.iif});
  if (pending_.size() == pendingMost) apply();
}

void MfcStore::apply() {
  // How far ahead of the add being applied its index slot, then a record its hash points
  // at (for a replace), start loading: far enough for the loads to overlap, near enough
  // that they are still cached when needed.
  constexpr std::size_t slotAhead = 16, recordAhead = 8;
  std::size_t const n = pending_.size();
  index_.roomIs(size_ + 1);
  for (std::size_t i = 0; i < n + slotAhead; ++i) {
    if (i < n) index_.prefetch(pending_[i].hash);
    if (std::size_t const r = i - (slotAhead - recordAhead); i >= slotAhead - recordAhead && r < n) {
      std::uint32_t const p = index_.candidate(pending_[r].hash);
      if (p != Quib::HashedPositionIndex::none) Quib::prefetch(&at(p));
    }
    if (i >= slotAhead) applied(pending_[i - slotAhead]);
  }
  pending_.clear();
}

void MfcStore::applied(Pending const& add) {
  index_.roomIs(size_ + 1);
  std::size_t const slot = index_.slot(add.hash, [&](std::uint32_t p) {
    Record const& r = at(p);
    return r.source == add.source && r.group == add.group;
  });
  if (std::uint32_t const p = index_.at(slot); p != Quib::HashedPositionIndex::none) {
    Record& r = at(p);
    oifSets_.released(r.oifs);
    r.iif = add.iif;
    r.oifs = add.oifs;
    return;
  }
  if (size_ == blocks_.size() * blockSize) blocks_.push_back(std::make_unique_for_overwrite<Record[]>(blockSize));
  at(size_) = {.source = add.source, .group = add.group, .iif = add.iif, .oifs = add.oifs};
  index_.atIs(slot, static_cast<std::uint32_t>(size_), add.hash);
  ++size_;
}

bool MfcStore::entryDel(Address const& source, Address const& group) {
  settle();
  if (size_ == 0) return false;
  std::size_t const slot = index_.slot(hashOf(source, group), [&](std::uint32_t p) {
    Record const& r = at(p);
    return r.source == source && r.group == group;
  });
  std::uint32_t const gone = index_.at(slot);
  if (gone == Quib::HashedPositionIndex::none) return false;
  oifSets_.released(at(gone).oifs);
  index_.slotDel(slot);
  auto const last = static_cast<std::uint32_t>(--size_);
  if (gone != last) {
    // The last entry fills the gap, and its slot follows it.
    Record const& moved = at(last);
    std::size_t const hash = hashOf(moved.source, moved.group);
    index_.atIs(index_.slot(hash, [last](std::uint32_t p) { return p == last; }), gone, hash);
    at(gone) = moved;
  }
  // One spare block stays, so that churn at a block's edge does not allocate every time.
  if (blocks_.size() * blockSize >= size_ + 2 * blockSize) blocks_.pop_back();
  return true;
}

std::vector<NamespaceSnapshot::Mfc> MfcStore::sorted(Plix::AddressFamily af) const {
  settle();
  // Each entry's addresses as big-endian words, so that comparing integers orders them as
  // their bytes; sorting these small values in place is several times faster than sorting
  // pointers to records compared byte by byte (the audit reads a million entries back).
  struct Ordered {
    std::uint64_t source[2], group[2];
    std::uint32_t position;
    bool operator<(Ordered const& o) const {
      return std::tie(source[0], source[1], group[0], group[1]) <
             std::tie(o.source[0], o.source[1], o.group[0], o.group[1]);
    }
  };
  auto bigEndian = [](Address const& a, std::size_t i) { return __builtin_bswap64(wordAt(a, i)); };
  std::vector<Ordered> order(size_);
  for (std::size_t p = 0; p < size_; ++p) {
    Record const& r = at(p);
    order[p] = {.source = {bigEndian(r.source, 0), bigEndian(r.source, 1)},
                .group = {bigEndian(r.group, 0), bigEndian(r.group, 1)},
                .position = static_cast<std::uint32_t>(p)};
  }
  std::sort(order.begin(), order.end());
  std::vector<NamespaceSnapshot::Mfc> result;
  result.reserve(order.size());
  for (Ordered const& o : order) {
    Record const& r = at(o.position);
    result.push_back({.af = af, .source = r.source, .group = r.group, .iif = r.iif, .oifs = oifSets_.at(r.oifs).indices()});
  }
  return result;
}

}  // namespace Kernel
