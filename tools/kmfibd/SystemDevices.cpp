#include "tools/kmfibd/SystemDevices.h"

#include "entities/IntfStatus.h"

namespace Kmfibd {

SystemDevices::SystemDevices(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock,
                             Interface::AllIntfStatusDir& intfs, Publish publish)
    : intfs_(intfs),
      publish_(std::move(publish)),
      source_(loop, std::move(clock),
              [this](Plix::NamespaceName const& ns, Netlink::LinkMonitor::Devices const& devices) {
                handleDevices(ns, devices);
              }) {}

void SystemDevices::explicitIntfIs(Plix::IntfId intf) {
  explicit_.insert(intf);
  implicit_.erase(intf);
}

void SystemDevices::explicitIntfDel(Plix::IntfId intf) {
  explicit_.erase(intf);
  doImplicitIntfs();
}

void SystemDevices::handleDevices(Plix::NamespaceName const& ns, Netlink::LinkMonitor::Devices const& devices) {
  auto& names = names_[ns];
  names.clear();
  for (auto const& [name, index] : devices) names.insert(name);
  publish_(ns, devices);
  doImplicitIntfs();
}

void SystemDevices::doImplicitIntfs() {
  std::set<Plix::IntfId> carried;
  for (auto const& [ns, names] : names_) {
    for (auto const& name : names) carried.insert(Plix::IntfId(name));
  }
  for (auto it = implicit_.begin(); it != implicit_.end();) {
    if (carried.count(*it)) {
      ++it;
      continue;
    }
    intfs_.intfStatus.del(*it);
    it = implicit_.erase(it);
  }
  for (auto const intf : carried) {
    if (explicit_.count(intf) || implicit_.count(intf) || intfs_.intfStatus.has(intf)) continue;
    intfs_.intfStatus.is(intf)->deviceName.is(intf.name());
    implicit_.insert(intf);
  }
}

}  // namespace Kmfibd
