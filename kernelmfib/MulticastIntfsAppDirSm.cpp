#include "kernelmfib/MulticastIntfsAppDirSm.h"

#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"

namespace Routing::KernelMfib {

MulticastIntfsAppDirSm::MulticastIntfsAppDirSm(std::string appName, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
                                               KernelMfibSm* kernelMfibSm)
    : appName_(std::move(appName)), kernelMfibSm_(kernelMfibSm) {
  if (multicastIntfsAppDir) reactor_.notifierIs(multicastIntfsAppDir);
  reactor_.hasNotificationActiveIs(true);
  handleVrf();
}

void MulticastIntfsAppDirSm::hasNotificationActiveIs(bool active) {
  reactor_.hasNotificationActiveIs(active);
  for (auto const& [vrf, sm] : multicastIntfsAppSm) sm->hasNotificationActiveIs(active);
}

Quib::Ptr<MulticastIntfsAppSm> MulticastIntfsAppDirSm::multicastIntfsAppSmIs(
    std::string const& vrf, Quib::Ptr<MulticastIntfsAppSm::Requests const> const& entity) {
  if (auto existing = multicastIntfsAppSm(vrf)) {
    if (auto refusal = Quib::argDifference(existing->constructorArgs(), entity)) {
      throw Quib::NameInUseException(*refusal);
    }
    return existing;
  }
  // Built here rather than by the collection, which would compare the back pointer too;
  // the machine switches itself on while it is built.
  return multicastIntfsAppSm.isBy(vrf, [&] { return Quib::make<MulticastIntfsAppSm>(vrf, entity, this); });
}

void MulticastIntfsAppDirSm::handleVrf(L3::VrfName const& vrf) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "MulticastIntfsAppDirSm::handleVrf( " << vrf << " )";
  auto const& dir = multicastIntfsAppDir();
  auto entity = dir ? dir->entity<MulticastIntfsAppSm::Requests>(vrf.str()) : nullptr;
  bool const ours = vrf == kernelMfibSm_->vrfName();
  if (entity && ours) {
    if (auto t = tr.at(7)) t << "Creating multicastIntfsAppSm for vrf : " << vrf;
    multicastIntfsAppSmIs(vrf.str(), entity);
    return;
  }
  if (auto t = tr.at(7)) t << "Deleting multicastIntfsAppSm for vrf : " << vrf;
  if (!ours) return;
  auto sm = multicastIntfsAppSm(vrf.str());
  if (!sm) return;
  sm->doPrepareToDie();
  multicastIntfsAppSmDel(vrf.str());
}

void MulticastIntfsAppDirSm::handleVrf() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "MulticastIntfsAppDirSm::handleVrf()";
  auto const& dir = multicastIntfsAppDir();
  if (!dir) return;
  // Entries are keyed by name, so only one can be this VRF's; a name too long for a VRF
  // name is never it.
  std::string const& own = kernelMfibSm_->vrfName().str();
  if (!dir->entityPtr(own)) return;
  if (auto t = tr.at(7)) t << "Processing vrf : " << own;
  handleVrf(kernelMfibSm_->vrfName());
}

}  // namespace Routing::KernelMfib
