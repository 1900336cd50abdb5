// KernelMfibSm: following the route tables, and the reviews that program them in
// time-bounded slices: one full review of all routes, then the changed keys.

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "halm/IpGenRouteKeyVorlak.h"
#include "halm/MfibHalmCollRouteIteratorConst.h"
#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "quib/System.h"
#include "trace/vorlak/Message.h"

namespace Routing::KernelMfib {

namespace {

// Binary-trace levels: review progress, then each key. Some binary texts differ from their
// text traces ("for all routes", "of all routes"); both are the wordings operators know.
constexpr Vorlak::Level progress = 3;
constexpr Vorlak::Level perKey = 4;

Vorlak::Message<> const startChanged{progress, "Starting review of changed routes"};
Vorlak::Message<> const finishedChanged{progress, "Review of changed routes finished"};
Vorlak::Message<std::uint64_t> const suspendedChanged{progress, "Suspending review with {} routes left"};
Vorlak::Message<> const startAll{progress, "Starting review for all routes"};
Vorlak::Message<> const resumeAll{progress, "Resuming review for all routes"};
Vorlak::Message<> const suspendAll{progress, "Suspending review of all routes"};
Vorlak::Message<> const finishedAll{progress, "Finished review of all routes"};
Vorlak::Message<Routing::Multicast::Fib::IpGenRouteKey, std::int32_t> const syncingKey{
    perKey, "Syncing key {} from table {}"};

std::string tableName(Halm::Multicast::Fib::Status const* table) { return table ? table->name() : "none"; }

// Read once per slice: with the per-key text and binary traces off, each key goes without them.
bool sliceTraced(bool keyTraced) { return keyTraced || Vorlak::Writer::forLevel(syncingKey.level()) != nullptr; }

void traceSyncing(KernelMfibSm::RouteKey const& key, Halm::Multicast::Fib::Status const* table, std::uint32_t id) {
  if (auto t = kernelMfibTrace().at(7)) t << "Syncing " << key << " from halm table " << tableName(table);
  syncingKey.log(key, static_cast<std::int32_t>(id));
}

}  // namespace

void KernelMfibSm::mfibHalmDirIs(Quib::Ptr<MfibHalmColl const> const& coll) {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::mfibHalmDirIs( " << (coll ? coll->name() : "none") << " )";
  if (coll == mfibHalmReactor_.notifier()) return;
  // A collection the machine did not hold before is reviewed in full, as a machine built
  // with it would review it; one that goes takes the walk's place with it.
  if (coll) reviewedOnce_ = false;
  if (coll || mfibHalmReactor_.notifier()) bookmarksClear();
  mfibHalmReactor_.notifierIs(coll);
  mfibHalmReactor_.hasNotificationActiveIs(active_);
  mfibHalmSync(nullptr);
}

void KernelMfibSm::mfibHalmSync(Table const* table) {
  auto const& coll = mfibHalmReactor_.notifier();
  std::vector<Table const*> gone;
  for (auto const& [t, reactor] : mfibHalm_) {
    if ((!table || t == table) && (!coll || !coll->halmPtr(t))) gone.push_back(t);
  }
  for (auto const* t : gone) mfibHalm_.del(t);
  if (!coll) return;
  std::vector<Quib::Ptr<Table const>> fresh;
  for (auto const& t : coll->orderedTables()) {
    if ((!table || t.ptr() == table) && !mfibHalm_(t.ptr())) fresh.push_back(t);
  }
  for (auto const& t : fresh) {
    mfibHalm_.is(this, t.ptr(), t);
    handleMfibRouteChange();
  }
}

void KernelMfibSm::handleMfibRouteChange(Table const* table, RouteKey const& key) {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleMfibRouteChange( " << key << " )";
  doNoteRouteChange(table, key);
  doKickReview();
}

void KernelMfibSm::doNoteRouteChange(Table const* table, RouteKey const& key) {
  TableKey const pair(table, key);
  if (auto t = kernelMfibTrace().at(8)) t << "Route changed in Halm Table " << pair;
  changedRouteIs(pair);
}

void KernelMfibSm::handleMfibPreferenceChange(Table const* table) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::handleMfibPreferenceChange( " << tableName(table) << " )";
  // Only a table of the collection has a reactor.
  auto const& coll = mfibHalmDir();
  if (auto t = tr.at(8)) t << "Preference of halm table " << tableName(table) << " is now " << table->preference();
  // Each key is noted with the table that holds its best route now: the review programs a
  // key only from its best table, and this table may just have lost that place. There is
  // one for every key here: this table holds them all.
  for (auto const& key : *table) doNoteRouteChange(coll->mfibHalm(key).ptr(), key);
  doKickReview();
}

void KernelMfibSm::handleMfibRouteChange() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleMfibRouteChange()";
  doKickReview();
}

void KernelMfibSm::doKickReview() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doKickReview()";
  if (!initialized_) return;
  if (auto t = tr.at(3)) t << "Kicking review";
  if (!reviewTimer_->reviewPending()) reviewTimer_->doUpdateNextReviewImmediately();
}

void KernelMfibSm::handleClock() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleClock()";
  if (!initialized_) return;
  double const sliceStart = Quib::System::currentTime();
  if (mfibHalmDir()) {
    doSyncAllRoutes();
    doSyncChangedRoutes();
  }
  // After the reviews: route changes go first. The audit also runs without tables, when
  // every kernel entry is one that no table holds.
  doAudit(sliceStart);
}

void KernelMfibSm::handleKeyToSync() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleKeyToSync( " << keyToSync_->key() << " )";
  doSyncKey(keyToSync_->halmKey(), keyToSync_->key());
}

