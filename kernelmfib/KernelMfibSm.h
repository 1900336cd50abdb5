#pragma once
// The per-VRF machine of the agent. For one VRF it owns:
//   - the multicast-routing socket inside the VRF's namespace, retried every second until
//     it opens, and the namespace's two unresolved-traffic limits (KernelMfibSmSocket.cpp);
//   - the VIF table: lowest-free-index allocation for the interfaces applications request,
//     registration once the kernel device exists, retries, and the published Status
//     (KernelMfibSmVif.cpp);
//   - the applications' requests merged into one set (KernelMfibSmApps.cpp);
//   - the kernel MFC kept equal to the best routes of the VRF's tables: one key at a time
//     (KernelMfibSmSyncKey.cpp), in time-bounded reviews of changed keys after one full
//     review of all routes, and on single-key requests (KernelMfibSmRoutes.cpp);
//   - when the configuration asks for it, the mirror audit: the kernel read back every
//     `audit` seconds and each difference from the tables repaired (KernelMfibSmAudit.cpp).
// Initialisation runs in a fixed order at the end of construction (KernelMfibSm.cpp).
//
// Invariants between operations once initialised: vifUsed holds exactly the indices of
// vifConfigColl; index 0 (the Register VIF) is never in it; an interface is in
// vifStatusColl only with its vifConfigColl index and while the kernel holds its VIF (a
// device that goes takes its VIF along); intfIdColl inverts vifStatusColl. An index whose
// kernel delete was refused is in vifDelPending, not handed out, and retried with the VIF
// retry timer until the kernel lets it go.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "entities/Config.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/MrtIcmpV6RelaySm.h"
#include "entities/Status.h"
#include "halm/IpGenRouteKey.h"
#include "halm/MfibHalmColl.h"
#include "halm/MfibHalmDirRouteKey.h"
#include "halm/MfibHalmWalkOrder.h"
#include "halm/Status.h"
#include "kernel/NamespaceSnapshot.h"
#include "kernelmfib/ChangedRouteSet.h"
#include "kernelmfib/KeyToSync.h"
#include "kernelmfib/MfcEntry.h"
#include "kernelmfib/MfcRecord.h"
#include "kernelmfib/MulticastIntf.h"
#include "plix/AddressFamily.h"
#include "plix/IntfId.h"
#include "plix/NamespaceName.h"
#include "plix/VrfName.h"
#include "quib/Clock.h"
#include "quib/Dir.h"
#include "quib/OwnedColl.h"
#include "quib/Ptr.h"
#include "quib/ReactorColl.h"
#include "zell/ReviewTimer.h"
#include "zell/Timer.h"
#include "zell/TimerWheel.h"

namespace Routing::KernelMfib {

class MulticastIntfsAppDirSm;

class KernelMfibSm : public Quib::PtrInterface {
 public:
  using Table = Halm::Multicast::Fib::Status;
  using MfibHalmColl = Halm::Multicast::Fib::MfibHalmColl;
  using RouteKey = Routing::Multicast::Fib::IpGenRouteKey;
  using TableKey = Halm::Multicast::Fib::MfibHalmDirRouteKey;

  static constexpr double sockOpenPeriod = 1.0;
  static constexpr double vifRetryPeriod = 5.0;

  KernelMfibSm(L3::VrfName vrfName, Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
               Quib::Ptr<Config const> vifConfig, Quib::Ptr<Status> vifStatus,
               Quib::Ptr<Interface::DeviceIntfStatusDir> deviceIntfStatusDir, Plix::NamespaceName ns,
               Quib::Ptr<Quib::Clock const> clock, Quib::Ptr<KeyToSync const> keyToSync);
  ~KernelMfibSm() override;

  // Allocates and constructs a machine, then switches its notifications on.
  static Quib::Ptr<KernelMfibSm> KernelMfibSmIs(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                                Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                                Quib::Ptr<Config const> const& vifConfig,
                                                Quib::Ptr<Status> const& vifStatus,
                                                Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                                Plix::NamespaceName const& ns, Quib::Ptr<Quib::Clock const> const& clock,
                                                Quib::Ptr<KeyToSync const> const& keyToSync);

