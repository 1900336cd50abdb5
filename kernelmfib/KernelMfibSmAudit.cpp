// KernelMfibSm: the mirror audit. Every `audit` seconds of the VRF's configuration, once the
// full review has finished, the kernel's VIFs and MFC entries of the machine's family are
// read back and compared with the published VIF status and the best routes of the tables;
// each difference is repaired through the machine's own operations. The kernel is read once
// per audit; the comparison then runs in slices of one review quantum on the review timer's
// credits. A key that the normal path programs after the read keeps that result: the
// audit's view of it is stale.
//
// Repairs, in this order: kernel VIFs that no registered interface holds are deleted;
// registered interfaces whose device is present but whose kernel VIF is missing or on
// another device are registered again; then every key of the tables is compared (missing:
// added, different or using a repaired VIF: programmed again, present where the tables
// remove it: deleted) and kernel entries of keys that no table holds are deleted.

#include <algorithm>
#include <bitset>
#include <cstring>
#include <map>
#include <sstream>
#include <unordered_set>
#include <utility>

#include "halm/MfibHalmCollRouteIteratorConst.h"
#include "kernel/Backend.h"
#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "quib/PositionIndex.h"
#include "quib/System.h"

namespace Routing::KernelMfib {

namespace {

using Snapshot = Kernel::NamespaceSnapshot;
using Vifs = std::bitset<MfcEntry::kernelVifs>;

Vifs oifsOf(Snapshot::Mfc const& mfc) {
  Vifs oifs;
  for (auto vif : mfc.oifs) {
    if (vif < MfcEntry::kernelVifs) oifs.set(vif);
  }
  return oifs;
}

bool uses(MfcEntry const& entry, Vifs const& vifs) {
  return (entry.oifs & vifs).any() || (entry.parent < MfcEntry::kernelVifs && vifs.test(entry.parent));
}

// "iif=1 oifs=2,3" ("oifs=-" for none), as `show kernel` prints an entry.
std::string entryText(std::uint16_t parent, Vifs const& oifs) {
  std::ostringstream os;
  os << "iif=" << parent << " oifs=";
  char const* separator = "";
  for (auto vif = oifs._Find_first(); vif < oifs.size(); vif = oifs._Find_next(vif)) {
    os << separator << vif;
    separator = ",";
  }
  if (oifs.none()) os << "-";
  return os.str();
}

KernelMfibSm::RouteKey routeKeyOf(Plix::AddressFamily af, Snapshot::Mfc const& mfc) {
  std::uint8_t const len = af == Plix::AddressFamily::ipv6 ? 128 : 32;
  return {Plix::IpGenPrefix(af, mfc.source, len), Plix::IpGenPrefix(af, mfc.group, len)};
}

}  // namespace

struct KernelMfibSm::AuditRun {
  // A kernel entry's identity: its source and group addresses.
  struct Key {
    Snapshot::Address source;
    Snapshot::Address group;
    friend bool operator==(Key const&, Key const&) = default;
  };
  struct KeyHash {
    std::size_t operator()(Key const& k) const noexcept {
      std::uint64_t words[4];
      std::memcpy(words, k.source.data(), 16);
      std::memcpy(words + 2, k.group.data(), 16);
      std::uint64_t h = 0x9e3779b97f4a7c15ull;
      for (auto w : words) h = (h ^ w) * 0x100000001b3ull + (h >> 29);
      return static_cast<std::size_t>(h ^ (h >> 32));
    }
  };
  static Key keyOf(RouteKey const& rk) { return {rk.source().address(), rk.group().address()}; }
  static Key keyOf(Snapshot::Mfc const& mfc) { return {mfc.source, mfc.group}; }
  static constexpr std::size_t none = static_cast<std::size_t>(-1);

  enum class Phase { index, walk, sweep };

