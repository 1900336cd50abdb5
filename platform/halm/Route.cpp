#include "halm/Route.h"

#include <algorithm>

namespace Halm::Multicast::Fib {

Route::Route(IpGenRouteKey const& key, Plix::IntfId iif, std::vector<Plix::IntfId> const& oifs, std::uint8_t flags)
    : key_(key), iif_(iif), flags_(flags) {
  std::vector<Intf> list;
  list.reserve(oifs.size() + 1);
  if (!iif.empty()) list.push_back({iif, isIif});
  for (auto oif : oifs) {
    auto same = std::find_if(list.begin(), list.end(), [&](Intf const& i) { return i.intfId == oif; });
    if (same != list.end()) {
      same->bits |= isOif;
      continue;
    }
    list.push_back({oif, isOif});
  }
  if (!list.empty()) intfs_ = Quib::make<IntfList>(std::move(list));
}

Route const& Route::emptyRoute() {
  static Route const empty;
  return empty;
}

std::vector<Route::Intf> const& Route::intfs() const {
  static std::vector<Intf> const none;
  return intfs_ ? intfs_->intfs() : none;
}

bool operator==(Route const& a, Route const& b) {
  return a.key_ == b.key_ && a.iif_ == b.iif_ && a.flags_ == b.flags_ &&
         (a.intfs_ == b.intfs_ || a.intfs() == b.intfs());
}

std::ostream& operator<<(std::ostream& os, Route const& r) {
  os << r.key_ << " iif " << (r.iif_.empty() ? std::string("-") : r.iif_.name()) << " oifs";
  bool any = false;
  for (auto const& i : r.intfs()) {
    if (!(i.bits & Route::isOif)) continue;
    os << (any ? "," : " ") << i.intfId;
    any = true;
  }
  if (!any) os << " -";
  return os << " flags 0x" << std::hex << static_cast<unsigned>(r.flags_) << std::dec;
}

}  // namespace Halm::Multicast::Fib
