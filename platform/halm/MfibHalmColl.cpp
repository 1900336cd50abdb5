#include "halm/MfibHalmColl.h"

#include <algorithm>

namespace Halm::Multicast::Fib {

Quib::Ptr<Status const> MfibHalmColl::halmPtr(Status const* table) const {
  auto const at = find(table);
  return at != tables_.end() ? *at : Quib::Ptr<Status const>();
}

void MfibHalmColl::halmPtrIs(Quib::Ptr<Status const> const& table) {
  if (!table || halmPtr(table.ptr())) return;
  tables_.push_back(table);
  notify(&NotifieeConst::onHalmPtr, table.ptr());
}

void MfibHalmColl::halmPtrDel(Status const* table) {
  auto const it = find(table);
  if (it == tables_.end()) return;
  Quib::Ptr<Status const> gone = *it;  // alive while reactors hear of it
  tables_.erase(it);
  notify(&NotifieeConst::onHalmPtr, table);
}

std::vector<Quib::Ptr<Status const>> MfibHalmColl::orderedTables() const {
  auto ordered = tables_;
  std::sort(ordered.begin(), ordered.end(), [](auto const& a, auto const& b) { return a->isPreferredTo(*b); });
  return ordered;
}

// Asked twice for every key programmed, of a VRF's few tables: a plain loop, which for one
// or two tables costs a third of the unrolled search.
MfibHalmColl::Tables::const_iterator MfibHalmColl::find(Status const* table) const {
  auto it = tables_.begin();
  while (it != tables_.end() && it->ptr() != table) ++it;
  return it;
}

bool MfibHalmColl::isBestRoute(Status const* table, IpGenRouteKey const& key) const {
  auto const at = find(table);
  return at != tables_.end() && table->hasRoute(key) && noneBeats(at, key);
}

bool MfibHalmColl::isBestHeldRoute(Status const* table, IpGenRouteKey const& key) const {
  auto const at = find(table);
  return at != tables_.end() && noneBeats(at, key);
}

// The walk asks this of every key it visits, so only the tables that could beat the one at
// `at` are looked in: those ranked before it, and among equals those added before it, as in
// mfibHalm. For the best-ranked table that is no other table at all.
bool MfibHalmColl::noneBeats(Tables::const_iterator at, IpGenRouteKey const& key) const {
  Status const& table = **at;
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (it == at) continue;
    bool const beats = it < at ? !table.isPreferredTo(**it) : (*it)->isPreferredTo(table);
    if (beats && (*it)->hasRoute(key)) return false;
  }
  return true;
}

Quib::Ptr<Status const> MfibHalmColl::mfibHalm(IpGenRouteKey const& key) const {
  Quib::Ptr<Status const> best;
  for (auto const& t : tables_) {
    if (!t->hasRoute(key)) continue;
    if (!best || t->isPreferredTo(*best)) best = t;
  }
  return best;
}

}  // namespace Halm::Multicast::Fib
