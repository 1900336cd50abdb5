// KernelMfibSm: construction, initialisation, switching and teardown.

#include "kernelmfib/KernelMfibSm.h"

#include "host/ActivityManager.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "kernelmfib/MulticastIntfsAppDirSm.h"
#include "quib/Stop.h"

namespace Routing::KernelMfib {

KernelMfibSm::KernelMfibSm(L3::VrfName vrfName, Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
                           Quib::Ptr<Config const> vifConfig, Quib::Ptr<Status> vifStatus,
                           Quib::Ptr<Interface::DeviceIntfStatusDir> deviceIntfStatusDir, Plix::NamespaceName ns,
                           Quib::Ptr<Quib::Clock const> clock, Quib::Ptr<KeyToSync const> keyToSync)
    : vrfName_(std::move(vrfName)),
      af_(af),
      vifConfig_(std::move(vifConfig)),
      vifStatus_(std::move(vifStatus)),
      deviceIntfStatusDir_(std::move(deviceIntfStatusDir)),
      ns_(std::move(ns)),
      keyToSync_(std::move(keyToSync)) {
  auto attach = [](auto& reactor, auto const& entity) {
    if (!entity) return;
    reactor.notifierIs(entity);
    reactor.hasNotificationActiveIs(true);
  };
  attach(appDirReactor_, multicastIntfsAppDir);
  attach(configReactor_, vifConfig_);
  attach(statusReactor_, vifStatus_);
  attach(deviceReactor_, deviceIntfStatusDir_);
  attach(clockReactor_, clock);
  attach(keyToSyncReactor_, keyToSync_);
  handleInitialized();
}

Quib::Ptr<KernelMfibSm> KernelMfibSm::KernelMfibSmIs(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                                     Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                                     Quib::Ptr<Config const> const& vifConfig,
                                                     Quib::Ptr<Status> const& vifStatus,
                                                     Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                                     Plix::NamespaceName const& ns,
                                                     Quib::Ptr<Quib::Clock const> const& clock,
                                                     Quib::Ptr<KeyToSync const> const& keyToSync) {
  auto sm = Quib::make<KernelMfibSm>(vrfName, af, multicastIntfsAppDir, vifConfig, vifStatus, deviceIntfStatusDir, ns,
                                     clock, keyToSync);
  sm->hasNotificationActiveIs(true);
  return sm;
}

Quib::Ptr<KernelMfibSm> kernelMfibSmFactory(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                            Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                            Quib::Ptr<Config const> const& vifConfig, Quib::Ptr<Status> const& vifStatus,
                                            Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                            Plix::NamespaceName const& ns, Quib::Ptr<Quib::Clock const> const& clock,
                                            Quib::Ptr<KeyToSync const> const& keyToSync) {
  return KernelMfibSm::KernelMfibSmIs(vrfName, af, multicastIntfsAppDir, vifConfig, vifStatus, deviceIntfStatusDir, ns,
                                      clock, keyToSync);
}

void KernelMfibSm::hasNotificationActiveIs(bool active) {
  active_ = active;
  for (Quib::NotifieeRoot* r : std::initializer_list<Quib::NotifieeRoot*>{
           &appDirReactor_, &configReactor_, &statusReactor_, &mfibHalmReactor_, &deviceReactor_, &clockReactor_,
           &keyToSyncReactor_, &sockOpenTimerReactor_, &vifRetryTimerReactor_, &auditTimerReactor_}) {
    r->hasNotificationActiveIs(active);
  }
  mfibHalm_.hasNotificationActiveIs(active);
  for (auto const& [name, sm] : multicastIntfsAppDirSm) sm->hasNotificationActiveIs(active);
  if (v6RelaySm_) v6RelaySm_->hasNotificationActiveIs(active);
}

void KernelMfibSm::handleInitialized() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::handleInitialized()";
  if (auto t = tr.at(8)) t << "Namespace name is " << ns_;
  tryAddVifAgain_ = 0;
  timerWheel_ = Quib::make<Zell::TimerWheel>(Quib::activityManager()->config().clock(), 100, 655350, true, 1024);
  sockOpenTimer_ = timerWheel_->newTimer("sockOpenTimer");
  sockOpenTimerReactor_.notifierIs(sockOpenTimer_);
  sockOpenTimerReactor_.hasNotificationActiveIs(true);
  sockOpenTimerExpired();
  vifRetryTimer_ = timerWheel_->newTimer("vifRetryTimer");
  vifRetryTimerReactor_.notifierIs(vifRetryTimer_);
  vifRetryTimerReactor_.hasNotificationActiveIs(true);
  vifRetryTimerExpired();
  sockOpenTimer_->timeMinIs(Quib::Clock::never);
  vifRetryTimer_->timeMinIs(Quib::Clock::never);
  reviewTimer_ = std::make_unique<Zell::ReviewTimer>(&clockReactor_, 1.0, 4, 0.1, 5.0);
  if (af_ == Plix::AddressFamily::ipv6) v6RelaySmIs("relaySm", ns_, vifStatus_);
  initialized_ = true;

