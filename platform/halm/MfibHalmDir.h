#pragma once
// The route-table collections of every VRF that has tables, keyed by VRF name. Reactors
// hear `onHalmColl(vrfName)` when a VRF's collection comes or goes.

#include <string_view>

#include "halm/MfibHalmColl.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/OwnedColl.h"

namespace Halm::Multicast::Fib {

class MfibHalmDir : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Halm::Multicast::Fib::MfibHalmDir";

  class NotifieeConst : public Quib::NotifieeBase<MfibHalmDir> {
   public:
    virtual void onHalmColl(Quib::Name const&) {}
  };

  explicit MfibHalmDir(Quib::Name name) : Quib::Entity(std::move(name)) {}
  std::string_view typeName() const override { return type; }

  Quib::OwnedColl<Quib::Name, MfibHalmColl, &NotifieeConst::onHalmColl> halmColl{this};
};

}  // namespace Halm::Multicast::Fib
