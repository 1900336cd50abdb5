#include "kernelmfib/VifMrouteSyncSm.h"

#include <utility>
#include <vector>

#include "halm/IpGenRouteKeyVorlak.h"
#include "halm/MfibHalmCollRouteIteratorConst.h"
#include "quib/System.h"
#include "trace/Registry.h"
#include "trace/vorlak/Message.h"

namespace Routing::KernelMfib {

namespace {

Trace::Handle& tr() {
  static Trace::Handle& handle = Trace::handle("VifMrouteSyncSm");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] Trace::Handle& declared = tr();

// Binary-trace levels: walk progress, then each route requested.
constexpr Vorlak::Level progress = 3;
constexpr Vorlak::Level perRoute = 4;

Vorlak::Message<> const starting{progress, "Starting review to update VIFs"};
Vorlak::Message<std::int32_t, VifMrouteSyncSm::RouteKey> const resuming{
    progress, "Resuming review to update VIFs from halm table {} and route {}"};
Vorlak::Message<> const suspending{progress, "Suspending review to update VIFs"};
Vorlak::Message<> const finished{progress, "Finished review to update VIFs"};
Vorlak::Message<VifMrouteSyncSm::RouteKey> const needsReprogramming{perRoute, "Route {} needs to be re-programmed"};

// Operators grep for this exact text, the operation's full signature run into the message.
constexpr char const* doReviewSignature = "void Routing::KernelMfib::VifMrouteSyncSm::doReview()";

}  // namespace

VifMrouteSyncSm::VifMrouteSyncSm(L3::VrfName vrfName, Quib::Ptr<Status const> vifStatus,
                                 Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir,
                                 Quib::Ptr<Quib::Clock const> clock, Quib::Ptr<KeyToSync> keyToSync)
    : vrfName_(std::move(vrfName)),
      vifStatus_(std::move(vifStatus)),
      mfibHalmDir_(std::move(mfibHalmDir)),
      keyToSync_(std::move(keyToSync)) {
  // A first attachment runs nothing; only pointing the clock reactor elsewhere later does.
  vifStatusReactor_.notifierIs(vifStatus_);
  if (clock) clockReactor_.notifierIs(clock);
  hasNotificationActiveIs(true);
  doReview();
  handleInitialized();
}

VifMrouteSyncSm::~VifMrouteSyncSm() = default;

Quib::Ptr<VifMrouteSyncSm> VifMrouteSyncSm::VifMrouteSyncSmIs(
    L3::VrfName const& vrfName, Quib::Ptr<Status const> const& vifStatus,
    Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir, Quib::Ptr<Quib::Clock const> const& clock,
    Quib::Ptr<KeyToSync> const& keyToSync) {
  auto sm = Quib::make<VifMrouteSyncSm>(vrfName, vifStatus, mfibHalmDir, clock, keyToSync);
  sm->hasNotificationActiveIs(true);
  return sm;
}

Quib::Ptr<VifMrouteSyncSm> vifMrouteSyncSmFactory(L3::VrfName const& vrfName, Quib::Ptr<Status const> const& vifStatus,
                                                  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir,
                                                  Quib::Ptr<Quib::Clock const> const& clock,
                                                  Quib::Ptr<KeyToSync> const& keyToSync) {
  return VifMrouteSyncSm::VifMrouteSyncSmIs(vrfName, vifStatus, mfibHalmDir, clock, keyToSync);
}

void VifMrouteSyncSm::hasNotificationActiveIs(bool active) {
  active_ = active;
  vifStatusReactor_.hasNotificationActiveIs(active);
  clockReactor_.hasNotificationActiveIs(active);
}

void VifMrouteSyncSm::handleInitialized() {
  if (auto t = tr().at(9)) t << "VifMrouteSyncSm::handleInitialized()";
  // The timer takes its delays in single precision.
  auto const minDelay = static_cast<float>(minDelay_);
  auto const maxDelay = static_cast<float>(maxDelay_);
  if (reviewTimer_ && reviewTimer_->reactor() == &clockReactor_) {
    reviewTimer_->parametersIs(fillInterval, maxCredits, minDelay, maxDelay);
  } else {
    reviewTimer_ = Quib::make<Zell::ReviewTimer>(&clockReactor_, fillInterval, maxCredits, minDelay, maxDelay);
  }
  insertChangeSet_ = IntfChangeSet::IntfChangeSetIs();
  initialized_ = true;
}

void VifMrouteSyncSm::handleNewVifAllocation(Plix::IntfId intfId) {
  if (auto t = tr().at(9)) t << "VifMrouteSyncSm::handleNewVifAllocation( " << intfId << " )";
  VifIndex const vif = vifStatus_ ? vifStatus_->vifStatusColl(intfId) : 0;
  // Texts prefixed with the machine's address and the operation's name: the wording
  // operators grep for.
  if (vif == 0) {
    // Allocation never gives VIF 0 to an interface, so this is a removal.
    if (auto t = tr().at(8)) {
      t << static_cast<void const*>(this) << " handleNewVifAllocation vif deletions are ignored. IntfId: " << intfId;
    }
    return;
  }
  if (auto t = tr().at(8)) {
    t << static_cast<void const*>(this) << " handleNewVifAllocation vif changed for IntfId: " << intfId;
  }
  insertChangeSet_->changedIntfIs(intfId);
  doUpdateReviewTimer();
}

void VifMrouteSyncSm::mfibHalmDirIs(Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& coll) {
  if (auto t = tr().at(9)) t << "VifMrouteSyncSm::mfibHalmDirIs( " << (coll ? coll->name() : "none") << " )";
  if (!coll || coll == mfibHalmDir_) return;
  mfibHalmDir_ = coll;
  if (!reviewChangeSet_) return;
  for (auto intf : *reviewChangeSet_) insertChangeSet_->changedIntfIs(intf);
  reviewChangeSet_ = nullptr;
  markerIs(nullptr, RouteKey::invalidRouteKey());
  reviewTimer_->doUpdateNextReviewImmediately();
}

void VifMrouteSyncSm::doUpdateReviewTimer() {
  if (auto t = tr().at(9)) t << "VifMrouteSyncSm::doUpdateReviewTimer()";
  if (!initialized_) return;
  // A pending slice, immediate or not, stays where it is.
  if (reviewTimer_->reviewPending()) return;
  if (insertChangeSet_->empty()) return;
  reviewTimer_->doUpdateNextReview();
}

std::optional<Plix::IntfId> VifMrouteSyncSm::changedIntfOf(Halm::Multicast::Fib::Route const& route) const {
  // Incoming and outgoing interfaces alike: a stale VIF in either makes the entry wrong.
  for (auto const intf : route.intfs()) {
    if (reviewChangeSet_->changedIntf(intf.intfId)) return intf.intfId;
  }
  return std::nullopt;
}

void VifMrouteSyncSm::doRequestKey(Table const* table, RouteKey const& key) {
  if (auto t = tr().at(7)) t << static_cast<void const*>(this) << " doReview This key needs to be re-programmed " << key;
  needsReprogramming.log(key);
  // Table and key first: the increment is the request, served with what the entity holds.
  keyToSync_->halmKey.is(table);
  keyToSync_->key.is(key);
  keyToSync_->changeCountInc(1);
}

void VifMrouteSyncSm::markerIs(Table const* table, RouteKey const& key) {
  halmMarker_ = table;
  halmMarkerId_ = table ? table->id() : 0;
  halmMarkerName_ = table ? table->name() : std::string();
  marker_ = key;
}

void VifMrouteSyncSm::doSuspend(Table const* table, RouteKey const& key) {
  if (auto t = tr().at(4)) t << static_cast<void const*>(this) << " doReview, Suspending review";
  suspending.log();
  markerIs(table, key);
  reviewTimer_->doUpdateNextReviewImmediately();
}

void VifMrouteSyncSm::doFinish() {
  if (auto t = tr().at(4)) t << static_cast<void const*>(this) << " doReview, Finished review";
  finished.log();
  reviewChangeSet_ = nullptr;
  markerIs(nullptr, RouteKey::invalidRouteKey());
  reviewTimer_->lastReviewTimeIs(Quib::System::currentTime());
  doUpdateReviewTimer();
}

void VifMrouteSyncSm::doReview() {
  if (auto t = tr().at(9)) t << "VifMrouteSyncSm::doReview()";
  if (!initialized_) return;
  if (!mfibHalmDir_ || mfibHalmDir_->halmPtrs() == 0) {
    if (auto t = tr().at(7)) t << "No mfibs present in halm dir, nothing to do.";
    return;
  }

  std::vector<Quib::Ptr<Table const>> tables;
  if (!walkSuspended()) {
    if (auto t = tr().at(4)) t << static_cast<void const*>(this) << " doReview, Starting review";
    starting.log();
    reviewChangeSet_ = std::exchange(insertChangeSet_, IntfChangeSet::IntfChangeSetIs());
    walkOrder_.start(*mfibHalmDir_);
    tables = walkOrder_.tablesFrom(*mfibHalmDir_, nullptr, 0);
  } else {
    if (auto t = tr().at(4)) {
      t << static_cast<void const*>(this) << " doReview, Resuming review from halm table " << halmMarkerName_
        << " and route " << marker_;
    }
    resuming.log(static_cast<std::int32_t>(halmMarkerId_), marker_);
    tables = walkOrder_.tablesFrom(*mfibHalmDir_, halmMarker_, halmMarkerId_);
  }
  bool const resumed = walkSuspended();
  bool const lost = resumed && (tables.empty() || tables.front().ptr() != halmMarker_ ||
                                tables.front()->id() != halmMarkerId_);
  if (lost) {
    // The table the walk stopped in has left: the walk goes on with the first route of the
    // next table in its order, or finishes when none is left.
    if (auto t = tr().at(7)) t << doReviewSignature << "No Halm tables found";
    if (tables.empty()) return doFinish();
  }
  auto const routePosition = resumed && !lost ? tables.front()->lowerBound(marker_) : tables.front()->begin();
  Halm::Multicast::Fib::MfibHalmCollRouteIteratorConst it(std::move(tables), routePosition);
  double const deadline = Quib::System::currentTime() + reviewQuantum_;
  while (!it.done()) {
    Table const* current = it.table();
    RouteKey const key = it.key();
    if (auto t = tr().at(7)) t << "Selecting " << key << " from halm table " << current->name();
    // The route the walk stands on spares a lookup; one the walk saw leave is looked up.
    Halm::Multicast::Fib::Route route = it.route();
    if (route.isEmpty()) route = current->route(key);
    if (auto intf = changedIntfOf(route)) {
      // The leading space is the wording operators grep for.
      if (auto t = tr().at(7)) t << " Interface " << *intf << " is in the changed set";
      doRequestKey(current, key);
    }
    it.updateToBestRouteIterators();
    if (Quib::System::currentTime() < deadline) continue;
    // A deadline met on the last route finishes the walk rather than suspending it.
    if (it.done()) break;
    return doSuspend(it.table(), it.key());
  }
  doFinish();
}

}  // namespace Routing::KernelMfib
