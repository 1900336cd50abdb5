#pragma once
// Walks every route of every table of one VRF: the tables in their walk order (best-ranked
// first), each table's keys in order. It starts at a table position (an index into
// MfibHalmColl::orderedTables()) and a route position in that table, so a walk that was
// cut short resumes where it stopped. A key present in several tables is visited once per
// table. The walk reads the tables as they stand; it must not outlive a change to them.

#include <cstddef>
#include <vector>

#include "halm/MfibHalmColl.h"
#include "halm/Status.h"

namespace Halm::Multicast::Fib {

class MfibHalmCollRouteIteratorConst {
 public:
  // From the first route of the first table.
  explicit MfibHalmCollRouteIteratorConst(Quib::Ptr<MfibHalmColl const> coll);
  MfibHalmCollRouteIteratorConst(Quib::Ptr<MfibHalmColl const> coll, std::size_t tablePosition,
                                 Status::const_iterator routePosition);

  bool done() const { return table_ >= tables_.size(); }
  // The current key; invalidRouteKey() when done.
  IpGenRouteKey const& key() const;
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
