#pragma once
// The status of one interface as the interface side of the system publishes it: the
// kernel network device that carries it in its VRF's namespace (empty while it has none).
// The per-namespace managers match that device name against the namespace's kernel
// devices to find the interface's kernel index.

#include <string>
#include <string_view>

#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingAttr.h"

namespace Interface {

class IntfStatus : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Interface::IntfStatus";

  class NotifieeConst : public Quib::NotifieeBase<IntfStatus> {
   public:
    virtual void onDeviceName() {}
  };

  explicit IntfStatus(Plix::IntfId intfId);
  std::string_view typeName() const override { return type; }

  Plix::IntfId intfId() const { return intfId_; }

  Quib::NotifyingAttr<std::string, &NotifieeConst::onDeviceName> deviceName{this};

 private:
  Plix::IntfId intfId_;
};

}  // namespace Interface
