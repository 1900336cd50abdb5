#pragma once
// The published VIF tables of every VRF the agent runs a kernel machine for, keyed by
// VRF name. The agent adds a VRF's entry before it builds the VRF's machine and removes
// it when the machine goes; reactors hear `onVrfStatus(vrfName)` per entry.

#include <string_view>

#include "entities/Status.h"
#include "plix/VrfName.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/OwnedColl.h"

namespace Routing::KernelMfib {

class StatusColl : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::StatusColl";

  class NotifieeConst : public Quib::NotifieeBase<StatusColl> {
   public:
    virtual void onVrfStatus(L3::VrfName const&) {}
  };

  explicit StatusColl(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::OwnedColl<L3::VrfName, Status, &NotifieeConst::onVrfStatus> vrfStatus{this};
};

}  // namespace Routing::KernelMfib
