#pragma once
// The order in which one walk over a VRF's route tables visits them. A walk cut into slices
// keeps its order from the slice that started it, so that every table that exists for the
// whole walk is visited exactly once, however the tables' ranking changes between slices.
// A table that arrives while the walk is under way is appended, after the tables the walk
// started with, when the walk next asks for its tables; a table that leaves is skipped.
// Tables are known by address and id (an address may be reused once a table has gone), not
// held: a table that leaves its VRF is released.

#include <cstdint>
#include <vector>

#include "halm/MfibHalmColl.h"
#include "halm/Status.h"
#include "quib/Ptr.h"

namespace Halm::Multicast::Fib {

class MfibHalmWalkOrder {
 public:
  // A new walk: the collection's tables in their ranking now.
  void start(MfibHalmColl const& coll);
  void clear() { order_.clear(); }
  bool empty() const { return order_.empty(); }

  // Appends the tables that arrived since the walk last asked, then gives the walk's tables
  // that `coll` still holds, from `table` on (from the first when `table` is none). A
  // `table` that has left is not among them, so the walk goes on with the next one; a table
  // that is not part of the walk gives none. The tables given are settled (Status::settle),
  // so a walk pays for their key order when it asks for them, not on reaching each one.
  std::vector<Quib::Ptr<Status const>> tablesFrom(MfibHalmColl const& coll, Status const* table,
                                                  std::uint32_t tableId);

 private:
  struct Entry {
    Status const* table;
    std::uint32_t id;
  };
  static Quib::Ptr<Status const> present(MfibHalmColl const& coll, Entry const& e);

  std::vector<Entry> order_;
};

}  // namespace Halm::Multicast::Fib
