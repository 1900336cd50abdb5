// RootSm: following the VRFs and their namespaces, and each namespace's resources.

#include "agent/AgentTrace.h"
#include "agent/RootSm.h"
#include "entities/KniStatusMount.h"
#include "entities/kni/Status.h"
#include "halm/Mount.h"
#include "quib/Stop.h"

namespace KernelMfibAgent {

void RootSm::handleVrf() {
  if (auto t = agentTrace().at(9)) t << "RootSm::handleVrf()";
  if (!initialized_) return;
  auto vrfs = vrfListReactor_.notifier();
  if (!vrfs) return;
  std::vector<L3::VrfName> names;
  for (auto const& [name, entry] : vrfs->vrf) names.push_back(name);
  for (auto const& name : names) maybeCreateOrDeleteKernelMfibSm(name);
}

void RootSm::onVrf(L3::VrfName const& vrfName) {
  maybeCreateOrDeleteKernelMfibSm(vrfName);
  vrfObserverSync(vrfName);
}

void RootSm::vrfObserverSync(L3::VrfName const& vrfName) {
  auto vrfs = vrfListReactor_.notifier();
  auto entry = vrfs ? vrfs->vrf(vrfName) : Quib::Ptr<Ip::VrfStatusLocal>();
  if (!entry) return vrf_.del(vrfName);
  vrf_.is(this, vrfName, Quib::Ptr<Ip::VrfStatusLocal const>(entry));
}

void RootSm::VrfReactor::onNotifier() { sm_->handleNetworkNamespace(vrf_); }

void RootSm::handleNetworkNamespace(L3::VrfName const& vrfName) {
  if (auto t = agentTrace().at(9)) t << "RootSm::handleNetworkNamespace( " << vrfName << " )";
  if (!initialized_) return;
  maybeCreateOrDeleteKernelMfibSm(vrfName);
}

Plix::NamespaceName RootSm::nsFromVrfName(L3::VrfName const& vrfName) const {
  if (vrfName.isDefault()) return Plix::NamespaceName::defaultNamespace();
  auto vrfs = vrfListReactor_.notifier();
  auto entry = vrfs ? vrfs->vrf(vrfName) : Quib::Ptr<Ip::VrfStatusLocal>();
  if (!entry || entry->networkNamespace().empty()) {
    Quib::stop("VRF " + vrfName.str() + " has no network namespace");
  }
  return entry->networkNamespace();
}

void RootSm::createKniSm(L3::VrfName const& vrfName) {
  if (auto t = agentTrace().at(9)) t << "RootSm::createKniSm( " << vrfName << " )";
  Plix::NamespaceName const ns = nsFromVrfName(vrfName);
  QuibHalm::Mount mount(entityManager_);
  std::string const path = KernelNetInfo::kniStatusMount(ns);
  mount.doMount(path, std::string(KernelNetInfo::Status::type), {QuibHalm::quibHalmStatusTable_});
  auto dir = kernelVrfIntfStatusDir.is(vrfName.str());
  dir->deviceIntfStatusDirIs("devices");
  auto kniStatus = Quib::ptrCast<KernelNetInfo::Status>(mount.getEntity(path));
  intfStatusManagerRoot_->intfStatusManagerIs(dir->deviceIntfStatusDir(), kniStatus, ns);
}

void RootSm::deleteKniSm(L3::VrfName const& vrfName) {
  if (auto t = agentTrace().at(9)) t << "RootSm::deleteKniSm( " << vrfName << " )";
  // The namespace and directory the machine was built with: the VRF may since have left
  // the namespace, and another VRF may have come to it with its own directory and mount.
  auto const& sm = mfibSm(vrfName);
  Plix::NamespaceName const ns = sm->ns();
  kernelVrfIntfStatusDir.del(vrfName.str());
  intfStatusManagerRoot_->intfStatusManagerDel(ns, sm->deviceIntfStatusDir());
  QuibHalm::Mount(entityManager_).doUnmount(KernelNetInfo::kniStatusMount(ns));
}

}  // namespace KernelMfibAgent