  // The entries by key. Kernel keys are distinct, so placing one compares no entry.
  void indexIs(std::size_t i) {
    std::size_t const hash = KeyHash()(keyOf(mfcs[i]));
    index.atIs(index.slot(hash, [](std::uint32_t) { return false; }), static_cast<std::uint32_t>(i), hash);
  }
  std::size_t position(Key const& k) const {
    std::uint32_t const at = index.find(KeyHash()(k), [&](std::uint32_t p) { return keyOf(mfcs[p]) == k; });
    return at == Quib::HashedPositionIndex::none ? none : at;
  }

  Phase phase = Phase::index;
  std::vector<Snapshot::Mfc> mfcs;  // the kernel's entries of the machine's family
  std::size_t next = 0;             // the next entry to index or sweep
  Quib::HashedPositionIndex index;
  std::vector<bool> seen;  // entries whose key a table holds
  Vifs kernelVifs;         // the kernel's VIFs once the VIF repairs are done
  Vifs repairedVifs;
  Halm::Multicast::Fib::MfibHalmWalkOrder order;  // the walk's tables, as it started
  Quib::Ptr<Table const> table;                    // where the walk resumes; none: at the first table
  RouteKey key;                  // the all-zero key: at the table's first route
  std::unordered_set<Key, KeyHash> won;
  std::uint64_t added = 0;
  std::uint64_t replaced = 0;
  std::uint64_t removed = 0;
  std::uint64_t vifs = 0;
};

void KernelMfibSm::handleAuditConfig() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::handleAuditConfig()";
  if (!initialized_) return;
  std::uint32_t const seconds = vifConfig_->audit();
  if (seconds == 0) {
    auditRun_ = nullptr;
    auditDue_ = false;
    if (auditTimer_) auditTimer_->timeMinIs(Quib::Clock::never);
    return;
  }
  auto const* backend = Kernel::Backend::current();
  if (!backend || !backend->readsBack()) {
    if (!std::exchange(auditUnreadableTraced_, true)) {
      if (auto t = tr.at(4)) t << "Audit is off: the kernel backend cannot read the kernel back";
    }
    return;
  }
  if (!auditTimer_) {
    auditTimer_ = timerWheel_->newTimer("auditTimer");
    auditTimerReactor_.notifierIs(auditTimer_);
    auditTimerReactor_.hasNotificationActiveIs(active_);
  }
  // A new period counts from now; an audit under way goes on.
  if (!auditRun_) auditTimer_->timeMinIs(Quib::System::currentTime() + seconds);
}

void KernelMfibSm::auditTimerExpired() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::auditTimerExpired()";
  if (!initialized_ || vifConfig_->audit() == 0) return;
  if (auditRun_) return doRequestAuditSlice();
  auditDue_ = true;
  if (reviewedOnce_ || !mfibHalmDir()) return doRequestAuditSlice();
  // The audit follows the full review. One that lost its bookmark waits for a kick: give it
  // one, and look again a period later.
  if (!reviewTimer_->reviewPending()) doKickReview();
  auditTimer_->timeMinIs(Quib::System::currentTime() + vifConfig_->audit());
}

void KernelMfibSm::doRequestAuditSlice() {
  if (reviewTimer_->reviewPending()) return;
  double const credits = reviewTimer_->credits();
  if (credits >= 1.0) return reviewTimer_->doUpdateNextReview();
  // Waiting on the review timer itself would hold back the kicks of route changes until the
  // credit comes; the audit's own timer waits instead.
  auditTimer_->timeMinIs(Quib::System::currentTime() + (1.0 - credits) * reviewTimer_->fillInterval());
}

