#include "halm/Route.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace Halm::Multicast::Fib {

Quib::Ptr<Route::IntfList const> Route::IntfList::listOf(std::span<Intf const> intfs) {
  if (intfs.empty()) return {};
  if (intfs.size() > 0xffff) throw std::invalid_argument("a route with more than 65535 interfaces");
  void* const memory = ::operator new(sizeof(IntfList) + intfs.size() * sizeof(Plix::IntfId));
  auto* const list = new (memory) IntfList(static_cast<std::uint16_t>(intfs.size()), intfs[0].bits);
  auto* const ids = reinterpret_cast<Plix::IntfId*>(list + 1);
  for (std::size_t i = 0; i < intfs.size(); ++i) new (ids + i) Plix::IntfId(intfs[i].intfId);
  return Quib::Ptr<IntfList const>(list);
}

Plix::IntfId const* Route::IntfList::ids() const {
  return std::launder(reinterpret_cast<Plix::IntfId const*>(this + 1));
}

void Route::IntfList::deleteRef() const {
  if (--references_ != 0) return;
  this->~IntfList();
  ::operator delete(const_cast<IntfList*>(this));
}

bool operator==(Route::IntfList const& a, Route::IntfList const& b) {
  return a.size_ == b.size_ && a.firstBits_ == b.firstBits_ && std::equal(a.ids(), a.ids() + a.size_, b.ids());
}

static_assert(sizeof(Route::IntfList) % alignof(Plix::IntfId) == 0);

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
  intfs_ = IntfList::listOf(list);
}

Route::Route(IpGenRouteKey const& key, std::uint8_t flags, Quib::Ptr<IntfList const> intfs)
    : key_(key), flags_(flags), intfs_(std::move(intfs)) {
  if (intfs_ && ((*intfs_)[0].bits & isIif)) iif_ = (*intfs_)[0].intfId;
}

Route const& Route::emptyRoute() {
  static Route const empty;
  return empty;
}

bool operator==(Route const& a, Route const& b) {
  if (a.key_ != b.key_ || a.iif_ != b.iif_ || a.flags_ != b.flags_) return false;
  if (a.intfs_ == b.intfs_) return true;
  return a.intfs_ && b.intfs_ && *a.intfs_ == *b.intfs_;
}

std::ostream& operator<<(std::ostream& os, Route const& r) {
  os << r.key_ << " iif " << (r.iif_.empty() ? std::string("-") : r.iif_.name()) << " oifs";
  bool any = false;
  auto const intfs = r.intfs();
  for (std::size_t i = 0; i < intfs.size(); ++i) {
    if (!(intfs[i].bits & Route::isOif)) continue;
    os << (any ? "," : " ") << intfs[i].intfId;
    any = true;
  }
  if (!any) os << " -";
  return os << " flags 0x" << std::hex << static_cast<unsigned>(r.flags_) << std::dec;
}

}  // namespace Halm::Multicast::Fib
