#pragma once
// Whoever asked for a mount group, told once when the group has completed. A mounter that
// goes away first is forgotten by its pending groups.

#include <vector>

#include "orvo/MountStatus.h"
#include "quib/Ptr.h"

namespace Orvo {

class EntityManager;
class MountGroup;

class Mounter {
 public:
  Mounter() = default;
  Mounter(Mounter const&) = delete;
  Mounter& operator=(Mounter const&) = delete;

  virtual void doMountsComplete(MountStatus status, Quib::Ptr<EntityManager> const& em) = 0;
  // The groups this mounter asked for that have not answered yet.
  std::vector<MountGroup*> const& pendingMountGroups() const { return pending_; }

 protected:
  virtual ~Mounter();

 private:
  friend class MountGroup;
  std::vector<MountGroup*> pending_;
};

}  // namespace Orvo
