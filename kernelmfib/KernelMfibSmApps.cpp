// KernelMfibSm: the applications' interface requests and the one set they are merged into.
// Every entry into or exit from the set goes straight to VIF allocation.

#include <vector>

#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "kernelmfib/MulticastIntfsAppDirSm.h"
#include "quib/ConstructorArgs.h"

namespace Routing::KernelMfib {

void KernelMfibSm::handleApplication(std::string const& name) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::handleApplication( " << name << " )";
  auto const& apps = appDirReactor_.notifier();
  if (auto dir = apps ? apps->entity<Quib::Dir>(name) : nullptr) {
    if (auto t = tr.at(7)) t << "Creating multicastIntfsAppDirSm for app " << name;
    multicastIntfsAppDirSmIs(name, dir);
    return;
  }
  auto sm = multicastIntfsAppDirSm(name);
  if (!sm) return;
  for (auto const& [vrf, appSm] : sm->multicastIntfsAppSm) appSm->doPrepareToDie();
  if (auto t = tr.at(7)) t << "Deleting multicastIntfsAppDirSm for app " << name;
  multicastIntfsAppDirSmDel(name);
}

void KernelMfibSm::handleApplication() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleApplication()";
  auto const& apps = appDirReactor_.notifier();
  if (!apps) return;
  // Machines of entries already gone are left to the per-entry callback.
  std::vector<std::string> names;
  for (auto const& [name, entry] : *apps) names.push_back(name);
  for (auto const& name : names) handleApplication(name);
}

Quib::Ptr<MulticastIntfsAppDirSm> KernelMfibSm::multicastIntfsAppDirSmIs(std::string const& appName,
                                                                          Quib::Ptr<Quib::Dir const> const& dir) {
  if (auto existing = multicastIntfsAppDirSm(appName)) {
    if (auto refusal = Quib::argDifference(existing->constructorArgs(), dir)) throw Quib::NameInUseException(*refusal);
    return existing;
  }
  // Built here rather than by the collection, which would compare the back pointer too;
  // the machine switches itself on while it is built.
  return multicastIntfsAppDirSm.isBy(appName, [&] { return Quib::make<MulticastIntfsAppDirSm>(appName, dir, this); });
}

void KernelMfibSm::multicastIntfsAppDirSmDel(std::string const& appName) { multicastIntfsAppDirSm.del(appName); }

void KernelMfibSm::multicastIntfsAppDirSmDelAll() { multicastIntfsAppDirSm.delAll(); }

Quib::Ptr<MulticastIntf> KernelMfibSm::multicastIntfIs(Plix::IntfId intfId) {
  if (auto existing = multicastIntf_(intfId)) return existing;
  auto member = multicastIntf_.is(intfId);
  allocateVif(intfId);
  return member;
}

Quib::Ptr<MulticastIntf> KernelMfibSm::multicastIntfDel(Plix::IntfId intfId) {
  auto member = multicastIntf_(intfId);
  if (!member) return member;
  multicastIntf_.del(intfId);
  allocateVif(intfId);
  member->parentIs(nullptr);
  return member;
}

void KernelMfibSm::multicastIntfDelAll() {
  while (!multicastIntf_.empty()) multicastIntfDel(multicastIntf_.begin()->first);
}

void KernelMfibSm::doRequestIntf(Plix::IntfId intfId, std::string const& app) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doRequestIntf( " << intfId << ", " << app << " )";
  auto member = multicastIntf(intfId);
  if (!member) {
    if (auto t = tr.at(7)) t << "Adding multicast intf " << intfId;
    // The VIF is sought before the first requester is recorded.
    member = multicastIntfIs(intfId);
  }
  member->requestorAppIs(app);
}

void KernelMfibSm::doWithdrawIntf(Plix::IntfId intfId, std::string const& app) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doWithdrawIntf( " << intfId << ", " << app << " )";
  auto member = multicastIntf(intfId);
  if (!member) return;
  member->requestorAppDel(app);
  if (member->requestorApps() > 0) return;
  if (auto t = tr.at(7)) t << "Removing multicast intf " << intfId;
  multicastIntfDel(intfId);
}

void KernelMfibSm::doWithdrawAllIntfs(std::string const& app) {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doWithdrawAllIntfs( " << app << " )";
  // Held by reference, so removing a member mid-walk disturbs nothing.
  std::vector<Quib::Ptr<MulticastIntf>> members;
  for (auto const& [intfId, member] : multicastIntf_) members.push_back(member);
  for (auto const& member : members) {
    if (!member->requestorAppDel(app)) continue;
    if (member->requestorApps() > 0) continue;
    if (auto t = tr.at(7)) t << "Removing multicast intf " << member->intfId();
    multicastIntfDel(member->intfId());
  }
}

}  // namespace Routing::KernelMfib
