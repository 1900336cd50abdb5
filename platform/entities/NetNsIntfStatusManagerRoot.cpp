#include "entities/NetNsIntfStatusManagerRoot.h"

#include "trace/Registry.h"

namespace Interface {

namespace {

Trace::Handle& trace() {
  static Trace::Handle& handle = Trace::handle("NetNsIntfStatusManagerRoot");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] Trace::Handle& declared = trace();

}  // namespace

NetNsIntfStatusManagerRoot::NetNsIntfStatusManagerRoot(Quib::Ptr<AllIntfStatusDir const> allIntfStatusDir,
                                                       Quib::Ptr<AllIntfStatusLocalDir const> allIntfStatusLocalDir,
                                                       bool filterByNetNs)
    : allIntfStatusDir_(std::move(allIntfStatusDir)),
      allIntfStatusLocalDir_(std::move(allIntfStatusLocalDir)),
      filterByNetNs_(filterByNetNs) {
  allReactor_.notifierIs(allIntfStatusDir_);
  localReactor_.notifierIs(allIntfStatusLocalDir_);
}

NetNsIntfStatusManagerRoot::~NetNsIntfStatusManagerRoot() = default;

void NetNsIntfStatusManagerRoot::hasNotificationActiveIs(bool active) {
  active_ = active;
  allReactor_.hasNotificationActiveIs(active);
  localReactor_.hasNotificationActiveIs(active);
  for (auto& [intfId, reactor] : intfs_) reactor->hasNotificationActiveIs(active);
  if (!active) {
    for (auto const& manager : managers()) manager->hasNotificationActiveIs(false);
    return;
  }
  handleIntf();
}

Quib::Ptr<NetNsIntfStatusManager> NetNsIntfStatusManagerRoot::intfStatusManagerIs(
    Quib::Ptr<DeviceIntfStatusDir> const& deviceIntfStatusDir, Quib::Ptr<KernelNetInfo::Status const> const& kniStatus,
    Plix::NamespaceName const& ns) {
  NetNsIntfStatusManagerRoot const* self = this;
  // The namespace's manager is built here and writes its trace lines under its name.
  Trace::ContextScope const nsContext(Trace::context("ns=" + ns.str()));
  ManagerKey const key(ns, deviceIntfStatusDir.ptr());
  if (auto held = intfStatusManager_(key)) {
    if (!Quib::argDifference(held->constructorArgs(), self, deviceIntfStatusDir, kniStatus)) return held;
    intfStatusManager_.del(key);
  }
  if (auto t = trace().at(3)) {
    t << "intfStatusManagerIs( " << ns << " ) fills "
      << (deviceIntfStatusDir ? deviceIntfStatusDir->fullName() : "<none>")
      << (kniStatus ? "" : " without kernel devices");
  }
  auto manager = intfStatusManager_.isBy(key, [&] {
    auto made = Quib::make<NetNsIntfStatusManager>(ns, self, deviceIntfStatusDir, kniStatus);
    // A root that is off keeps its managers off too.
    made->hasNotificationActiveIs(active_);
    return made;
  });
  return manager;
}

void NetNsIntfStatusManagerRoot::intfStatusManagerDel(Plix::NamespaceName const& ns,
                                                      Quib::Ptr<DeviceIntfStatusDir const> const& dir) {
  ManagerKey const key(ns, dir.ptr());
  if (!intfStatusManager_.has(key)) return;
  if (auto t = trace().at(3)) t << "intfStatusManagerDel( " << ns << " ) stops " << (dir ? dir->fullName() : "<none>");
  intfStatusManager_.del(key);
}

void NetNsIntfStatusManagerRoot::intfStatusManagerDel(Plix::NamespaceName const& ns) {
  std::vector<Quib::Ptr<DeviceIntfStatusDir const>> dirs;
  for (auto const& [key, manager] : intfStatusManager_) {
    if (key.first == ns) dirs.push_back(manager->deviceIntfStatusDir());
  }
  for (auto const& dir : dirs) intfStatusManagerDel(ns, dir);
}

Quib::Ptr<IntfStatus const> NetNsIntfStatusManagerRoot::intfStatus(Plix::IntfId intfId) const {
  auto it = intfs_.find(intfId);
  if (it == intfs_.end()) return nullptr;
  return it->second->notifier();
}

std::vector<Plix::IntfId> NetNsIntfStatusManagerRoot::intfs() const {
  std::vector<Plix::IntfId> ids;
  ids.reserve(intfs_.size());
  for (auto const& [intfId, reactor] : intfs_) ids.push_back(intfId);
  return ids;
}

std::vector<Plix::IntfId> NetNsIntfStatusManagerRoot::intfsWithDevice(std::string const& deviceName) const {
  auto it = intfsByDevice_.find(deviceName);
  if (it == intfsByDevice_.end()) return {};
  return {it->second.begin(), it->second.end()};
}

void NetNsIntfStatusManagerRoot::handleIntf(Plix::IntfId intfId) {
  auto keep = keepAlive();
  refreshIntf(intfId);
  for (auto const& manager : managers()) manager->handleIntf(intfId);
}

void NetNsIntfStatusManagerRoot::handleIntf() {
  auto keep = keepAlive();
  std::set<Plix::IntfId> ids;
  for (auto const& [intfId, reactor] : intfs_) ids.insert(intfId);
  if (allIntfStatusDir_) {
    for (auto const& [intfId, status] : allIntfStatusDir_->intfStatus) ids.insert(intfId);
  }
  if (allIntfStatusLocalDir_) {
    for (auto const& [intfId, status] : allIntfStatusLocalDir_->intfStatus) ids.insert(intfId);
  }
  for (auto intfId : ids) refreshIntf(intfId);
  for (auto const& manager : managers()) manager->hasNotificationActiveIs(active_);
}

Quib::Ptr<IntfStatus const> NetNsIntfStatusManagerRoot::lookupIntfStatus(Plix::IntfId intfId) const {
  if (allIntfStatusDir_) {
    if (auto status = allIntfStatusDir_->intfStatus(intfId)) return status;
  }
  if (allIntfStatusLocalDir_) return allIntfStatusLocalDir_->intfStatus(intfId);
  return nullptr;
}

void NetNsIntfStatusManagerRoot::refreshIntf(Plix::IntfId intfId) {
  Quib::Ptr<IntfStatus const> status = intfId.empty() ? nullptr : lookupIntfStatus(intfId);
  auto it = intfs_.find(intfId);
  if (!status) {
    if (it == intfs_.end()) return;
    unindexDevice(intfId, it->second->indexedDevice);
    intfs_.erase(it);
    return;
  }
  if (it == intfs_.end()) {
    it = intfs_.emplace(intfId, std::make_unique<IntfReactor>(this, intfId)).first;
    it->second->hasNotificationActiveIs(active_);
  }
  IntfReactor& reactor = *it->second;
  reactor.notifierIs(status);
  std::string const& deviceName = status->deviceName();
  if (reactor.indexedDevice == deviceName) return;
  unindexDevice(intfId, reactor.indexedDevice);
  reactor.indexedDevice = deviceName;
  indexDevice(intfId, deviceName);
}

void NetNsIntfStatusManagerRoot::indexDevice(Plix::IntfId intfId, std::string const& deviceName) {
  if (deviceName.empty()) return;
  intfsByDevice_[deviceName].insert(intfId);
}

void NetNsIntfStatusManagerRoot::unindexDevice(Plix::IntfId intfId, std::string const& deviceName) {
  auto it = intfsByDevice_.find(deviceName);
  if (it == intfsByDevice_.end()) return;
  it->second.erase(intfId);
  if (it->second.empty()) intfsByDevice_.erase(it);
}

// A reader of a device directory may release the root while it is still writing.
Quib::Ptr<NetNsIntfStatusManagerRoot const> NetNsIntfStatusManagerRoot::keepAlive() const {
  return references() > 0 ? Quib::Ptr<NetNsIntfStatusManagerRoot const>(this) : nullptr;
}

// A copy: a reader reacting to a directory change may add or remove managers.
std::vector<Quib::Ptr<NetNsIntfStatusManager>> NetNsIntfStatusManagerRoot::managers() const {
  std::vector<Quib::Ptr<NetNsIntfStatusManager>> all;
  all.reserve(intfStatusManager_.size());
  for (auto const& [ns, manager] : intfStatusManager_) all.push_back(manager);
  return all;
}

}  // namespace Interface