  // Switches every reactor, the application machines and the relay machine.
  void hasNotificationActiveIs(bool active);
  bool isNotificationActive() const { return active_; }

  L3::VrfName const& vrfName() const { return vrfName_; }
  Plix::AddressFamily af() const { return af_; }
  Plix::NamespaceName const& ns() const { return ns_; }
  Quib::Ptr<Config const> const& vifConfig() const { return vifConfig_; }
  // Follows another configuration entity (a machine that outlived its configuration) as if
  // it had been built with it: both limits are written, and the VIF allocations are brought
  // within its max.
  void vifConfigIs(Quib::Ptr<Config const> const& config);
  Quib::Ptr<Status> const& vifStatus() const { return vifStatus_; }
  Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir() const { return deviceIntfStatusDir_; }
  Quib::Ptr<KeyToSync const> const& keyToSync() const { return keyToSync_; }
  bool initialized() const { return initialized_; }
  int sock() const { return sock_; }
  std::uint32_t tryAddVifAgain() const { return tryAddVifAgain_; }
  bool vifUsed(VifIndex vif) const { return vifUsed_[vif]; }
  bool vifDelPending(VifIndex vif) const { return vifDelPending_.contains(vif); }
  Routing::Multicast::Notify::MrtIcmpV6RelaySm const* v6RelaySm() const { return v6RelaySm_.ptr(); }
  Zell::Timer const& sockOpenTimer() const { return *sockOpenTimer_; }
  Zell::Timer const& vifRetryTimer() const { return *vifRetryTimer_; }
  Zell::ReviewTimer const& reviewTimer() const { return *reviewTimer_; }

  // Initialisation.
  void handleInitialized();

  // The socket.
  void sockOpenTimerExpired();
  void doSetSocketOptions();
  void doSockClose();
  Quib::Ptr<Routing::Multicast::Notify::MrtIcmpV6RelaySm> v6RelaySmIs(std::string const& name,
                                                                      Plix::NamespaceName const& netNs,
                                                                      Quib::Ptr<Status const> const& vifStatus);
  void v6RelaySmDel();
  void handleMulticastMaxUnresolvedCacheEntries();
  void handleMulticastMaxUnresolvedPktBuffers();

  // VIFs.
  void allocateVif(Plix::IntfId intfId);
  void allocateVif();
  void setVif(Plix::IntfId intfId);
  void setVif();
  int doSetVifInKernel(int ifIndex, VifIndex idx) const;
  // 0 once the kernel holds no VIF `idx` any more, also when it had none.
  int doDelVifInKernel(VifIndex idx) const;
  void vifRetryTimerExpired();
  void handleIntfStatusAndDeviceName(Plix::IntfId intfId);
  void handleIntfStatusAndDeviceName();
  void intfIdCollSync();

  // Applications' requests and their aggregation.
  void handleApplication(std::string const& name);
  void handleApplication();
  Quib::OwnedColl<std::string, MulticastIntfsAppDirSm> multicastIntfsAppDirSm;
  Quib::Ptr<MulticastIntfsAppDirSm> multicastIntfsAppDirSmIs(std::string const& appName,
                                                             Quib::Ptr<Quib::Dir const> const& dir);
  void multicastIntfsAppDirSmDel(std::string const& appName);
  void multicastIntfsAppDirSmDelAll();
  Quib::Ptr<MulticastIntf> multicastIntf(Plix::IntfId intfId) const { return multicastIntf_(intfId); }
  std::size_t multicastIntfs() const { return multicastIntf_.size(); }
  Quib::Ptr<MulticastIntf> multicastIntfIs(Plix::IntfId intfId);
  Quib::Ptr<MulticastIntf> multicastIntfDel(Plix::IntfId intfId);
  void multicastIntfDelAll();
  // The three request sequences the application machines run for `app`.
  void doRequestIntf(Plix::IntfId intfId, std::string const& app);
  void doWithdrawIntf(Plix::IntfId intfId, std::string const& app);
  void doWithdrawAllIntfs(std::string const& app);

