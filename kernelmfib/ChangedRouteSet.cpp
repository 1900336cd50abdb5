#include "kernelmfib/ChangedRouteSet.h"

#include <endian.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace Routing::KernelMfib {

namespace {

// An IPv4 prefix holds its address in the first four bytes and zeros after them.
bool packedAddress(Plix::IpGenPrefix const& p, std::uint32_t& out) {
  if (p.af() != Plix::AddressFamily::ipv4) return false;
  std::uint32_t words[4];
  std::memcpy(words, p.address().data(), sizeof words);
  if (words[1] | words[2] | words[3]) return false;
  out = be32toh(words[0]);
  return true;
}

Plix::IpGenPrefix unpackedAddress(std::uint32_t address, std::uint8_t len) {
  Plix::IpGenPrefix::Bytes b{};
  std::uint32_t const word = htobe32(address);
  std::memcpy(b.data(), &word, sizeof word);
  // Packed from a valid prefix, so valid again.
  return Plix::IpGenPrefix::unchecked(Plix::AddressFamily::ipv4, b, len);
}

}  // namespace

bool ChangedRouteSet::packed(RouteKey const& key, PackedKey& out) {
  out.groupLen = key.group().len();
  out.sourceLen = key.source().len();
  return packedAddress(key.group(), out.group) && packedAddress(key.source(), out.source);
}

ChangedRouteSet::RouteKey ChangedRouteSet::unpacked(PackedKey const& key) {
  return RouteKey::unchecked(unpackedAddress(key.source, key.sourceLen), unpackedAddress(key.group, key.groupLen));
}

bool ChangedRouteSet::before(TableKeys const& t, TableKey const& k) {
  if (t.id != k.tableId()) return t.id < k.tableId();
  return std::less<Table const*>()(t.table.ptr(), k.table());
}

std::vector<ChangedRouteSet::TableKeys>::iterator ChangedRouteSet::place(TableKey const& k) {
  return std::lower_bound(tables_.begin(), tables_.end(), k, before);
}

std::vector<ChangedRouteSet::TableKeys>::const_iterator ChangedRouteSet::place(TableKey const& k) const {
  return std::lower_bound(tables_.begin(), tables_.end(), k, before);
}

void ChangedRouteSet::insert(TableKey const& k) {
  ++changes_;
  first_ = First::unknown;
  auto it = place(k);
  if (it == tables_.end() || !holds(*it, k)) it = tables_.insert(it, TableKeys{k.table(), k.tableId(), {}, {}});
  PackedKey p;
  if (packed(k.key(), p)) return it->v4.insert(p);
  it->other.insert(k.key());
}

void ChangedRouteSet::erase(TableKey const& k) {
  // The review erases what it has just taken, from the first table.
  auto const it = !tables_.empty() && holds(tables_.front(), k) ? tables_.begin() : place(k);
  if (it == tables_.end() || !holds(*it, k)) return;
  ++changes_;
  first_ = First::unknown;
  PackedKey p;
  if (packed(k.key(), p)) {
    it->v4.erase(p);
  } else {
    it->other.erase(k.key());
  }
  if (it->empty()) tables_.erase(it);
}

bool ChangedRouteSet::contains(TableKey const& k) const {
  auto const it = place(k);
  if (it == tables_.end() || !holds(*it, k)) return false;
  PackedKey p;
  if (packed(k.key(), p)) return it->v4.contains(p);
  return it->other.contains(k.key());
}

bool ChangedRouteSet::v4First(TableKeys const& t) {
  if (t.v4.empty()) return false;
  return t.other.empty() || unpacked(t.v4.front()) < t.other.front();
}

bool ChangedRouteSet::firstInV4() const {
  if (first_ == First::unknown) first_ = v4First(tables_.front()) ? First::v4 : First::other;
  return first_ == First::v4;
}

ChangedRouteSet::TableKey ChangedRouteSet::front() const {
  TableKeys const& first = tables_.front();
  if (firstInV4()) return TableKey(first.table.ptr(), unpacked(first.v4.front()));
  return TableKey(first.table.ptr(), first.other.front());
}

void ChangedRouteSet::popFront() {
  TableKeys& first = tables_.front();
  // A table of one kind of keys needs no comparison of the two.
  if (first.other.empty() || (!first.v4.empty() && firstInV4())) {
    first.v4.popFront();
  } else {
    first.other.popFront();
  }
  first_ = First::unknown;
  if (first.empty()) tables_.erase(tables_.begin());
}

std::size_t ChangedRouteSet::frontKeys(std::span<RouteKey> keys) const {
  TableKeys const& first = tables_.front();
  std::size_t n = 0;
  if (first.other.empty()) return first.v4.forFirst(keys.size(), [&](PackedKey const& k) { keys[n++] = unpacked(k); });
  if (first.v4.empty()) return first.other.forFirst(keys.size(), [&](RouteKey const& k) { keys[n++] = k; });
  // Both kinds, rare: one at a time.
  keys[0] = front().key();
  return 1;
}

std::size_t ChangedRouteSet::size() const {
  std::size_t n = 0;
  for (auto const& t : tables_) n += t.v4.size() + t.other.size();
  return n;
}

}  // namespace Routing::KernelMfib
