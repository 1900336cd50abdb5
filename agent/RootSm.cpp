#include "agent/RootSm.h"

#include "agent/AgentTrace.h"

namespace KernelMfibAgent {

RootSm::RootSm(Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
               Quib::Ptr<ConfigColl const> vifConfigColl, Quib::Ptr<StatusColl> vifStatusColl,
               Quib::Ptr<Quib::Dir const> mfibDir, Quib::Ptr<Interface::AllIntfStatusDir const> allIntfStatusDir,
               Quib::Ptr<Interface::AllIntfStatusLocalDir const> allIntfStatusLocalDir,
               Quib::Ptr<Ip::AllVrfStatusLocal const> allVrfStatusLocal, Quib::Ptr<Quib::Clock const> clock,
               Quib::Ptr<Orvo::EntityManager> entityManager,
               Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> intfStatusManagerRoot, Agent* agent)
    : af_(af),
      multicastIntfsAppDir_(std::move(multicastIntfsAppDir)),
      vifStatusColl_(std::move(vifStatusColl)),
      mfibDir_(std::move(mfibDir)),
      allIntfStatusDir_(std::move(allIntfStatusDir)),
      allIntfStatusLocalDir_(std::move(allIntfStatusLocalDir)),
      clock_(std::move(clock)),
      entityManager_(std::move(entityManager)),
      intfStatusManagerRoot_(std::move(intfStatusManagerRoot)),
      agent_(agent) {
  if (vifConfigColl) configReactor_.notifierIs(vifConfigColl);
  if (allVrfStatusLocal) vrfListReactor_.notifierIs(allVrfStatusLocal);
  handleVifConfig();
  handleVrf();
  handleInitialized();
  if (allVrfStatusLocal) {
    for (auto const& [name, entry] : allVrfStatusLocal->vrf) vrf_.is(this, name, Quib::Ptr<Ip::VrfStatusLocal const>(entry));
  }
  for (auto const& [name, coll] : mfibHalmDir_->halmColl) halmCollObserverSync(name);
  doDeleteStaleStatus();
}

// A VRF that lost its configuration or namespace while no agent ran keeps the status its
// old machine published, though that machine's socket, closing, took the VIFs with it: with
// no machine to follow it, the entry goes.
void RootSm::doDeleteStaleStatus() {
  if (auto t = agentTrace().at(9)) t << "RootSm::doDeleteStaleStatus()";
  if (!vifStatusColl_) return;
  std::vector<L3::VrfName> stale;
  for (auto const& [name, status] : vifStatusColl_->vrfStatus) {
    if (!mfibSm.has(name)) stale.push_back(name);
  }
  for (auto const& name : stale) {
    if (auto t = agentTrace().at(3)) t << "Deleting the status of vrf " << name << ", which has no kernel Mfib Sm";
    vifStatusColl_->vrfStatus.del(name);
  }
}

RootSm::~RootSm() {
  hasNotificationActiveIs(false);
  configReactor_.notifierIs(nullptr);
  vrfListReactor_.notifierIs(nullptr);
  halmDir_.notifierIs(nullptr);
  vrf_.delAll();
  mfibHalmColl_.delAll();
  kernelVrfIntfStatusDir.delAll();
  mfibHalmDir_ = nullptr;
  if (mfibDirSm_) mfibDirSm_->hasNotificationActiveIs(false);
  mfibDirSm_ = nullptr;
  keyToSync.delAll();
  vifMrouteSyncSm.delAll();
  mfibSm.delAll();
}

void RootSm::hasNotificationActiveIs(bool active) {
  active_ = active;
  configReactor_.hasNotificationActiveIs(active);
  vrfListReactor_.hasNotificationActiveIs(active);
  halmDir_.hasNotificationActiveIs(active);
  vrf_.hasNotificationActiveIs(active);
  mfibHalmColl_.hasNotificationActiveIs(active);
}

void RootSm::handleInitialized() {
  if (auto t = agentTrace().at(9)) t << "RootSm::handleInitialized()";
  if (!mfibHalmDir_) {
    mfibHalmDir_ = Quib::make<Halm::Multicast::Fib::MfibHalmDir>("mfibHalmDir");
    halmDir_.notifierIs(mfibHalmDir_);
  }
  initialized_ = true;
  mfibDirSm_ = Halm::Multicast::Fib::MfibDirSm::MfibDirSmIs(mfibDir_, mfibHalmDir_, entityManager_);
  handleVifConfig();
  handleVrf();
}

Quib::Ptr<RootSm> rootSmFactory(Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                Quib::Ptr<RootSm::ConfigColl const> const& vifConfigColl,
                                Quib::Ptr<RootSm::StatusColl> const& vifStatusColl,
                                Quib::Ptr<Quib::Dir const> const& mfibDir,
                                Quib::Ptr<Interface::AllIntfStatusDir const> const& allIntfStatusDir,
                                Quib::Ptr<Interface::AllIntfStatusLocalDir const> const& allIntfStatusLocalDir,
                                Quib::Ptr<Ip::AllVrfStatusLocal const> const& allVrfStatusLocal,
                                Quib::Ptr<Quib::Clock const> const& clock,
                                Quib::Ptr<Orvo::EntityManager> const& entityManager,
                                Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> const& intfStatusManagerRoot,
                                Agent* agent) {
  return Quib::make<RootSm>(af, multicastIntfsAppDir, vifConfigColl, vifStatusColl, mfibDir, allIntfStatusDir,
                            allIntfStatusLocalDir, allVrfStatusLocal, clock, entityManager, intfStatusManagerRoot,
                            agent);
}

}  // namespace KernelMfibAgent