void KernelMfibSm::doAudit(double sliceStart) {
  // Runs in every review callback; only an audit that is due or under way is traced.
  if (!auditRun_ && !auditDue_) return;
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doAudit()";
  // The full review comes first, and changed routes go before the audit: the changed
  // review has asked for the callback that goes on with them.
  // Without tables nothing is left to review, and the changes noted before the tables went
  // name tables that hold nothing now: left queued they would hold the audit back for good.
  if (!mfibHalmDir()) {
    changedRoute_.clear();
  } else if (!reviewedOnce_ || !changedRoute_.empty()) {
    return;
  }
  // A callback whose reviews spent the quantum leaves the audit for the next one; a slice
  // of its own always gets on by at least one step.
  double const deadline = sliceStart + reviewQuantum_;
  double const begun = Quib::System::currentTime();
  if (begun > sliceStart && begun >= deadline) return doRequestAuditSlice();
  if (!auditRun_ && !doAuditStart()) return;
  AuditRun& run = *auditRun_;
  bool done = false;
  switch (run.phase) {
    case AuditRun::Phase::index:
      if (!doAuditIndex(run, deadline)) break;
      [[fallthrough]];
    case AuditRun::Phase::walk:
      if (!doAuditWalk(run, deadline)) break;
      [[fallthrough]];
    case AuditRun::Phase::sweep: done = doAuditSweep(run, deadline); break;
  }
  double const now = Quib::System::currentTime();
  ++auditTotals_.slices;
  auditTotals_.longestSlice = std::max(auditTotals_.longestSlice, now - sliceStart);
  auditTotals_.busy += now - begun;
  reviewTimer_->lastReviewTimeIs(now);
  if (done) return doAuditFinish();
  if (auto t = tr.at(6)) t << "Suspending audit";
  doRequestAuditSlice();
}

bool KernelMfibSm::doAuditStart() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doAuditStart()";
  auditDue_ = false;
  auditTimer_->timeMinIs(Quib::Clock::never);
  // Without the routing socket the kernel holds nothing of this machine's, and nothing can
  // be repaired.
  auto const* backend = Kernel::Backend::current();
  if (sock_ < 0 || !backend) {
    if (auto t = tr.at(6)) t << "Audit skipped: no multicast-routing socket";
    auditTimer_->timeMinIs(Quib::System::currentTime() + vifConfig_->audit());
    return false;
  }
  // A socket whose start failed holds nothing and takes no request: the audit sets it up
  // again, and repairs what the kernel then holds.
  if (!mrtStarted_) {
    if (auto t = tr.at(4)) t << "Audit: multicast routing is not started on socket " << sock_ << "; setting it up again";
    doSetSocketOptions();
  }
  auto snapshots = backend->snapshot(ns_);
  // A socket that started routing in a namespace that shows none stays in a namespace that
  // was removed (and perhaps made again): the audit opens one in the namespace of the name.
  bool const routing = std::any_of(snapshots.begin(), snapshots.end(), [](auto const& s) { return s.mrtOn; });
  if (mrtStarted_ && !routing) {
    if (auto t = tr.at(4)) t << "Audit: socket " << sock_ << " routes in no namespace " << ns_ << "; opening another";
    doSockClose();
    sock_ = -1;
    mrtStarted_ = false;
    sockOpenTimerExpired();
    if (sock_ < 0) {
      auditTimer_->timeMinIs(Quib::System::currentTime() + vifConfig_->audit());
      return false;
    }
    snapshots = backend->snapshot(ns_);
  }
  auto run = std::make_shared<AuditRun>();
  std::vector<Snapshot::Vif> vifs;
  for (auto& snapshot : snapshots) {
    std::erase_if(snapshot.vifs, [this](auto const& vif) { return vif.af != af_; });
    std::erase_if(snapshot.mfcs, [this](auto const& mfc) { return mfc.af != af_; });
    vifs = std::move(snapshot.vifs);
    run->mfcs = std::move(snapshot.mfcs);
  }
  if (auto t = tr.at(6)) t << "Starting audit of " << run->mfcs.size() << " entries and " << vifs.size() << " VIFs";
  auditRun_ = run;
  doAuditVifs(*run, vifs);
  return true;
}

