#pragma once
// The device directory of one VRF: holds the VRF's DeviceIntfStatusDir as its child, so
// that the agent can create and drop a VRF's device view as one object. Build the child
// with deviceIntfStatusDirIs(name) (which sets its parent); read it as
// `deviceIntfStatusDir()`.

#include <string_view>

#include "entities/DeviceIntfStatusDir.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/NotifyingAttr.h"
#include "quib/Ptr.h"

namespace Interface {

class DeviceVrfIntfStatusDir : public Quib::Entity {
 public:
  static constexpr std::string_view type = "Interface::DeviceVrfIntfStatusDir";

  class NotifieeConst : public Quib::NotifieeBase<DeviceVrfIntfStatusDir> {
   public:
    virtual void onDeviceIntfStatusDir() {}
  };

  explicit DeviceVrfIntfStatusDir(Quib::Name name);
  ~DeviceVrfIntfStatusDir() override;
  std::string_view typeName() const override { return type; }

  // The child named `name`: the held one when it has that name, else a new, empty one
  // that replaces it.
  Quib::Ptr<DeviceIntfStatusDir> deviceIntfStatusDirIs(Quib::Name const& name);
  void deviceIntfStatusDirDel();

  Quib::NotifyingAttr<Quib::Ptr<DeviceIntfStatusDir>, &NotifieeConst::onDeviceIntfStatusDir> deviceIntfStatusDir{
      this};

 private:
  void release(Quib::Ptr<DeviceIntfStatusDir> const& child);
};

}  // namespace Interface
