#pragma once
// A set of interfaces whose VIF was set, shared by counted reference. VifMrouteSyncSm fills
// one while it waits and walks the routes against another; it hands them over by swapping
// references, so a set is never copied. Adding an interface that is already present changes
// nothing and notifies nothing, which absorbs bursts of VIF changes for one interface.
//
// Lookup is a hash lookup: the walk asks once per interface of every route.

#include <cstddef>
#include <string_view>
#include <unordered_set>

#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/Ptr.h"

namespace Routing::KernelMfib {

class IntfChangeSet : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::IntfChangeSet";

  class NotifieeConst : public Quib::NotifieeBase<IntfChangeSet> {
   public:
    virtual void onChangedIntf(Plix::IntfId) {}
  };

  explicit IntfChangeSet(Quib::Name name);
  std::string_view typeName() const override { return type; }

  // A new, empty set.
  static Quib::Ptr<IntfChangeSet> IntfChangeSetIs();

  bool changedIntf(Plix::IntfId intf) const { return changedIntf_.count(intf) > 0; }
  std::size_t changedIntfs() const { return changedIntf_.size(); }
  bool empty() const { return changedIntf_.empty(); }
  auto begin() const { return changedIntf_.begin(); }
  auto end() const { return changedIntf_.end(); }

  void changedIntfIs(Plix::IntfId intf);
  void changedIntfDel(Plix::IntfId intf);
  void changedIntfDelAll();

 private:
  std::unordered_set<Plix::IntfId> changedIntf_;
};

}  // namespace Routing::KernelMfib