  // Routes.
  Quib::Ptr<MfibHalmColl const> const& mfibHalmDir() const { return mfibHalmReactor_.notifier(); }
  // Another collection than the one followed so far starts the full review again: its
  // tables may hold routes this machine never heard of.
  void mfibHalmDirIs(Quib::Ptr<MfibHalmColl const> const& coll);
  void handleMfibRouteChange(Table const* table, RouteKey const& key);
  void handleMfibRouteChange();
  // The table's ranking changed: each of its keys may have its best route elsewhere now.
  void handleMfibPreferenceChange(Table const* table);
  void doKickReview();
  void handleClock();
  void handleKeyToSync();
  void doSyncKey(Table const* halmPtrKey, RouteKey const& rk);
  void doSyncAllRoutes();
  void doSyncChangedRoutes();
  ChangedRouteSet const& changedRoute() const { return changedRoute_; }
  bool changedRouteHas(TableKey const& k) const { return changedRoute_.contains(k); }
  RouteKey const& bookmark() const { return bookmark_; }
  Table const* halmBookmark() const { return halmBookmark_.ptr(); }
  bool bookmarkNotNull() const { return bookmark_ != RouteKey::invalidRouteKey(); }
  bool reviewedOnce() const { return reviewedOnce_; }
  double reviewQuantum() const { return reviewQuantum_; }
  void reviewQuantumIs(double seconds) { reviewQuantum_ = seconds; }

  // The mirror audit.
  struct AuditTotals {
    std::uint64_t runs = 0;
    std::uint64_t added = 0;
    std::uint64_t replaced = 0;
    std::uint64_t removed = 0;
    std::uint64_t vifs = 0;
    std::uint64_t slices = 0;
    double longestSlice = 0;  // seconds, the whole review callback that carried the slice
    double busy = 0;          // seconds of the audit's own work in all its slices
  };
  void handleAuditConfig();
  void auditTimerExpired();
  // One slice of the audit under way, in the review callback that began at `sliceStart`.
  void doAudit(double sliceStart);
  AuditTotals const& auditTotals() const { return auditTotals_; }
  bool auditRunning() const { return auditRun_ != nullptr; }

 private:
  // One reactor per input; each only forwards to the machine.
  template <class Notifiee>
  class Reactor : public Notifiee {
   public:
    explicit Reactor(KernelMfibSm* sm) : sm_(sm) {}

