#include "kernel/MfcStore.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Kernel {

namespace {

std::uint64_t wordAt(MfcStore::Address const& a, std::size_t i) {
  std::uint64_t w;
  std::memcpy(&w, a.data() + 8 * i, sizeof w);
  return w;
}

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

}  // namespace

std::vector<std::uint16_t> MfcStore::VifSet::indices() const {
  std::vector<std::uint16_t> result;
  for (std::size_t i = 0; i < words; ++i) {
    for (std::uint64_t w = bits_[i]; w; w &= w - 1) {
      result.push_back(static_cast<std::uint16_t>(64 * i + static_cast<std::size_t>(std::countr_zero(w))));
    }
  }
  return result;
}

std::size_t MfcStore::hashOf(Address const& source, Address const& group) {
  std::uint64_t h = mix(wordAt(source, 0) ^ 0x9e3779b97f4a7c15ull) ^ wordAt(source, 1);
  h = mix(h ^ wordAt(group, 0)) ^ wordAt(group, 1);
  return static_cast<std::size_t>(mix(h));
}

std::size_t MfcStore::hashAt(std::uint32_t position) const {
  return hashOf(entries_[position].source, entries_[position].group);
}

std::size_t MfcStore::slotOf(Address const& source, Address const& group) const {
  return index_.slot(hashOf(source, group), [&](std::uint32_t p) {
    return entries_[p].source == source && entries_[p].group == group;
  });
}

void MfcStore::entryIs(Entry const& entry) {
  index_.roomIs(entries_.size() + 1, static_cast<std::uint32_t>(entries_.size()),
                [this](std::uint32_t p) { return hashAt(p); }, [](std::uint32_t) { return true; });
  std::size_t const slot = slotOf(entry.source, entry.group);
  if (index_.at(slot) != Quib::PositionIndex::none) {
    entries_[index_.at(slot)] = entry;
    return;
  }
  index_.atIs(slot, static_cast<std::uint32_t>(entries_.size()));
  entries_.push_back(entry);
}

bool MfcStore::entryDel(Address const& source, Address const& group) {
  if (entries_.empty()) return false;
  std::size_t const slot = slotOf(source, group);
  std::uint32_t const at = index_.at(slot);
  if (at == Quib::PositionIndex::none) return false;
  index_.slotDel(slot, [this](std::uint32_t p) { return hashAt(p); });
  auto const last = static_cast<std::uint32_t>(entries_.size() - 1);
  if (at != last) {
    // The last entry fills the gap, and its slot follows it.
    index_.atIs(slotOf(entries_[last].source, entries_[last].group), at);
    entries_[at] = entries_[last];
  }
  entries_.pop_back();
  return true;
}

std::vector<NamespaceSnapshot::Mfc> MfcStore::sorted(Plix::AddressFamily af) const {
  std::vector<Entry const*> order;
  order.reserve(entries_.size());
  for (Entry const& e : entries_) order.push_back(&e);
  std::sort(order.begin(), order.end(), [](Entry const* a, Entry const* b) {
    if (a->source != b->source) return a->source < b->source;
    return a->group < b->group;
  });
  std::vector<NamespaceSnapshot::Mfc> result;
  result.reserve(order.size());
  for (Entry const* e : order) {
    result.push_back({.af = af, .source = e->source, .group = e->group, .iif = e->iif, .oifs = e->oifs.indices()});
  }
  return result;
}

}  // namespace Kernel
