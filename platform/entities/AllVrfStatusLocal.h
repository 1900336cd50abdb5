#pragma once
// Every VRF the system reports on this cell, keyed by VRF name. The agent follows it to
// learn which VRFs exist and in which network namespace each lives; reactors hear
// `onVrf(vrfName)` when an entry comes or goes.

#include <string_view>

#include "entities/VrfStatusLocal.h"
#include "plix/VrfName.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/OwnedColl.h"

namespace Ip {

class AllVrfStatusLocal : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Ip::AllVrfStatusLocal";

  class NotifieeConst : public Quib::NotifieeBase<AllVrfStatusLocal> {
   public:
    virtual void onVrf(L3::VrfName const&) {}
  };

  explicit AllVrfStatusLocal(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::OwnedColl<L3::VrfName, VrfStatusLocal, &NotifieeConst::onVrf> vrf{this};
};

}  // namespace Ip
