#pragma once
// The kernel devices of a VRF's interfaces in the VRF's namespace, keyed by interface:
// for each, its status, device name and kernel interface index. A per-namespace manager
// of NetNsIntfStatusManagerRoot writes it; the VRF's kernel machine registers a VIF for
// an interface only once its entry is present and not empty.

#include <string_view>

#include "entities/IntfStatusAndDeviceName.h"
#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingMap.h"

namespace Interface {

class DeviceIntfStatusDir : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Interface::DeviceIntfStatusDir";

  class NotifieeConst : public Quib::NotifieeBase<DeviceIntfStatusDir> {
   public:
    virtual void onIntfStatusAndDeviceName(Plix::IntfId) {}
    virtual void onIntfStatusAndDeviceNamequibImmediate() {}
  };

  explicit DeviceIntfStatusDir(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::NotifyingMap<Plix::IntfId, IntfStatusAndDeviceName, &NotifieeConst::onIntfStatusAndDeviceName,
                     &NotifieeConst::onIntfStatusAndDeviceNamequibImmediate>
      intfStatusAndDeviceName{this};
};

}  // namespace Interface
