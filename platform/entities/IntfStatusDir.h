#pragma once
// The shape shared by the directories of interface status: owned IntfStatus entries keyed
// by interface, with `onIntfStatus(intfId)` per entry that comes or goes. Only its two
// published kinds, AllIntfStatusDir and AllIntfStatusLocalDir, are entity types of their
// own; readers that take either follow this base.

#include "entities/IntfStatus.h"
#include "plix/IntfId.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/OwnedColl.h"

namespace Interface {

class IntfStatusDir : public Quib::Entity {
 public:
  class NotifieeConst : public Quib::NotifieeBase<IntfStatusDir> {
   public:
    virtual void onIntfStatus(Plix::IntfId) {}
  };

  Quib::OwnedColl<Plix::IntfId, IntfStatus, &NotifieeConst::onIntfStatus> intfStatus{this};

 protected:
  explicit IntfStatusDir(Quib::Name name);
  ~IntfStatusDir() override;
};

}  // namespace Interface
