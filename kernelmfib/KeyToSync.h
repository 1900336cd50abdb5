#pragma once
// The request channel for programming one route key at once. A writer sets the table and
// the key, then bumps the counter; every change of the counter is one request, served by
// the VRF's KernelMfibSm with the values the entity holds at that moment. Requests are
// never queued or merged.

#include <cstdint>
#include <string_view>

#include "halm/IpGenRouteKey.h"
#include "halm/Status.h"
#include "plix/VrfName.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingAttr.h"

namespace Routing::KernelMfib {

class KeyToSync : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Routing::KernelMfib::KeyToSync";

  class NotifieeConst : public Quib::NotifieeBase<KeyToSync> {
   public:
    virtual void onKey() {}
    virtual void onHalmKey() {}
    virtual void onChangeCount() {}
  };

  explicit KeyToSync(L3::VrfName vrfName);
  std::string_view typeName() const override { return type; }

  L3::VrfName const& vrfName() const { return vrfName_; }
  Quib::NotifyingAttr<Routing::Multicast::Fib::IpGenRouteKey, &NotifieeConst::onKey> key{this};
  Quib::NotifyingAttr<Halm::Multicast::Fib::Status const*, &NotifieeConst::onHalmKey> halmKey{this, nullptr};
  Quib::NotifyingAttr<std::uint8_t, &NotifieeConst::onChangeCount> changeCount{this, 0};

  // Adds n modulo 256 and returns the new value; an increment of 1 always changes it.
  std::uint8_t changeCountInc(std::uint8_t n);

 private:
  L3::VrfName vrfName_;
};

// Builds one for the framework's generic construction.
Quib::Ptr<KeyToSync> keyToSyncFactory(L3::VrfName const& vrfName);

}  // namespace Routing::KernelMfib
