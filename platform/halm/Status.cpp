#include "halm/Status.h"

#include <algorithm>
#include <cstring>

namespace Halm::Multicast::Fib {

namespace {

std::uint32_t nextTableId() {
  static std::uint32_t next = 0;
  return ++next;
}

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

std::uint64_t prefixHash(std::uint64_t h, Plix::IpGenPrefix const& p) {
  std::uint64_t w[2];
  std::memcpy(w, p.address().data(), sizeof w);
  return mix(h ^ w[0] ^ (std::uint64_t{p.len()} << 56)) ^ w[1];
}

}  // namespace

Status::Status(Quib::Name name) : Quib::Entity(std::move(name)), id_(nextTableId()) {}

void Status::preferenceIs(std::uint32_t p) {
  if (p == preference_) return;
  preference_ = p;
  notify(&NotifieeConst::onPreference);
}

std::size_t Status::hashOf(IpGenRouteKey const& key) {
  return static_cast<std::size_t>(mix(prefixHash(prefixHash(0x9e3779b97f4a7c15ull, key.source()), key.group())));
}

std::size_t Status::slotOf(IpGenRouteKey const& key) const {
  return index_.slot(hashOf(key), [&](std::uint32_t p) { return entries_[p].key == key; });
}

std::uint32_t Status::positionOf(IpGenRouteKey const& key) const {
  return index_.find(hashOf(key), [&](std::uint32_t p) { return entries_[p].key == key; });
}

Route Status::route(IpGenRouteKey const& key) const {
  std::uint32_t const at = positionOf(key);
  if (at == Quib::PositionIndex::none) return Route::emptyRoute();
  Entry const& e = entries_[at];
  return Route(key, e.flags, e.intfs);
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
  index_.roomIs(routes_ + 1, static_cast<std::uint32_t>(entries_.size()),
                [this](std::uint32_t p) { return hashOf(entries_[p].key); },
                [this](std::uint32_t p) { return entries_[p].live; });
  std::size_t const slot = slotOf(key);
  std::uint32_t at = index_.at(slot);
  if (at == Quib::PositionIndex::none) {
    at = freePosition();
    index_.atIs(slot, at);
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
  std::size_t const slot = slotOf(key);
  std::uint32_t const at = index_.at(slot);
  if (at == Quib::PositionIndex::none) return;
  IpGenRouteKey const gone = key;  // `key` may be the one being removed
  index_.slotDel(slot, [this](std::uint32_t p) { return hashOf(entries_[p].key); });
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

void Status::settle() const {
  if (added_.empty() && removed_.empty()) return;
  auto const dead = [this](std::uint32_t p) { return !entries_[p].live; };
  auto const byKey = [this](std::uint32_t a, std::uint32_t b) { return entries_[a].key < entries_[b].key; };
  if (!removed_.empty()) {
    std::erase_if(order_, dead);
    std::erase_if(added_, dead);
    // Dropped from the order, the positions may now take new keys.
    free_.insert(free_.end(), removed_.begin(), removed_.end());
    removed_.clear();
  }
  std::sort(added_.begin(), added_.end(), byKey);
  auto const middle = static_cast<std::ptrdiff_t>(order_.size());
  order_.insert(order_.end(), added_.begin(), added_.end());
  std::inplace_merge(order_.begin(), order_.begin() + middle, order_.end(), byKey);
  // A fill of a million keys leaves a big change list behind; its memory goes with it.
  if (added_.capacity() > 4096) added_ = {};
  added_.clear();
}

Status::const_iterator Status::begin() const {
  settle();
  return {this, 0};
}

// Does not fold changes in: a walk that meets a change goes on over the order it began
// with, removed keys still in place.
Status::const_iterator Status::end() const { return {this, order_.size()}; }

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
