// KernelMfibSm: making the kernel MFC agree with the best route of one key. The only place
// that writes MFC entries; it keeps no memory of what it wrote, so each add carries the
// whole entry.

#include "halm/RouteIntfIteratorConst.h"
#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "plix/SocketAt.h"

namespace Routing::KernelMfib {

namespace {

constexpr int mrtAddMfc = 204;
constexpr int mrtDelMfc = 205;

char const* tableName(Halm::Multicast::Fib::Status const* table) { return table ? table->name().c_str() : "none"; }

// A line of the machine's trace; on a quiet path, none at all, and no test of a level.
template <bool traced>
Trace::Line lineAt(int level) {
  if constexpr (traced) return kernelMfibTrace().at(level);
  return Trace::Line(nullptr, level);
}

}  // namespace

bool KernelMfibSm::keyTraced() {
  constexpr Trace::Handle::Levels perKey = 1u << 7 | 1u << 8 | 1u << 9;
  return (kernelMfibTrace().levels() & perKey) != 0;
}

void KernelMfibSm::doSyncKey(Table const* halmPtrKey, RouteKey const& rk) { doSyncKey(halmPtrKey, rk, keyTraced()); }

void KernelMfibSm::doSyncKey(Table const* table, RouteKey const& rk, Route const& walked, bool traced) {
  if (traced) return doSyncKeyAs<true>(table, rk, &walked);
  doSyncKeyAs<false>(table, rk, &walked);
}

void KernelMfibSm::doSyncKey(Table const* table, RouteKey const& rk, bool traced) {
  if (traced) return doSyncKeyAs<true>(table, rk, nullptr);
  doSyncKeyAs<false>(table, rk, nullptr);
}

template <bool traced>
void KernelMfibSm::doSyncKeyAs(Table const* table, RouteKey const& rk, Route const* walked) {
  if (auto t = lineAt<traced>(9)) {
    t << "KernelMfibSm::doSyncKey( " << static_cast<void const*>(table) << ", " << rk << " )";
  }
  auditKeyWon(rk);
  MfcEntry entry;
  MfcAction const action = mfcIntentAs<traced>(table, rk, walked, entry);
  if (action == MfcAction::add || action == MfcAction::remove) doSendMfcAs<traced>(action, rk, entry);
}

// The audit asks quietly: its findings have their own traces.
KernelMfibSm::MfcAction KernelMfibSm::mfcIntent(Table const* table, RouteKey const& rk, Route const& walked,
                                                MfcEntry& entry) const {
  return mfcIntentAs<false>(table, rk, &walked, entry);
}

template <bool traced>
KernelMfibSm::MfcAction KernelMfibSm::mfcIntentAs(Table const* table, RouteKey const& rk, Route const* walked,
                                                  MfcEntry& entry) const {
  if (rk.isStarG()) {
    if (auto t = lineAt<traced>(8)) t << "Skipping *,G route " << rk.group();
    return MfcAction::skip;
  }
  auto const& coll = mfibHalmDir();
  if (!coll || !coll->hasHalmPtr(table)) {
    if (auto t = lineAt<traced>(7)) t << "mfibHalm for the route " << rk << " does not exist.";
    return MfcAction::none;
  }
  Table const* working = table;
  // The route the walk stands on spares a lookup; one the walk saw leave is looked up.
  Route looked;
  Route const* route = walked;
  if (!route || route->isEmpty()) {
    looked = table->route(rk);
    route = &looked;
  }
  if (route->isEmpty()) {
    if (auto t = lineAt<traced>(8)) t << "Route " << rk << " is deleted from halm table " << tableName(table);
    auto best = coll->mfibHalm(rk);
    working = best.ptr();
    if (best) {
      looked = best->route(rk);
      // "Route" capitalised mid-sentence is the wording operators grep for.
      if (auto t = lineAt<traced>(8)) t << "Found alternate Route " << rk << " from halm table " << tableName(working);
    }
  } else if (!coll->isBestHeldRoute(table, rk)) {
    if (auto t = lineAt<traced>(8)) t << tableName(table) << " does not contain the best route for " << rk;
    return MfcAction::none;
  }
  if (route->isEmpty()) return MfcAction::remove;

  std::uint8_t const flags = route->flags();
  if (auto t = lineAt<traced>(8)) t << "Programming route " << rk << " from " << tableName(working);
  if (auto t = lineAt<traced>(8)) t << "iif Register " << ((flags & Route::iifRegister) ? 1 : 0);
  if (auto t = lineAt<traced>(8)) t << "oif Register " << ((flags & Route::oifRegister) ? 1 : 0);
  if (!route->iif().empty() && !(flags & Route::iifRegister) && (flags & Route::switchingState)) {
    if (auto t = lineAt<traced>(8)) t << "Route in switching state, remove the route from kernel: " << rk;
    return MfcAction::remove;
  }
  auto const& vifs = vifStatus_->vifStatusColl;
  for (Route::Intf const it : route->intfs()) {
    Plix::IntfId const intf = it.intfId;
    // The space before the colon is the wording operators grep for.
    if (auto t = lineAt<traced>(7)) t << "Iterating interface : " << intf;
    if (intf == Plix::IntfId::null0() || intf == Plix::IntfId::register0()) {
      if (auto t = lineAt<traced>(7)) t << "Skipping Null and Register interfaces";
      continue;
    }
    VifIndex const* vif = vifs.find(intf);
    if (!vif) {
      if (auto t = lineAt<traced>(8)) t << "Interface " << intf << " not found in vifStatusColl.";
      continue;
    }
    if (it.bits & Route::isIif) {
      if (auto t = lineAt<traced>(8)) t << "iif " << intf;
      entry.parent = *vif;
    } else if (it.bits & Route::isOif) {
      if (auto t = lineAt<traced>(8)) t << "oif " << intf;
      // The kernel's table ends at 512; an index beyond it cannot be written.
      if (*vif >= MfcEntry::kernelVifs) {
        if (auto t = lineAt<traced>(8)) t << "VIF " << *vif << " of " << intf << " is beyond the kernel's VIF table";
        continue;
      }
      entry.oifs.set(*vif);
    }
  }
  if (flags & Route::iifRegister) {
    if (auto t = lineAt<traced>(8)) t << "iif Register " << rk.pretty();
    entry.parent = 0;
  } else if (flags & Route::oifRegister) {
    if (auto t = lineAt<traced>(8)) t << "oif Register " << rk.pretty();
    entry.oifs.set(0);
  }
  // A Null0 incoming interface removes the entry, whatever the walk found.
  return route->iif() != Plix::IntfId::null0() ? MfcAction::add : MfcAction::remove;
}

void KernelMfibSm::doSendMfc(MfcAction action, RouteKey const& rk, MfcEntry const& entry) {
  if (keyTraced()) return doSendMfcAs<true>(action, rk, entry);
  doSendMfcAs<false>(action, rk, entry);
}

template <bool traced>
void KernelMfibSm::doSendMfcAs(MfcAction action, RouteKey const& rk, MfcEntry const& entry) {
  bool const v6 = af_ == Plix::AddressFamily::ipv6;
  bool const add = action == MfcAction::add;
  // A delete carries the entry as far as it was built: a switching-state or vanished route
  // has no parent and no outgoing VIF, a Null0 route what its interfaces gave.
  mfcRecord_.is(rk, entry);
  if (auto t = lineAt<traced>(8)) t << rk.pretty() << (add ? " is being added" : " is being deleted");
  if (Plix::setsockopt(sock_, level(), add ? mrtAddMfc : mrtDelMfc, mfcRecord_.data(), mfcRecord_.size()) == 0) return;
  if (auto t = lineAt<traced>(8)) {
    char const* failed = add ? (v6 ? "failed MRT6_ADD_MFC " : "failed MRT_ADD_MFC ")
                             : (v6 ? "failed MRT6_DEL_MFC " : "failed MRT_DEL_MFC ");
    t << failed << rk.pretty();
  }
}

}  // namespace Routing::KernelMfib
