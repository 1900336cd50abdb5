#include "halm/MfibDirSm.h"

#include <string>
#include <vector>

#include "trace/Registry.h"

namespace Halm::Multicast::Fib {

namespace {

Trace::Handle& trace() {
  static Trace::Handle& handle = Trace::handle("MfibDirSm");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] Trace::Handle& declared = trace();

}  // namespace

Quib::Ptr<MfibDirSm> MfibDirSm::MfibDirSmIs(Quib::Ptr<Quib::Dir const> mfibDir, Quib::Ptr<MfibHalmDir> mfibHalmDir,
                                            Quib::Ptr<Orvo::EntityManager> em) {
  auto sm = Quib::make<MfibDirSm>(std::move(mfibDir), std::move(mfibHalmDir), std::move(em));
  sm->hasNotificationActiveIs(true);
  return sm;
}

MfibDirSm::MfibDirSm(Quib::Ptr<Quib::Dir const> mfibDir, Quib::Ptr<MfibHalmDir> mfibHalmDir,
                     Quib::Ptr<Orvo::EntityManager> em)
    : mfibHalmDir_(std::move(mfibHalmDir)), em_(em), mount_(std::move(em)) {
  dirReactor_.notifierIs(mfibDir);
}

MfibDirSm::~MfibDirSm() = default;

void MfibDirSm::hasNotificationActiveIs(bool active) {
  dirReactor_.hasNotificationActiveIs(active);
  for (auto& [name, vrf] : vrfs_) vrf->hasNotificationActiveIs(active);
  if (active) handleVrf();
}

void MfibDirSm::handleVrf() {
  auto dir = dirReactor_.notifier();
  std::vector<Quib::Name> names;
  if (dir) {
    for (auto const& [name, entity] : *dir) names.push_back(name);
  }
  for (auto const& [name, vrf] : vrfs_) names.push_back(name);
  for (auto const& name : names) handleVrf(name);
}

void MfibDirSm::handleVrf(Quib::Name const& vrfName) {
  auto dir = dirReactor_.notifier();
  auto vrfDir = dir ? dir->entity<Quib::Dir>(vrfName) : Quib::Ptr<Quib::Dir>();
  auto it = vrfs_.find(vrfName);
  if (vrfDir && it == vrfs_.end()) {
    it = vrfs_.emplace(vrfName, std::make_unique<VrfReactor>(this, vrfName)).first;
    it->second->notifierIs(vrfDir);
    it->second->hasNotificationActiveIs(dirReactor_.isNotificationActive());
  }
  if (it == vrfs_.end()) return;
  VrfReactor& vrf = *it->second;
  if (vrfDir) vrf.notifierIs(vrfDir);

  // Tables that left, or were replaced by another entity under the same name.
  std::vector<Quib::Name> gone;
  for (auto const& [table, mounted] : vrf.mounted) {
    auto now = vrfDir ? vrfDir->entity<Status>(table) : Quib::Ptr<Status>();
    if (now.ptr() != mounted.table.ptr()) gone.push_back(table);
  }
  for (auto const& table : gone) unmount(vrf, table);

  if (vrfDir) {
    for (auto const& [table, entity] : *vrfDir) {
      if (vrf.mounted.count(table) || !Quib::ptrCast<Status>(entity)) continue;
      std::string path = entity->fullName();
      auto mounted = Quib::ptrCast<Status>(mount_.doMount(path, std::string(Status::type), {QuibHalm::quibHalmRouteTable_}));
      if (!mounted) {
        // The VRF goes on without this table; the next change of the directory tries again.
        if (auto t = trace().at(0)) t << "Mounting route table " << path << " failed; VRF " << vrfName << " runs without it";
        continue;
      }
      vrf.mounted.emplace(table, VrfReactor::Mounted{mounted, std::move(path)});
      mfibHalmDir_->halmColl.is(vrfName)->halmPtrIs(mounted);
    }
  }
  if (vrf.mounted.empty()) {
    mfibHalmDir_->halmColl.del(vrfName);
    if (!vrfDir) vrfs_.erase(it);
  }
}

void MfibDirSm::unmount(VrfReactor& vrf, Quib::Name const& table) {
  auto it = vrf.mounted.find(table);
  VrfReactor::Mounted gone = it->second;
  vrf.mounted.erase(it);
  if (auto coll = mfibHalmDir_->halmColl(vrf.vrf())) coll->halmPtrDel(gone.table.ptr());
  mount_.doUnmount(gone.path);
}

}  // namespace Halm::Multicast::Fib
