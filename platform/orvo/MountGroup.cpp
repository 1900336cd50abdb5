#include "orvo/MountGroup.h"

#include <stdexcept>
#include <utility>

#include "orvo/EntityManager.h"
#include "orvo/Mounter.h"

namespace Orvo {

MountGroup::MountGroup(EntityManager* em, Mounter* mounter) : em_(em), mounter_(mounter) {
  if (mounter_) mounter_->pending_.push_back(this);
}

MountGroup::~MountGroup() {
  if (mounter_) std::erase(mounter_->pending_, this);
}

Mounter::~Mounter() {
  for (auto* g : pending_) g->mounterDel();
}

void MountGroup::doMount(Mount const& mount) {
  if (closed_) throw std::logic_error("mount of " + mount.path() + " after the group was closed");
  mounts_.push_back(mount);
}

void MountGroup::doClose(bool, std::string const&, double) {
  if (closed_) return;
  closed_ = true;
  // The group must live until it has answered, whoever else lets go of it.
  em_->mountGroupPendingIs(Quib::Ptr<MountGroup>(this));
  completion_.notifierIs(em_->clock());
  completion_.hasNotificationActiveIs(true);
  completion_.timeMinIs(em_->clock()->currentTime());
}

void MountGroup::handleCompletion() {
  Quib::Ptr<MountGroup> const keep(this);
  em_->mountGroupPendingDel(this);
  status_ = mountSuccess_;
  for (auto const& m : mounts_) {
    MountStatus s = mountSuccess_;
    em_->entityIs(m.path(), m.typeName(), &s);
    if (s != mountSuccess_) {
      status_ = s;
      break;
    }
  }
  completion_.notifierIs(nullptr);
  if (auto* m = std::exchange(mounter_, nullptr)) {
    std::erase(m->pending_, this);
    m->doMountsComplete(status_, Quib::Ptr<EntityManager>(em_));
  }
}

}  // namespace Orvo
