#pragma once
// Walks every route of the given tables of one VRF: the tables in the order given (from a
// collection alone, in its ranking, best-ranked first), each table's keys in order. It
// starts at a route position in the first table, so a walk that was cut short resumes
// where it stopped; MfibHalmWalkOrder gives a resumed walk its tables. A key present in
// several tables is visited once per table. The walk reads the tables as they stand; it
// must not outlive a change to them.

#include <cstddef>
#include <vector>

#include "halm/MfibHalmColl.h"
#include "halm/Status.h"

namespace Halm::Multicast::Fib {

class MfibHalmCollRouteIteratorConst {
 public:
  // From the first route of the collection's first table.
  explicit MfibHalmCollRouteIteratorConst(Quib::Ptr<MfibHalmColl const> const& coll);
  // From `routePosition` in the first of `tables`, then on through the others.
  MfibHalmCollRouteIteratorConst(std::vector<Quib::Ptr<Status const>> tables, Status::const_iterator routePosition);

  bool done() const { return table_ >= tables_.size(); }
  // The current key; invalidRouteKey() when done.
  IpGenRouteKey const& key() const;
  // The current key's route in the current table, read where the walk stands: the empty
  // route when done.
  Route route() const;
  // The current table; none when done.
  Status const* table() const { return done() ? nullptr : tables_[table_].ptr(); }
  // Moves to the next route, across tables.
  void updateToBestRouteIterators();

 private:
  void skipExhaustedTables();

  std::vector<Quib::Ptr<Status const>> tables_;
  std::size_t table_ = 0;
  Status::const_iterator route_;
};

}  // namespace Halm::Multicast::Fib
