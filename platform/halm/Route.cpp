#include "halm/Route.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace Halm::Multicast::Fib {

// Built in place, with room for every interface given: repeats are rare, and a list built
// elsewhere first would cost a second allocation per route.
Quib::Ptr<Route::IntfList const> Route::IntfList::listOf(Plix::IntfId iif, std::span<Plix::IntfId const> oifs) {
  std::size_t const room = oifs.size() + (iif.empty() ? 0 : 1);
  if (room == 0) return {};
  if (room > 0xffff) throw std::invalid_argument("a route with more than 65535 interfaces");
  void* const memory = ::operator new(sizeof(IntfList) + room * sizeof(Plix::IntfId));
  auto* const list = new (memory) IntfList(0, iif.empty() ? isOif : isIif);
  Plix::IntfId* const ids = list->ids();
  if (!iif.empty()) new (ids + list->size_++) Plix::IntfId(iif);
  for (Plix::IntfId oif : oifs) {
    Plix::IntfId* const end = ids + list->size_;
    Plix::IntfId* const same = std::find(ids, end, oif);
    if (same == ids && !iif.empty()) list->firstBits_ |= isOif;
    if (same != end) continue;
    new (ids + list->size_++) Plix::IntfId(oif);
  }
  return Quib::Ptr<IntfList const>(list);
}

Plix::IntfId const* Route::IntfList::ids() const {
  return std::launder(reinterpret_cast<Plix::IntfId const*>(this + 1));
}

Plix::IntfId* Route::IntfList::ids() { return std::launder(reinterpret_cast<Plix::IntfId*>(this + 1)); }

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
    : key_(key), iif_(iif), flags_(flags), intfs_(IntfList::listOf(iif, oifs)) {}

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