  handleMulticastMaxUnresolvedCacheEntries();
  handleMulticastMaxUnresolvedPktBuffers();
  sockOpenTimerExpired();
  handleIntfStatusAndDeviceName();

  char const* entry = "KernelMfibSm::handleInitialized()";
  if (auto t = tr.at(8)) t << entry << " cleaning up deallocated VIFs";
  std::vector<Plix::IntfId> stale;
  for (auto const& [intf, vif] : vifStatus_->vifStatusColl) {
    if (!vifStatus_->vifConfigColl.has(intf)) stale.push_back(intf);
  }
  for (auto intf : stale) setVif(intf);

  if (auto t = tr.at(8)) t << entry << " populating vifUsed";
  for (auto const& [intf, vif] : vifStatus_->vifConfigColl) {
    if (auto t = tr.at(8)) t << entry << " adding " << intf << "'s allocated VIF " << vif << " to vifUsed";
    if (vifUsed_[vif]) {
      if (auto t = tr.at(5)) t << "VIF " << vif << " was allocated twice";
      Quib::stop("VIF " + std::to_string(vif) + " was allocated twice");
    }
    vifUsed_[vif] = true;
  }

  if (auto t = tr.at(8)) t << entry << " populating multicastIntfs";
  handleApplication();
  if (auto t = tr.at(8)) t << entry << " syncing vifConfigColl with multicastIntfs";
  allocateVif();
  if (auto t = tr.at(8)) t << entry << " try setting VIFs for all intfs in vifConfigColl";
  setVif();
  intfIdCollSync();
  doKickReview();
  handleAuditConfig();
}

KernelMfibSm::~KernelMfibSm() {
  doSockClose();
  // From here on no handler of this machine runs, and no socket is opened any more.
  hasNotificationActiveIs(false);
  initialized_ = false;
  appDirReactor_.notifierIs(nullptr);
  configReactor_.notifierIs(nullptr);
  statusReactor_.notifierIs(nullptr);
  mfibHalmReactor_.notifierIs(nullptr);
  mfibHalm_.delAll();
  deviceReactor_.notifierIs(nullptr);
  clockReactor_.notifierIs(nullptr);
  keyToSyncReactor_.notifierIs(nullptr);
  sockOpenTimerReactor_.notifierIs(nullptr);
  vifRetryTimerReactor_.notifierIs(nullptr);
  auditTimerReactor_.notifierIs(nullptr);
  // Releases every VIF allocation; the inert status reactor keeps this from the kernel,
  // so vifStatusColl and intfIdColl stay for the next machine to reconcile.
  multicastIntfDelAll();
  multicastIntfsAppDirSmDelAll();
  reviewTimer_.reset();
  timerWheel_ = nullptr;
  v6RelaySmDel();
}

}  // namespace Routing::KernelMfib
