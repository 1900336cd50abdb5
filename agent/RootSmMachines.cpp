// RootSm: the one decision per VRF, and the route-collection observers that trigger it.

#include "agent/AgentTrace.h"
#include "agent/RootSm.h"
#include "trace/Context.h"

namespace KernelMfibAgent {

void RootSm::handleVifConfig() {
  if (auto t = agentTrace().at(9)) t << "RootSm::handleVifConfig()";
  if (!initialized_) return;
  auto configs = configReactor_.notifier();
  if (!configs) return;
  std::vector<L3::VrfName> names;
  for (auto const& [name, config] : configs->vrfConfig) names.push_back(name);
  for (auto const& name : names) maybeCreateOrDeleteKernelMfibSm(name);
}

void RootSm::onVrfConfig(L3::VrfName const& vrfName) { maybeCreateOrDeleteKernelMfibSm(vrfName); }

void RootSm::onHalmColl(Quib::Name const& vrfName) { halmCollObserverSync(vrfName); }

void RootSm::halmCollObserverSync(Quib::Name const& vrfName) {
  L3::VrfName const vrf(vrfName);
  auto coll = mfibHalmDir_->halmColl(vrfName);
  if (!coll) return mfibHalmColl_.del(vrf);
  bool const fresh = mfibHalmColl_(vrf) == nullptr;
  mfibHalmColl_.is(this, vrf, Quib::Ptr<MfibHalmColl const>(coll));
  if (fresh) handleHalmMount(vrf);
}

void RootSm::handleHalmMount(L3::VrfName const& vrfName) {
  if (auto t = agentTrace().at(9)) t << "RootSm::handleHalmMount()";
  if (!initialized_) return;
  auto reactor = mfibHalmColl_(vrfName);
  if (!reactor || !reactor->notifier()) return;
  std::vector<Table const*> tables;
  for (auto const& table : reactor->notifier()->orderedTables()) tables.push_back(table.ptr());
  for (auto const* table : tables) handleHalmMount(vrfName, table);
}

void RootSm::handleHalmMount(L3::VrfName const& vrfName, Table const* table) {
  // No space before ")": the wording operators grep for.
  if (auto t = agentTrace().at(9)) {
    t << "RootSm::handleHalmMount( " << static_cast<void const*>(table) << ")";
  }
  if (!initialized_) return;
  maybeCreateOrDeleteKernelMfibSm(vrfName);
}

void RootSm::maybeCreateOrDeleteKernelMfibSm(L3::VrfName const& v) {
  // The VRF's machines are built here and write their trace lines under its name.
  Trace::ContextScope const vrfContext(Trace::context("vrf=" + v.str()));
  // The space before "(" is the wording operators grep for.
  if (auto t = agentTrace().at(9)) t << "RootSm::maybeCreateOrDeleteKernelMfibSm ( " << v << " )";
  if (!initialized_) return;
  auto routes = mfibHalmDir_->halmColl(v.str());
  // A collection whose last table is leaving counts as gone: that table's removal is the
  // last notification to reach this VRF before the collection itself goes.
  if (routes && routes->halmPtrs() == 0) routes = nullptr;
  auto configs = configReactor_.notifier();
  auto config = configs ? configs->vrfConfig(v) : Quib::Ptr<Routing::KernelMfib::Config>();
  auto vrfs = vrfListReactor_.notifier();
  auto status = vrfs ? vrfs->vrf(v) : Quib::Ptr<Ip::VrfStatusLocal>();
  bool const nsReady = v.isDefault() || (status && !status->networkNamespace().empty());
  bool const wanted = config && nsReady;

  // A machine that outlived its inputs (the default VRF's) follows the current ones.
  if (wanted && mfibSm.has(v)) mfibSm(v)->vifConfigIs(config);
  if (wanted && routes) {
    if (!mfibSm.has(v)) createVrf(v, "Creating new kernel Mfib Sm for vrf ");
    mfibSm(v)->mfibHalmDirIs(routes);
    auto vifStatus = vifStatusColl_->vrfStatus(v);
    auto key = keyToSync(v);
    vifMrouteSyncSm.isBy(v, [&] {
      return Routing::KernelMfib::VifMrouteSyncSm::VifMrouteSyncSmIs(v, vifStatus, routes, clock_, key);
    })->mfibHalmDirIs(routes);
    return;
  }
  if (wanted) {
    if (!mfibSm.has(v)) return createVrf(v, "Creating new kernel Mfib Sm without Mfib halm for vrf ");
    mfibSm(v)->mfibHalmDirIs(nullptr);
    vifMrouteSyncSm.del(v);
    if (auto t = agentTrace().at(3)) {
      t << "Deleting vifMrouteSyncSm since mfib halm for vrf " << v << " was unmounted.";
    }
    return;
  }
  if (mfibSm.has(v) && !v.isDefault()) deleteVrf(v);
}

void RootSm::createVrf(L3::VrfName const& v, char const* message) {
  auto vifStatus = vifStatusColl_->vrfStatus.is(v);
  auto key = keyToSync.is(v);
  if (auto t = agentTrace().at(3)) t << message << v;
  Plix::NamespaceName const ns = nsFromVrfName(v);
  createKniSm(v);
  auto config = configReactor_.notifier()->vrfConfig(v);
  auto devices = kernelVrfIntfStatusDir(v.str())->deviceIntfStatusDir();
  mfibSm.isBy(v, [&] {
    return Routing::KernelMfib::KernelMfibSm::KernelMfibSmIs(v, af_, multicastIntfsAppDir_, config, vifStatus, devices,
                                                             ns, clock_, key);
  });
}

void RootSm::deleteVrf(L3::VrfName const& v) {
  if (auto t = agentTrace().at(3)) t << "Deleting kernel Mfib Sm for vrf " << v;
  deleteKniSm(v);
  vifMrouteSyncSm.del(v);
  mfibSm.del(v);
  keyToSync.del(v);
  vifStatusColl_->vrfStatus.del(v);
}

}  // namespace KernelMfibAgent