   protected:
    KernelMfibSm* sm_;
  };
  class AppDirReactor : public Reactor<Quib::Dir::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onEntityPtr(Quib::Name const& name) override { sm_->handleApplication(std::string(name)); }
    void onEntityPtrquibImmediate() override { sm_->handleApplication(); }
    void onNotifier() override { sm_->handleApplication(); }
  };
  class ConfigReactor : public Reactor<Config::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onMaxUnresolvedCacheEntries() override { sm_->handleMulticastMaxUnresolvedCacheEntries(); }
    void onMaxUnresolvedPktBuffers() override { sm_->handleMulticastMaxUnresolvedPktBuffers(); }
    void onAudit() override { sm_->handleAuditConfig(); }
    void onNotifier() override {
      sm_->handleMulticastMaxUnresolvedCacheEntries();
      sm_->handleMulticastMaxUnresolvedPktBuffers();
      sm_->handleAuditConfig();
    }
  };
  class StatusReactor : public Reactor<Status::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onVifConfigColl(Plix::IntfId intfId) override { sm_->setVif(intfId); }
    void onVifConfigCollquibImmediate() override { sm_->setVif(); }
    void onNotifier() override { sm_->setVif(); }
  };
  class DeviceReactor : public Reactor<Interface::DeviceIntfStatusDir::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onIntfStatusAndDeviceName(Plix::IntfId intfId) override { sm_->handleIntfStatusAndDeviceName(intfId); }
  };
  class MfibHalmReactor : public Reactor<MfibHalmColl::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onHalmPtr(Table const* table) override { sm_->mfibHalmSync(table); }
  };
  // One per table of the route collection.
  class TableReactor : public Table::NotifieeConst {
   public:
    TableReactor(KernelMfibSm* sm, Table const* table) : sm_(sm), table_(table) {}
    void onRoute(RouteKey const& key) override { sm_->handleMfibRouteChange(table_, key); }
    void onPreference() override { sm_->handleMfibPreferenceChange(table_); }

   private:
    KernelMfibSm* sm_;
    Table const* table_;
  };
  class ClockReactor : public Reactor<Quib::Clock::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onTime() override { sm_->handleClock(); }
  };
  class KeyToSyncReactor : public Reactor<KeyToSync::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onChangeCount() override { sm_->handleKeyToSync(); }
    void onNotifier() override { sm_->handleKeyToSync(); }
  };
  class SockOpenTimerReactor : public Reactor<Zell::Timer::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onTime() override { sm_->sockOpenTimerExpired(); }
  };
  class VifRetryTimerReactor : public Reactor<Zell::Timer::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onTime() override { sm_->vifRetryTimerExpired(); }
  };
  class AuditTimerReactor : public Reactor<Zell::Timer::NotifieeConst> {
   public:
    using Reactor::Reactor;
    void onTime() override { sm_->auditTimerExpired(); }
  };
  // What one audit read back and how far it has come (KernelMfibSmAudit.cpp).
  struct AuditRun;

  using Route = Halm::Multicast::Fib::Route;
  // What doSyncKey sends for a key: nothing (the table does not hold the best route, or has
  // gone), nothing because the key is never programmed ((*,G)), an add or a delete.
  enum class MfcAction { none, skip, add, remove };
  // The per-key text traces (levels 7 to 9) are on. A run of keys reads this once and,
  // when they are off, takes a path without a trace test per key.
  static bool keyTraced();
  // doSyncKey for the key the full review's walk stands on, from the route the walk read
  // there; `traced` as keyTraced() gave it for the slice.
  void doSyncKey(Table const* table, RouteKey const& rk, Route const& walked, bool traced);
  // doSyncKey for a key alone, `traced` as read for the slice.
  void doSyncKey(Table const* table, RouteKey const& rk, bool traced);
  // The one-key programming: from the walk's route, or looked up when there is none.
  template <bool traced>
  void doSyncKeyAs(Table const* table, RouteKey const& rk, Route const* walked);
  template <bool traced>
  MfcAction mfcIntentAs(Table const* table, RouteKey const& rk, Route const* walked, MfcEntry& entry) const;
  // The intent for a key, quietly (the audit's question).
  MfcAction mfcIntent(Table const* table, RouteKey const& rk, Route const& walked, MfcEntry& entry) const;
  void doSendMfc(MfcAction action, RouteKey const& rk, MfcEntry const& entry);
  template <bool traced>
  void doSendMfcAs(MfcAction action, RouteKey const& rk, MfcEntry const& entry);

  // The audit's steps; each returns false while the slice's time is spent before its end.
  bool doAuditStart();
  void doAuditVifs(AuditRun& run, std::vector<Kernel::NamespaceSnapshot::Vif> const& vifs);
  bool doAuditIndex(AuditRun& run, double deadline);
  bool doAuditWalk(AuditRun& run, double deadline);
  void doAuditKey(AuditRun& run, Table const* table, RouteKey const& key, Route const& walked);
  bool doAuditSweep(AuditRun& run, double deadline);
  void doAuditFinish();
  void doRequestAuditSlice();
  // The normal path programmed `rk`: its result stands over what the audit read before.
  void auditKeyWon(RouteKey const& rk);

  // Keeps one TableReactor per table of the route collection (all of them when `table` is
  // none).
  void mfibHalmSync(Table const* table);
  void changedRouteIs(TableKey const& k) { changedRoute_.insert(k); }
  // Notes a change for the review, without kicking it.
  void doNoteRouteChange(Table const* table, RouteKey const& key);
  void changedRouteDelAll() { changedRoute_.clear(); }
  void bookmarksClear();
  // Deletes the registered VIF in the kernel and the registration; a refused delete keeps
  // the index in vifDelPending.
  void doUnsetVif(Plix::IntfId intfId, VifIndex vif);
  void doDeallocateVif(Plix::IntfId intfId);
  void doRetryVifDeletes();
  // The kernel device of an interface: its index, or none when missing.
  std::optional<std::uint32_t> kernelIfIndex(Plix::IntfId intfId) const;
  int level() const;

  L3::VrfName vrfName_;
  Plix::AddressFamily af_;
  AppDirReactor appDirReactor_{this};
  Quib::Ptr<Config const> vifConfig_;
  ConfigReactor configReactor_{this};
  Quib::Ptr<Status> vifStatus_;
  StatusReactor statusReactor_{this};
  MfibHalmReactor mfibHalmReactor_{this};
  Quib::ReactorColl<Table const*, TableReactor> mfibHalm_;
  Quib::Ptr<Interface::DeviceIntfStatusDir> deviceIntfStatusDir_;
  DeviceReactor deviceReactor_{this};
  Quib::OwnedColl<Plix::IntfId, MulticastIntf> multicastIntf_;
  std::vector<bool> vifUsed_ = std::vector<bool>(65536, false);
  std::map<VifIndex, Plix::IntfId> vifDelPending_;  // index -> the interface it was deleted for
  Plix::NamespaceName ns_;
  ClockReactor clockReactor_{this};
  std::unique_ptr<Zell::ReviewTimer> reviewTimer_;
  double minDelay_ = 0.01;
  Quib::Ptr<KeyToSync const> keyToSync_;
  KeyToSyncReactor keyToSyncReactor_{this};
  double reviewQuantum_ = 0.1;
  RouteKey bookmark_;
  Quib::Ptr<Table const> halmBookmark_;  // held, so that traces can name it once it has gone
  // The full review visits the tables in the order its first slice found them; a table
  // that arrives meanwhile comes last, one that leaves is skipped, and the bookmarked one
  // leaving ends the walk (the next kick starts a fresh one).
  Halm::Multicast::Fib::MfibHalmWalkOrder walkOrder_;
  ChangedRouteSet changedRoute_;
  bool reviewedOnce_ = false;
  Quib::Ptr<Zell::TimerWheel> timerWheel_;
  Quib::Ptr<Zell::Timer> sockOpenTimer_;
  Quib::Ptr<Zell::Timer> vifRetryTimer_;
  SockOpenTimerReactor sockOpenTimerReactor_{this};
  VifRetryTimerReactor vifRetryTimerReactor_{this};
  Quib::Ptr<Zell::Timer> auditTimer_;
  AuditTimerReactor auditTimerReactor_{this};
  std::shared_ptr<AuditRun> auditRun_;
  AuditTotals auditTotals_;
  bool auditDue_ = false;
  bool auditRepairing_ = false;  // doSyncKey is the audit's own
  bool auditUnreadableTraced_ = false;
  std::uint32_t tryAddVifAgain_ = 0;
  int sock_ = -1;
  MfcRecord mfcRecord_{af_};  // the last MFC add or delete sent, reused for the next
  bool mrtStarted_ = false;  // the start option succeeded on `sock_`
  Quib::Ptr<Routing::Multicast::Notify::MrtIcmpV6RelaySm> v6RelaySm_;
  bool initialized_ = false;
  bool active_ = false;
};

// The same as KernelMfibSm::KernelMfibSmIs, for the framework's generic construction.
Quib::Ptr<KernelMfibSm> kernelMfibSmFactory(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                            Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                            Quib::Ptr<Config const> const& vifConfig, Quib::Ptr<Status> const& vifStatus,
                                            Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                            Plix::NamespaceName const& ns, Quib::Ptr<Quib::Clock const> const& clock,
                                            Quib::Ptr<KeyToSync const> const& keyToSync);

}  // namespace Routing::KernelMfib
