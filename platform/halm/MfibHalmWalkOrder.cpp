#include "halm/MfibHalmWalkOrder.h"

#include <algorithm>

namespace Halm::Multicast::Fib {

void MfibHalmWalkOrder::start(MfibHalmColl const& coll) {
  order_.clear();
  for (auto const& t : coll.orderedTables()) order_.push_back({t.ptr(), t->id()});
}

Quib::Ptr<Status const> MfibHalmWalkOrder::present(MfibHalmColl const& coll, Entry const& e) {
  auto t = coll.halmPtr(e.table);
  if (!t || t->id() != e.id) return {};
  return t;
}

std::vector<Quib::Ptr<Status const>> MfibHalmWalkOrder::tablesFrom(MfibHalmColl const& coll, Status const* table,
                                                                   std::uint32_t tableId) {
  for (auto const& t : coll.orderedTables()) {
    auto const known = std::any_of(order_.begin(), order_.end(),
                                   [&](Entry const& e) { return e.table == t.ptr() && e.id == t->id(); });
    if (!known) order_.push_back({t.ptr(), t->id()});
  }
  auto from = order_.begin();
  if (table) {
    from = std::find_if(order_.begin(), order_.end(), [&](Entry const& e) { return e.table == table && e.id == tableId; });
  }
  std::vector<Quib::Ptr<Status const>> tables;
  for (auto it = from; it != order_.end(); ++it) {
    auto t = present(coll, *it);
    if (!t) continue;
    t->settle();
    tables.push_back(std::move(t));
  }
  return tables;
}

}  // namespace Halm::Multicast::Fib
