#pragma once
// A set of mounts requested together. `doClose` ends the group; the mounts are then made
// and the mounter is told the outcome on the event loop, never inside `doClose`, the way
// a remote state database would answer. The first mount that fails decides the status;
// the mounts before it stay made.

#include <vector>

#include "orvo/Mount.h"
#include "orvo/MountStatus.h"
#include "quib/Clock.h"
#include "quib/Ptr.h"

namespace Orvo {

class EntityManager;
class Mounter;

class MountGroup : public Quib::PtrInterface {
 public:
  // The entity manager keeps a closed group until it has answered, and outlives it.
  MountGroup(EntityManager* em, Mounter* mounter);
  ~MountGroup() override;

  // Throws std::logic_error once the group is closed.
  void doMount(Mount const& mount);
  // The arguments (force, reason, timeout) are accepted for the caller's sake; an
  // in-process database completes at once.
  void doClose(bool force, std::string const& reason, double timeout);

  std::vector<Mount> const& mounts() const { return mounts_; }
  void mounterDel() { mounter_ = nullptr; }
  bool closed() const { return closed_; }
  MountStatus status() const { return status_; }

 private:
  class Completion : public Quib::Clock::NotifieeConst {
   public:
    explicit Completion(MountGroup* group) : group_(group) {}
    void onTime() override { group_->handleCompletion(); }

   private:
    MountGroup* group_;
  };
  void handleCompletion();

  EntityManager* em_;
  Mounter* mounter_;
  std::vector<Mount> mounts_;
  bool closed_ = false;
  MountStatus status_ = mountPending_;
  Completion completion_{this};
};

}  // namespace Orvo
