#pragma once
// The kernel multicast configuration of every configured VRF, keyed by VRF name. A VRF
// is configured for kernel multicast exactly while it has an entry; reactors hear
// `onVrfConfig(vrfName)` when an entry comes or goes.

#include <string_view>

#include "entities/Config.h"
#include "plix/VrfName.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/OwnedColl.h"

namespace Routing::KernelMfib {

class ConfigColl : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::ConfigColl";

  class NotifieeConst : public Quib::NotifieeBase<ConfigColl> {
   public:
    virtual void onVrfConfig(L3::VrfName const&) {}
  };

  explicit ConfigColl(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::OwnedColl<L3::VrfName, Config, &NotifieeConst::onVrfConfig> vrfConfig{this};
};

}  // namespace Routing::KernelMfib
