#include "halm/Status.h"

namespace Halm::Multicast::Fib {

namespace {

std::uint32_t nextTableId() {
  static std::uint32_t next = 0;
  return ++next;
}

}  // namespace

Status::Status(Quib::Name name) : Quib::Entity(std::move(name)), id_(nextTableId()) {}

void Status::preferenceIs(std::uint32_t p) {
  if (p == preference_) return;
  preference_ = p;
  notify(&NotifieeConst::onPreference);
}

Route Status::route(IpGenRouteKey const& key) const {
  auto it = routes_.find(key);
  if (it == routes_.end()) return Route::emptyRoute();
  return Route(key, it->second.iif, it->second.flags, it->second.intfs);
}

void Status::routeIs(Route const& route) {
  IpGenRouteKey const& key = route.key();
  auto [it, added] = routes_.try_emplace(key);
  Data& d = it->second;
  if (added) {
    order_.insert(&it->first);
  } else if (Route(key, d.iif, d.flags, d.intfs) == route) {
    return;
  }
  d = Data{route.iif_, route.flags_, route.intfs_};
  notify(&NotifieeConst::onRoute, key);
}

void Status::routeDel(IpGenRouteKey const& key) {
  auto it = routes_.find(key);
  if (it == routes_.end()) return;
  IpGenRouteKey const gone = key;  // `key` may be the one being erased
  order_.erase(&it->first);
  routes_.erase(it);
  notify(&NotifieeConst::onRoute, gone);
}

void Status::routeDelAll() {
  while (!order_.empty()) routeDel(**order_.begin());
}

bool Status::isPreferredTo(Status const& other) const {
  if (preference_ != other.preference_) return preference_ < other.preference_;
  return name() < other.name();
}

}  // namespace Halm::Multicast::Fib
