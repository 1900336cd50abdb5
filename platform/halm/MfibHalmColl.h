#pragma once
// The route tables of one VRF and the best-route choice between them: among the tables
// holding a key, the one with the lowest preference holds the best route; ties go to the
// table whose name sorts first. Reactors hear `onHalmPtr(table)` when a table comes or
// goes. Tables are walked in that same order (best-ranked first).

#include <cstddef>
#include <string_view>
#include <vector>

#include "halm/IpGenRouteKey.h"
#include "halm/Status.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"

namespace Halm::Multicast::Fib {

class MfibHalmColl : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Halm::Multicast::Fib::MfibHalmColl";

  class NotifieeConst : public Quib::NotifieeBase<MfibHalmColl> {
   public:
    virtual void onHalmPtr(Status const*) {}
  };

  explicit MfibHalmColl(Quib::Name vrfName) : Quib::Entity(std::move(vrfName)) {}
  std::string_view typeName() const override { return type; }

  Quib::Ptr<Status const> halmPtr(Status const* table) const;
  // The same question without taking a reference: asked once per key programmed.
  bool hasHalmPtr(Status const* table) const { return find(table) != tables_.end(); }
  std::size_t halmPtrs() const { return tables_.size(); }
  void halmPtrIs(Quib::Ptr<Status const> const& table);
  void halmPtrDel(Status const* table);

  // The tables in walk order: preference, then name.
  std::vector<Quib::Ptr<Status const>> orderedTables() const;

  // True when `table` holds `key` and no table of this VRF ranks before it holding it too.
  bool isBestRoute(Status const* table, IpGenRouteKey const& key) const;
  // The same for a `table` known to hold `key` (a walk standing on it, a route just read
  // from it), without looking the key up in `table` again.
  bool isBestHeldRoute(Status const* table, IpGenRouteKey const& key) const;
  // The table holding the best route for `key`, or none.
  Quib::Ptr<Status const> mfibHalm(IpGenRouteKey const& key) const;

 private:
  using Tables = std::vector<Quib::Ptr<Status const>>;
  Tables::const_iterator find(Status const* table) const;
  // No table ranked before the one at `at` holds `key`.
  bool noneBeats(Tables::const_iterator at, IpGenRouteKey const& key) const;

  Tables tables_;
};

}  // namespace Halm::Multicast::Fib