void KernelMfibSm::doAuditVifs(AuditRun& run, std::vector<Snapshot::Vif> const& vifs) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doAuditVifs()";
  std::map<VifIndex, Snapshot::Vif> kernel;
  for (auto const& vif : vifs) {
    kernel.emplace(vif.index, vif);
    if (vif.index < MfcEntry::kernelVifs) run.kernelVifs.set(vif.index);
  }
  auto const& intfIds = vifStatus_->intfIdColl;
  for (auto const& [index, vif] : kernel) {
    // Index 0 is the socket's own Register VIF, whatever the kernel says of it.
    if (index == 0 || vif.flags == Snapshot::VifFlags::registerVif || intfIds.has(index)) continue;
    if (auto t = tr.at(7)) {
      t << "Audit: kernel VIF " << index << " on ifindex " << vif.ifindex << " is held by no interface; deleting it";
    }
    ++run.vifs;
    if (doDelVifInKernel(index) == 0 && index < MfcEntry::kernelVifs) run.kernelVifs.reset(index);
  }
  // The socket set-up adds the Register VIF once and does not look back; a failed add is
  // repaired here.
  if (!kernel.contains(0)) {
    if (auto t = tr.at(7)) t << "Audit: the Register VIF 0 is missing from the kernel; adding it again";
    ++run.vifs;
    if (doSetVifInKernel(0, 0) == 0) run.kernelVifs.set(0);
  }
  // A hash map: sorted by interface for a stable order of repairs.
  std::map<Plix::IntfId, VifIndex> const registered(vifStatus_->vifStatusColl.begin(), vifStatus_->vifStatusColl.end());
  for (auto const& [intf, index] : registered) {
    auto const ifIndex = kernelIfIndex(intf);
    if (!ifIndex || index >= MfcEntry::kernelVifs) continue;
    auto const it = kernel.find(index);
    bool const missing = it == kernel.end() || it->second.flags == Snapshot::VifFlags::registerVif;
    if (!missing && it->second.ifindex == *ifIndex) continue;
    if (auto t = tr.at(7)) {
      t << "Audit: VIF " << index << " of " << intf;
      if (missing) {
        t << " is missing from the kernel";
      } else {
        t << " is on ifindex " << it->second.ifindex << " instead of " << *ifIndex;
      }
      t << "; registering it again";
    }
    ++run.vifs;
    if (!missing && doDelVifInKernel(index) == 0) run.kernelVifs.reset(index);
    if (doSetVifInKernel(static_cast<int>(*ifIndex), index) != 0) continue;
    run.kernelVifs.set(index);
    run.repairedVifs.set(index);
  }
}

bool KernelMfibSm::doAuditIndex(AuditRun& run, double deadline) {
  run.index.roomIs(run.mfcs.size());
  while (run.next < run.mfcs.size()) {
    run.indexIs(run.next);
    // Indexing one entry is cheap: the clock is read once in a while.
    if (++run.next % 1024 == 0 && Quib::System::currentTime() >= deadline) return false;
  }
  run.seen.assign(run.mfcs.size(), false);
  run.phase = AuditRun::Phase::walk;
  return true;
}

bool KernelMfibSm::doAuditWalk(AuditRun& run, double deadline) {
  auto const& coll = mfibHalmDir();
  if (coll) {
    // The walk keeps the table order it started with, as the full review does; a table that
    // has gone since the last slice is skipped and the walk goes on with the next one.
    if (!run.table) run.order.start(*coll);
    auto tables = run.table ? run.order.tablesFrom(*coll, run.table.ptr(), run.table->id())
                            : run.order.tablesFrom(*coll, nullptr, 0);
    if (!tables.empty()) {
      bool const resume = run.key.isValid() && tables.front() == run.table;
      auto const routePosition = resume ? tables.front()->lowerBound(run.key) : tables.front()->begin();
      Halm::Multicast::Fib::MfibHalmCollRouteIteratorConst it(std::move(tables), routePosition);
      while (!it.done()) {
        doAuditKey(run, it.table(), it.key(), it.route());
        it.updateToBestRouteIterators();
        if (!it.done() && Quib::System::currentTime() >= deadline) {
          run.table = coll->halmPtr(it.table());
          run.key = it.key();
          return false;
        }
      }
    }
  }
  run.table = nullptr;
  run.phase = AuditRun::Phase::sweep;
  run.next = 0;
  return true;
}

