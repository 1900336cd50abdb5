#pragma once
// One application's request for kernel multicast interfaces in one VRF. An interface is
// requested while its key is present with the value true; false, like an absent key, is
// no request. Applications publish it at <application directory>/<app>/<vrf>.

#include <string_view>

#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingMap.h"

namespace McastCommon {

class MulticastIntfsForApplications : public Quib::Entity {
 public:
  static constexpr std::string_view type = "McastCommon::MulticastIntfsForApplications";

  class NotifieeConst : public Quib::NotifieeBase<MulticastIntfsForApplications> {
   public:
    virtual void onMulticastIntf(Plix::IntfId) {}
  };

  explicit MulticastIntfsForApplications(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::NotifyingMap<Plix::IntfId, bool, &NotifieeConst::onMulticastIntf> multicastIntf{this};
};

}  // namespace McastCommon
