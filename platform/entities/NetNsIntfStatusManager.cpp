#include "entities/NetNsIntfStatusManager.h"

#include <set>

#include "entities/NetNsIntfStatusManagerRoot.h"
#include "trace/Registry.h"

namespace Interface {

namespace {

Trace::Handle& trace() {
  static Trace::Handle& handle = Trace::handle("NetNsIntfStatusManager");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] Trace::Handle& declared = trace();

}  // namespace

NetNsIntfStatusManager::NetNsIntfStatusManager(Plix::NamespaceName ns, NetNsIntfStatusManagerRoot const* root,
                                               Quib::Ptr<DeviceIntfStatusDir> deviceIntfStatusDir,
                                               Quib::Ptr<KernelNetInfo::Status const> kniStatus)
    : ns_(std::move(ns)), root_(root), deviceIntfStatusDir_(std::move(deviceIntfStatusDir)) {
  kniReactor_.notifierIs(kniStatus);
}

NetNsIntfStatusManager::~NetNsIntfStatusManager() = default;

void NetNsIntfStatusManager::hasNotificationActiveIs(bool active) {
  kniReactor_.hasNotificationActiveIs(active);
  if (active) handleIntf();
}

void NetNsIntfStatusManager::handleIntf(Plix::IntfId intfId) {
  if (!isNotificationActive() || !deviceIntfStatusDir_) return;
  auto& dir = deviceIntfStatusDir_->intfStatusAndDeviceName;
  IntfStatusAndDeviceName entry = entryFor(intfId);
  bool const keep = !entry.empty() || (!root_->filterByNetNs() && root_->intfStatus(intfId));
  if (!keep) {
    if (!dir.has(intfId)) return;
    if (auto t = trace().at(7)) t << ns_ << ": " << intfId << " has no device";
    dir.del(intfId);
    return;
  }
  if (auto const* held = dir.find(intfId); held && *held == entry) return;
  if (auto t = trace().at(7)) t << ns_ << ": " << intfId << " is " << entry;
  dir.is(intfId, entry);
}

void NetNsIntfStatusManager::handleIntf() {
  if (!isNotificationActive() || !deviceIntfStatusDir_) return;
  auto keep = keepAlive();
  std::set<Plix::IntfId> ids;
  for (auto intfId : root_->intfs()) ids.insert(intfId);
  for (auto const& [intfId, entry] : deviceIntfStatusDir_->intfStatusAndDeviceName) ids.insert(intfId);
  for (auto intfId : ids) handleIntf(intfId);
}

void NetNsIntfStatusManager::handleDevice(std::string const& deviceName) {
  if (!isNotificationActive()) return;
  auto keep = keepAlive();
  for (auto intfId : root_->intfsWithDevice(deviceName)) handleIntf(intfId);
}

// A reader of the directory may delete this manager while it is still writing.
Quib::Ptr<NetNsIntfStatusManager const> NetNsIntfStatusManager::keepAlive() const {
  return references() > 0 ? Quib::Ptr<NetNsIntfStatusManager const>(this) : nullptr;
}

IntfStatusAndDeviceName NetNsIntfStatusManager::entryFor(Plix::IntfId intfId) const {
  auto status = root_->intfStatus(intfId);
  auto const& kni = kniReactor_.notifier();
  if (!status || !kni) return {};
  std::string const& deviceName = status->deviceName();
  if (deviceName.empty()) return {};
  auto const* ifIndex = kni->ifIndex.find(deviceName);
  if (!ifIndex) return {};
  return {status, deviceName, *ifIndex};
}

}  // namespace Interface