void KernelMfibSm::doAuditKey(AuditRun& run, Table const* table, RouteKey const& key, Route const& walked) {
  MfcEntry entry;
  MfcAction const action = mfcIntent(table, key, walked, entry);
  // Not the best table: the visit of the table that holds the best route decides.
  if (action == MfcAction::none) return;
  AuditRun::Key const k = AuditRun::keyOf(key);
  std::size_t const at = run.position(k);
  Snapshot::Mfc const* kernel = nullptr;
  if (at != AuditRun::none) {
    run.seen[at] = true;
    kernel = &run.mfcs[at];
  }
  if (action == MfcAction::skip || (!run.won.empty() && run.won.count(k))) return;
  auto& tr = kernelMfibTrace();
  if (action == MfcAction::remove) {
    if (!kernel) return;
    if (auto t = tr.at(7)) {
      t << "Audit: " << key.pretty() << " is in the kernel (" << entryText(kernel->iif, oifsOf(*kernel))
        << ") where the tables remove it";
    }
    ++run.removed;
  } else if (!kernel) {
    if (auto t = tr.at(7)) t << "Audit: " << key.pretty() << " is missing from the kernel";
    ++run.added;
  } else {
    // What the kernel keeps of an add: only the outgoing VIFs it holds.
    Vifs const wanted = entry.oifs & run.kernelVifs;
    Vifs const held = oifsOf(*kernel);
    if (kernel->iif == entry.parent && held == wanted) {
      if (!uses(entry, run.repairedVifs)) return;
      if (auto t = tr.at(7)) t << "Audit: " << key.pretty() << " uses a VIF registered again; programming it again";
    } else if (auto t = tr.at(7)) {
      t << "Audit: " << key.pretty() << " differs: kernel " << entryText(kernel->iif, held) << ", tables "
        << entryText(entry.parent, wanted);
    }
    ++run.replaced;
  }
  auditRepairing_ = true;
  doSyncKey(table, key, walked, keyTraced());
  auditRepairing_ = false;
}

bool KernelMfibSm::doAuditSweep(AuditRun& run, double deadline) {
  auto& tr = kernelMfibTrace();
  auto const& coll = mfibHalmDir();
  while (run.next < run.mfcs.size()) {
    std::size_t const i = run.next++;
    if (run.seen[i]) continue;
    auto const& mfc = run.mfcs[i];
    if (!run.won.empty() && run.won.count(AuditRun::keyOf(mfc))) continue;
    RouteKey const key = routeKeyOf(af_, mfc);
    // A key a table took since the walk passed it is the normal path's.
    if (coll && coll->mfibHalm(key)) continue;
    if (auto t = tr.at(7)) {
      t << "Audit: " << key.pretty() << " (" << entryText(mfc.iif, oifsOf(mfc)) << ") is held by no table; deleting it";
    }
    ++run.removed;
    doSendMfc(MfcAction::remove, key, MfcEntry{});
    if (run.next < run.mfcs.size() && Quib::System::currentTime() >= deadline) return false;
  }
  return true;
}

void KernelMfibSm::doAuditFinish() {
  auto const run = std::move(auditRun_);
  auditTotals_.runs += 1;
  auditTotals_.added += run->added;
  auditTotals_.replaced += run->replaced;
  auditTotals_.removed += run->removed;
  auditTotals_.vifs += run->vifs;
  if (auto t = kernelMfibTrace().at(4)) {
    t << "Audit of " << run->mfcs.size() << " entries: added " << run->added << ", replaced " << run->replaced
      << ", removed " << run->removed << ", VIFs repaired " << run->vifs;
  }
  auditTimer_->timeMinIs(Quib::System::currentTime() + vifConfig_->audit());
}

void KernelMfibSm::auditKeyWon(RouteKey const& rk) {
  if (!auditRun_ || auditRepairing_) return;
  auditRun_->won.insert(AuditRun::keyOf(rk));
}

}  // namespace Routing::KernelMfib
