#include "halm/Status.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "quib/Prefetch.h"

namespace Halm::Multicast::Fib {

namespace {

constexpr std::uint32_t none = Quib::HashedPositionIndex::none;

std::uint32_t nextTableId() {
  static std::uint32_t next = 0;
  return ++next;
}

std::uint64_t prefixHash(std::uint64_t h, Plix::IpGenPrefix const& p) {
  std::uint64_t w[2];
  std::memcpy(w, p.address().data(), sizeof w);
  return Quib::HashedPositionIndex::mix(h ^ w[0] ^ (std::uint64_t{p.len()} << 56)) ^ w[1];
}

// An IPv4 key as two integers that compare as the key does; the position rides in the
// low half of `low`, below the source address.
struct Keyed4 {
  std::uint64_t high, low;
};

// An IPv6 key as bytes that compare as the key does, and its position.
struct Keyed6 {
  std::array<std::uint8_t, 36> bytes;
  std::uint32_t position;
};

// Byte `d` of a key's 96 bits, 0 the least significant: the source address's four bytes,
// then the eight of `high`.
unsigned digitOf(Keyed4 const& k, unsigned d) {
  return static_cast<unsigned>(d < 4 ? k.low >> (32 + 8 * d) : k.high >> (8 * (d - 4))) & 0xff;
}

// Keys are distinct, so any sort gives the one order. A comparison sort of a million keys
// costs twenty passes of branchy comparisons; sorting byte by byte from the least
// significant costs one counting pass and one stable pass per byte in which keys differ,
// and the bytes of the family, the lengths and the common leading bytes of addresses
// mostly do not.
void sort4(std::vector<Keyed4>& keys) {
  constexpr unsigned digits = 12;
  if (keys.size() < 256) {
    std::sort(keys.begin(), keys.end(),
              [](Keyed4 const& a, Keyed4 const& b) { return a.high != b.high ? a.high < b.high : a.low < b.low; });
    return;
  }
  std::vector<std::array<std::size_t, 256>> counts(digits);
  for (auto& c : counts) c.fill(0);
  for (auto const& k : keys) {
    for (unsigned d = 0; d < digits; ++d) ++counts[d][digitOf(k, d)];
  }
  std::vector<Keyed4> spare(keys.size());
  for (unsigned d = 0; d < digits; ++d) {
    auto& c = counts[d];
    if (std::find(c.begin(), c.end(), keys.size()) != c.end()) continue;  // one value for all
    std::size_t at = 0;
    for (auto& n : c) at += std::exchange(n, at);
    for (auto const& k : keys) spare[c[digitOf(k, d)]++] = k;
    keys.swap(spare);
  }
}

}  // namespace

Status::Status(Quib::Name name) : Quib::Entity(std::move(name)), id_(nextTableId()) {}

void Status::preferenceIs(std::uint32_t p) {
  if (p == preference_) return;
  preference_ = p;
  notify(&NotifieeConst::onPreference);
}

std::size_t Status::hashOf(IpGenRouteKey const& key) {
  return static_cast<std::size_t>(Quib::HashedPositionIndex::mix(prefixHash(prefixHash(0x9e3779b97f4a7c15ull, key.source()), key.group())));
}

std::size_t Status::slotOf(IpGenRouteKey const& key, std::size_t hash) const {
  return index_.slot(hash, [&](std::uint32_t p) { return entries_[p].key == key; });
}

std::uint32_t Status::positionOf(IpGenRouteKey const& key, std::size_t hash) const {
  return index_.find(hash, [&](std::uint32_t p) { return entries_[p].key == key; });
}

Route Status::route(IpGenRouteKey const& key) const {
  std::uint32_t const at = positionOf(key);
  if (at == none) return Route::emptyRoute();
  return routeAt(at);
}

std::size_t Status::hashPrefetched(IpGenRouteKey const& key) const {
  std::size_t const hash = hashOf(key);
  index_.prefetch(hash);
  return hash;
}

void Status::entryPrefetched(std::size_t hash) const {
  std::uint32_t const at = index_.candidate(hash);
  if (at == none) return;
  // An entry may straddle two cache lines.
  Quib::prefetch(&entries_[at].key);
  Quib::prefetch(&entries_[at].intfs);
}

std::uint32_t Status::positionPrefetched(IpGenRouteKey const& key, std::size_t hash) const {
  std::uint32_t const at = positionOf(key, hash);
  if (at == none) return none;
  if (Route::IntfList const* intfs = entries_[at].intfs.ptr()) Quib::prefetch(intfs);
  return at;
}

Route Status::routeAt(std::uint32_t position) const {
  if (position == none) return Route::emptyRoute();
  Entry const& e = entries_[position];
  if (!e.live) return Route::emptyRoute();
  return Route(e.key, e.flags, e.intfs);
}

std::uint32_t Status::freePosition() {
  if (!free_.empty()) {
    std::uint32_t const p = free_.back();
    free_.pop_back();
    return p;
  }
  entries_.emplace_back();
  return static_cast<std::uint32_t>(entries_.size() - 1);
}

void Status::routeIs(Route const& route) {
  IpGenRouteKey const& key = route.key();
  index_.roomIs(routes_ + 1);
  std::size_t const hash = hashOf(key);
  std::size_t const slot = slotOf(key, hash);
  std::uint32_t at = index_.at(slot);
  if (at == none) {
    at = freePosition();
    index_.atIs(slot, at, hash);
    entries_[at].key = key;
    entries_[at].live = true;
    added_.push_back(at);
    ++routes_;
  } else if (Route(key, entries_[at].flags, entries_[at].intfs) == route) {
    return;
  }
  entries_[at].flags = route.flags_;
  entries_[at].intfs = route.intfs_;
  notify(&NotifieeConst::onRoute, key);
}

void Status::routeDel(IpGenRouteKey const& key) {
  if (entries_.empty()) return;
  std::size_t const slot = slotOf(key, hashOf(key));
  std::uint32_t const at = index_.at(slot);
  if (at == none) return;
  IpGenRouteKey const gone = key;  // `key` may be the one being removed
  index_.slotDel(slot);
  entries_[at].live = false;
  entries_[at].intfs = nullptr;
  removed_.push_back(at);
  --routes_;
  notify(&NotifieeConst::onRoute, gone);
}

void Status::routeDelAll() {
  auto const from = begin();
  std::vector<IpGenRouteKey> keys(from, end());
  for (auto const& k : keys) routeDel(k);
}

// Sorting positions by the keys they point at reads entries all over the array, a cache
// miss per comparison. Each key is copied out beside its position instead, in a form that
// compares as the keys do (group, then source; each by family, length, then address), so
// the sort works on one contiguous array. An IPv4 key fits two integers; an IPv6 key
// compares as bytes. IPv4 keys sort before IPv6 keys, as their family does.
void Status::sortByKey(std::vector<std::uint32_t>& positions) const {
  auto const address4 = [](Plix::IpGenPrefix const& p) {
    auto const& a = p.address();
    return std::uint64_t{a[0]} << 24 | std::uint64_t{a[1]} << 16 | std::uint64_t{a[2]} << 8 | a[3];
  };
  auto const put6 = [](std::uint8_t* at, Plix::IpGenPrefix const& p) {
    at[0] = static_cast<std::uint8_t>(p.af());
    at[1] = p.len();
    std::memcpy(at + 2, p.address().data(), 16);
  };
  std::vector<Keyed4> v4;
  std::vector<Keyed6> v6;
  v4.reserve(positions.size());
  for (std::uint32_t p : positions) {
    IpGenRouteKey const& k = entries_[p].key;
    if (k.af() != Plix::AddressFamily::ipv6) {
      v4.push_back({std::uint64_t{static_cast<std::uint8_t>(k.af())} << 56 | std::uint64_t{k.group().len()} << 48 |
                        address4(k.group()) << 16 | std::uint64_t{static_cast<std::uint8_t>(k.source().af())} << 8 |
                        k.source().len(),
                    address4(k.source()) << 32 | p});
      continue;
    }
    Keyed6& e = v6.emplace_back();
    put6(e.bytes.data(), k.group());
    put6(e.bytes.data() + 18, k.source());
    e.position = p;
  }
  sort4(v4);
  std::sort(v6.begin(), v6.end(), [](Keyed6 const& a, Keyed6 const& b) {
    return std::memcmp(a.bytes.data(), b.bytes.data(), a.bytes.size()) < 0;
  });
  std::size_t i = 0;
  for (auto const& e : v4) positions[i++] = static_cast<std::uint32_t>(e.low);
  for (auto const& e : v6) positions[i++] = e.position;
}

// A few changes cost a binary search each and one pass of copying; many changes, one sort
// of everything, which is cheaper than searching for each.
void Status::settle() const {
  if (added_.empty() && removed_.empty()) return;
  auto const before = [this](std::uint32_t p, IpGenRouteKey const& k) { return entries_[p].key < k; };
  bool const many = 16 * (added_.size() + removed_.size()) > order_.size();
  if (many) {
    std::erase_if(order_, [this](std::uint32_t p) { return !entries_[p].live; });
    std::erase_if(added_, [this](std::uint32_t p) { return !entries_[p].live; });
    order_.insert(order_.end(), added_.begin(), added_.end());
    sortByKey(order_);
  } else {
    // A removed entry keeps its key until its position is reused, so it can be found.
    std::vector<std::size_t> gone;
    for (std::uint32_t p : removed_) {
      auto const at = std::lower_bound(order_.begin(), order_.end(), entries_[p].key, before);
      if (at != order_.end() && *at == p) gone.push_back(static_cast<std::size_t>(at - order_.begin()));
    }
    for (std::size_t i : gone) order_[i] = none;
    std::erase(order_, none);
    std::erase_if(added_, [this](std::uint32_t p) { return !entries_[p].live; });
    sortByKey(added_);
    std::vector<std::uint32_t> merged;
    merged.reserve(order_.size() + added_.size());
    auto from = order_.begin();
    for (std::uint32_t p : added_) {
      auto const at = std::lower_bound(from, order_.end(), entries_[p].key, before);
      merged.insert(merged.end(), from, at);
      merged.push_back(p);
      from = at;
    }
    merged.insert(merged.end(), from, order_.end());
    order_.swap(merged);
  }
  // The removed positions have left the order and may take new keys.
  free_.insert(free_.end(), removed_.begin(), removed_.end());
  removed_.clear();
  // A fill of a million keys leaves a big change list behind; its memory goes with it.
  if (added_.capacity() > 4096) added_ = {};
  added_.clear();
}

Status::const_iterator Status::begin() const {
  settle();
  return {this, 0};
}

// Past whatever the order holds when compared, so an end taken before a walk folds
// changes in is still the end after. It folds nothing in itself: a walk that meets a
// change goes on over the order it began with, removed keys still in place.
Status::const_iterator Status::end() const { return {this, std::numeric_limits<std::size_t>::max()}; }

Status::const_iterator Status::lowerBound(IpGenRouteKey const& key) const {
  settle();
  auto const at = std::lower_bound(order_.begin(), order_.end(), key,
                                   [this](std::uint32_t p, IpGenRouteKey const& k) { return entries_[p].key < k; });
  return {this, static_cast<std::size_t>(at - order_.begin())};
}

bool Status::isPreferredTo(Status const& other) const {
  if (preference_ != other.preference_) return preference_ < other.preference_;
  return name() < other.name();
}

}  // namespace Halm::Multicast::Fib
