#pragma once
// Re-programs the routes that use an interface once that interface gets its VIF: it
// collects such interfaces and walks the VRF's routes in time-bounded slices, handing
// every route that uses one of them to the VRF's KeyToSync, whose KernelMfibSm programs it
// before the request returns. The machine never talks to the kernel itself.
//
// Interfaces are collected in insertChangeSet. A walk takes that set as reviewChangeSet
// and leaves a fresh one behind, so interfaces that change meanwhile wait for the next walk
// and every walk runs to the end of all tables against the set it started with. A slice
// ends once reviewQuantum has passed, tested after each route, and resumes at the first
// route it did not visit (halmMarker, marker); an empty position means no walk is
// suspended. Removed VIFs start nothing, and VIFs present when the machine is built are
// not collected: the reactor hears changes only.
//
// A walk visits the tables in the order they ranked when it started (MfibHalmWalkOrder):
// a table whose preference changes meanwhile keeps its place, one that arrives is visited
// after the others, one that leaves is skipped. When the table a suspended walk stopped in
// has left, the walk goes on with the first route of the next table in its order, so it
// still reaches its end and matches every collected interface against every table left.

#include <cstdint>
#include <optional>
#include <string>

#include "entities/Status.h"
#include "halm/IpGenRouteKey.h"
#include "halm/MfibHalmColl.h"
#include "halm/MfibHalmWalkOrder.h"
#include "halm/Status.h"
#include "kernelmfib/IntfChangeSet.h"
#include "kernelmfib/KeyToSync.h"
#include "plix/IntfId.h"
#include "plix/VrfName.h"
#include "quib/Clock.h"
#include "quib/Ptr.h"
#include "zell/ReviewTimer.h"

namespace Routing::KernelMfib {

class VifMrouteSyncSm : public Quib::PtrInterface {
 public:
  using Table = Halm::Multicast::Fib::Status;
  using MfibHalmColl = Halm::Multicast::Fib::MfibHalmColl;
  using RouteKey = Routing::Multicast::Fib::IpGenRouteKey;

  static constexpr double fillInterval = 1.0;
  static constexpr std::uint32_t maxCredits = 4;

  VifMrouteSyncSm(L3::VrfName vrfName, Quib::Ptr<Status const> vifStatus,
                  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir, Quib::Ptr<Quib::Clock const> clock,
                  Quib::Ptr<KeyToSync> keyToSync);
  ~VifMrouteSyncSm() override;

  // Allocates and constructs a machine, then switches its notifications on.
  static Quib::Ptr<VifMrouteSyncSm> VifMrouteSyncSmIs(L3::VrfName const& vrfName,
                                                      Quib::Ptr<Status const> const& vifStatus,
                                                      Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir,
                                                      Quib::Ptr<Quib::Clock const> const& clock,
                                                      Quib::Ptr<KeyToSync> const& keyToSync);

  L3::VrfName const& vrfName() const { return vrfName_; }
  Quib::Ptr<Status const> const& vifStatus() const { return vifStatus_; }
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir() const { return mfibHalmDir_; }
  // Follows another route collection of the VRF. A walk under way cannot go on in tables it
  // has not started with: its interfaces wait for the next walk, which starts at once.
  void mfibHalmDirIs(Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& coll);
  Quib::Ptr<Quib::Clock const> const& clock() const { return clockReactor_.notifier(); }
  // Pointing an active machine at another clock runs a slice at once.
  void clockIs(Quib::Ptr<Quib::Clock const> const& clock) { clockReactor_.notifierIs(clock); }
  Quib::Ptr<KeyToSync> const& keyToSync() const { return keyToSync_; }
  Quib::Ptr<IntfChangeSet> const& insertChangeSet() const { return insertChangeSet_; }
  Quib::Ptr<IntfChangeSet> const& reviewChangeSet() const { return reviewChangeSet_; }
  Quib::Ptr<Zell::ReviewTimer> const& reviewTimer() const { return reviewTimer_; }
  double reviewQuantum() const { return reviewQuantum_; }
  void reviewQuantumIs(double seconds) { reviewQuantum_ = seconds; }
  double minDelay() const { return minDelay_; }
  void minDelayIs(double seconds) { minDelay_ = seconds; }
  double maxDelay() const { return maxDelay_; }
  void maxDelayIs(double seconds) { maxDelay_ = seconds; }
  Table const* halmMarker() const { return halmMarker_; }
  RouteKey const& marker() const { return marker_; }
  bool walkSuspended() const { return halmMarker_ != nullptr || marker_ != RouteKey::invalidRouteKey(); }
  bool initialized() const { return initialized_; }

  bool isNotificationActive() const { return active_; }
  // Switches both reactors.
  void hasNotificationActiveIs(bool active);

  // Asks the review timer for a slice when interfaces wait and none is pending.
  void doUpdateReviewTimer();
  // One slice of a walk: starts one, or resumes the suspended one.
  void doReview();
  void handleNewVifAllocation(Plix::IntfId intfId);
  // Builds the review timer (or re-paces the one on the same reactor) and the first set.
  void handleInitialized();

 private:
  class VifStatusReactor : public Status::NotifieeConst {
   public:
    explicit VifStatusReactor(VifMrouteSyncSm* sm) : sm_(sm) {}
    void onVifStatusColl(Plix::IntfId intfId) override { sm_->handleNewVifAllocation(intfId); }

   private:
    VifMrouteSyncSm* sm_;
  };
  class ClockReactor : public Quib::Clock::NotifieeConst {
   public:
    explicit ClockReactor(VifMrouteSyncSm* sm) : sm_(sm) {}
    void onTime() override { sm_->doReview(); }
    void onNotifier() override {
      if (isNotificationActive()) sm_->doReview();
    }

   private:
    VifMrouteSyncSm* sm_;
  };

  // The first interface of the route that the walk's set holds; none when no interface is.
  std::optional<Plix::IntfId> changedIntfOf(Halm::Multicast::Fib::Route const& route) const;
  void doRequestKey(Table const* table, RouteKey const& key);
  void doSuspend(Table const* table, RouteKey const& key);
  void doFinish();
  void markerIs(Table const* table, RouteKey const& key);

  L3::VrfName vrfName_;
  Quib::Ptr<Status const> vifStatus_;
  VifStatusReactor vifStatusReactor_{this};
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir_;
  ClockReactor clockReactor_{this};
  Quib::Ptr<KeyToSync> keyToSync_;
  Quib::Ptr<IntfChangeSet> insertChangeSet_;
  Quib::Ptr<IntfChangeSet> reviewChangeSet_;
  Quib::Ptr<Zell::ReviewTimer> reviewTimer_;
  double reviewQuantum_ = 5.0;
  double minDelay_ = 0.01;
  double maxDelay_ = 0.05;
  // Not held: a table that leaves the VRF is released; its id and name say which it was.
  Table const* halmMarker_ = nullptr;
  std::uint32_t halmMarkerId_ = 0;
  std::string halmMarkerName_;
  RouteKey marker_;
  Halm::Multicast::Fib::MfibHalmWalkOrder walkOrder_;
  bool initialized_ = false;
  bool active_ = false;
};

// The same as VifMrouteSyncSm::VifMrouteSyncSmIs, for the framework's generic construction.
Quib::Ptr<VifMrouteSyncSm> vifMrouteSyncSmFactory(L3::VrfName const& vrfName, Quib::Ptr<Status const> const& vifStatus,
                                                  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir,
                                                  Quib::Ptr<Quib::Clock const> const& clock,
                                                  Quib::Ptr<KeyToSync> const& keyToSync);

}  // namespace Routing::KernelMfib
