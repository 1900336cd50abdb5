#pragma once
// The VIF table of one VRF as its kernel machine publishes it: which interface owns which
// VIF index (`vifConfigColl`), which of those are registered in the kernel
// (`vifStatusColl`), and the registered ones by index (`intfIdColl`). The machine is the
// only writer; route programming and the VIF-change review read it. The entity outlives
// the machine, so a later machine for the same VRF finds what the earlier one left.
//
// `vifStatusColl` is a hash map: route programming looks an interface up in it for every
// interface of every route. It therefore iterates in no particular order.

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingMap.h"

namespace Routing::KernelMfib {

// Index 0 is the kernel's Register VIF and never belongs to an interface.
using VifIndex = std::uint16_t;

class Status : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::Status";

  class NotifieeConst : public Quib::NotifieeBase<Status> {
   public:
    virtual void onVifConfigColl(Plix::IntfId) {}
    virtual void onVifConfigCollquibImmediate() {}
    virtual void onVifStatusColl(Plix::IntfId) {}
    virtual void onVifStatusCollquibImmediate() {}
    virtual void onIntfIdColl(VifIndex) {}
    virtual void onIntfIdCollquibImmediate() {}
  };

  explicit Status(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::NotifyingMap<Plix::IntfId, VifIndex, &NotifieeConst::onVifConfigColl,
                     &NotifieeConst::onVifConfigCollquibImmediate>
      vifConfigColl{this};
  Quib::NotifyingMap<Plix::IntfId, VifIndex, &NotifieeConst::onVifStatusColl,
                     &NotifieeConst::onVifStatusCollquibImmediate, std::unordered_map<Plix::IntfId, VifIndex>>
      vifStatusColl{this};
  Quib::NotifyingMap<VifIndex, Plix::IntfId, &NotifieeConst::onIntfIdColl, &NotifieeConst::onIntfIdCollquibImmediate>
      intfIdColl{this};
};

}  // namespace Routing::KernelMfib
