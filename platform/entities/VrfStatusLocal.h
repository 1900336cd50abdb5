#pragma once
// What the system reports about one VRF on this cell: its state and the network
// namespace it lives in, with that namespace's inode when known. The namespace name is
// empty while the VRF has none. Reactors hear one callback per attribute, in declaration
// order.

#include <cstdint>
#include <ostream>
#include <string_view>

#include "plix/NamespaceName.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingAttr.h"

namespace Ip {

class VrfStatusLocal : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Ip::VrfStatusLocal";

  // A VRF is created inactive, becomes active once its namespace is set up, and is
  // deleting while the system tears it down.
  enum class State : std::uint8_t { inactive, active, deleting };

  class NotifieeConst : public Quib::NotifieeBase<VrfStatusLocal> {
   public:
    virtual void onState() {}
    virtual void onNetworkNamespace() {}
    virtual void onNsInode() {}
    virtual void onNsInodeValid() {}
  };

  explicit VrfStatusLocal(Quib::Name name);
  std::string_view typeName() const override { return type; }

  Quib::NotifyingAttr<State, &NotifieeConst::onState> state{this, State::inactive};
  Quib::NotifyingAttr<Plix::NamespaceName, &NotifieeConst::onNetworkNamespace> networkNamespace{this};
  Quib::NotifyingAttr<std::uint64_t, &NotifieeConst::onNsInode> nsInode{this, 0};
  Quib::NotifyingAttr<bool, &NotifieeConst::onNsInodeValid> nsInodeValid{this, false};
};

std::ostream& operator<<(std::ostream& os, VrfStatusLocal::State state);

}  // namespace Ip