void KernelMfibSm::doSyncChangedRoutes() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doSyncChangedRoutes()";
  if (!reviewedOnce_) return;
  // Operators grep for this wording as it stands.
  if (auto t = tr.at(4)) t << "Starting/resuming of changed review";
  startChanged.log();
  double const deadline = Quib::System::currentTime() + reviewQuantum_;
  bool const traced = sliceTraced(keyTraced());
  // Keys are taken a batch at a time so that their table lookups overlap: the pending keys
  // follow the key order and the table keeps its routes in hash order, so each lookup
  // would otherwise wait on memory several times.
  constexpr std::size_t batchSize = 16;
  std::array<RouteKey, batchSize> keys;
  std::array<std::size_t, batchSize> hashes;
  std::array<std::uint32_t, batchSize> positions;
  std::size_t taken = 0, next = 0;
  Table const* table = nullptr;
  std::uint32_t tableId = 0;
  std::uint64_t changes = 0;
  while (!changedRoute_.empty() && Quib::System::currentTime() < deadline) {
    if (next == taken) {
      table = changedRoute_.frontTable();
      tableId = changedRoute_.frontTableId();
      taken = changedRoute_.frontKeys(keys);
      next = 0;
      changes = changedRoute_.changes();
      positions.fill(Quib::HashedPositionIndex::none);
      if (table) {
        for (std::size_t i = 0; i < taken; ++i) hashes[i] = table->hashPrefetched(keys[i]);
        for (std::size_t i = 0; i < taken; ++i) table->entryPrefetched(hashes[i]);
        for (std::size_t i = 0; i < taken; ++i) positions[i] = table->positionPrefetched(keys[i], hashes[i]);
      }
    }
    RouteKey const& key = keys[next];
    if (traced) traceSyncing(key, table, tableId);
    // An absent key is looked up again, as it is without a batch.
    doSyncKey(table, key, table ? table->routeAt(positions[next]) : Route::emptyRoute(), traced);
    ++next;
    // Syncing a key notes no change, so the pair just synced is still the first.
    changedRoute_.popFront();
    // Were one noted all the same, the batch would no longer be the first pairs.
    if (changedRoute_.changes() != changes) next = taken;
  }
  if (changedRoute_.empty()) {
    if (auto t = tr.at(4)) t << "Review of changed routes finished";
    finishedChanged.log();
    reviewTimer_->lastReviewTimeIs(Quib::System::currentTime());
    return;
  }
  if (auto t = tr.at(4)) t << "Suspending review with " << changedRoute_.size() << " routes left";
  suspendedChanged.log(static_cast<std::uint64_t>(changedRoute_.size()));
  reviewTimer_->doUpdateNextReviewImmediately();
}

void KernelMfibSm::bookmarksClear() {
  halmBookmark_ = nullptr;
  bookmark_ = RouteKey::invalidRouteKey();
  walkOrder_.clear();
}

void KernelMfibSm::doSyncAllRoutes() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doSyncAllRoutes()";
  if (reviewedOnce_) return;
  // From before the walk finds its place: putting freshly filled tables in key order is
  // part of the slice.
  double const deadline = Quib::System::currentTime() + reviewQuantum_;
  Quib::Ptr<Table const> const sliceStart = halmBookmark_;
  if (!halmBookmark_ && !bookmarkNotNull()) {
    if (auto t = tr.at(4)) t << "Starting review of all routes";
    startAll.log();
  } else {
    if (auto t = tr.at(4)) t << "Resuming review at " << tableName(halmBookmark_.ptr()) << ", " << bookmark_;
    resumeAll.log();
  }
  auto const& coll = mfibHalmDir();
  std::vector<Quib::Ptr<Table const>> tables;
  if (!halmBookmark_) {
    walkOrder_.start(*coll);
    tables = walkOrder_.tablesFrom(*coll, nullptr, 0);
  } else if (coll->halmPtr(halmBookmark_.ptr())) {
    tables = walkOrder_.tablesFrom(*coll, halmBookmark_.ptr(), halmBookmark_->id());
  }
  // No table at all, or the bookmarked one has left: the next kick starts a fresh walk.
  if (tables.empty()) {
    if (auto t = tr.at(8)) t << "mfibHalm at " << tableName(halmBookmark_.ptr()) << " does not exist.";
    return bookmarksClear();
  }
  auto const routePosition = bookmarkNotNull() ? tables.front()->lowerBound(bookmark_) : tables.front()->begin();
  Halm::Multicast::Fib::MfibHalmCollRouteIteratorConst it(std::move(tables), routePosition);
  bool const traced = sliceTraced(keyTraced());
  while (!it.done()) {
    RouteKey const key = it.key();
    Table const* current = it.table();
    if (traced) traceSyncing(key, current, current ? current->id() : 0);
    doSyncKey(current, key, it.route(), traced);
    if (Quib::System::currentTime() >= deadline) {
      // A quantum ending on the last route finishes rather than suspending.
      it.updateToBestRouteIterators();
      if (it.done()) break;
      // Names where this slice started (none for a walk's first) and the last key synced,
      // not the bookmark: operators read it so.
      if (auto t = tr.at(4)) t << "Suspending review at " << tableName(sliceStart.ptr()) << ", " << key;
      suspendAll.log();
      halmBookmark_ = coll->halmPtr(it.table());
      bookmark_ = it.key();
      reviewTimer_->doUpdateNextReviewImmediately();
      return;
    }
    it.updateToBestRouteIterators();
  }
  if (auto t = tr.at(4)) t << "Finished review of all routes";
  finishedAll.log();
  bookmarksClear();
  reviewedOnce_ = true;
}

}  // namespace Routing::KernelMfib
