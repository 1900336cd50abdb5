#pragma once
// A host's namespaces and devices on a real kernel: what `netns`, `link` and, for an
// interface named like its device, `intf` statements state on the simulated kernel, read from
// the system instead (Netlink::DeviceSource). Each namespace's devices are published as its
// kernel network information, and every device carries the interface of the same name,
// unless an `intf` statement names that interface.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "entities/AllIntfStatusDir.h"
#include "host/EpollLoop.h"
#include "netlink/DeviceSource.h"
#include "plix/IntfId.h"
#include "plix/NamespaceName.h"

namespace Kmfibd {

class SystemDevices {
 public:
  using Publish = std::function<void(Plix::NamespaceName const&, Netlink::LinkMonitor::Devices const&)>;

  SystemDevices(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock, Interface::AllIntfStatusDir& intfs,
                Publish publish);
  SystemDevices(SystemDevices const&) = delete;
  SystemDevices& operator=(SystemDevices const&) = delete;

  void namespaceIs(Plix::NamespaceName const& ns) { source_.namespaceIs(ns); }
  bool exists(Plix::NamespaceName const& ns) const { return source_.exists(ns); }

  // An `intf` statement names the interface: its device is the one stated.
  void explicitIntfIs(Plix::IntfId intf);
  // That statement was removed: a device of the interface's name carries it again.
  void explicitIntfDel(Plix::IntfId intf);
  bool isImplicit(Plix::IntfId intf) const { return implicit_.count(intf) != 0; }

 private:
  void handleDevices(Plix::NamespaceName const& ns, Netlink::LinkMonitor::Devices const& devices);
  void doImplicitIntfs();

  Interface::AllIntfStatusDir& intfs_;
  Publish publish_;
  std::map<Plix::NamespaceName, std::set<std::string>> names_;
  std::set<Plix::IntfId> explicit_;
  std::set<Plix::IntfId> implicit_;
  Netlink::DeviceSource source_;
};

}  // namespace Kmfibd
