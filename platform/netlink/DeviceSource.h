#pragma once
// What a real system tells the host about namespaces and devices: the namespaces named under
// /run/netns and, for each namespace the host needs, its devices as its kernel reports
// them (a LinkMonitor, opened when the namespace is first needed and exists). Everything is
// read on the host's event loop. A namespace that goes takes its devices with it; one that
// is needed but cannot be entered yet (its file is made before `ip netns` mounts it) is
// tried again every second.
//
// Shared by every backend on a real kernel: `onDevices(ns, devices)` feeds the same
// per-namespace kernel network information that `link` statements feed on the simulated
// kernel.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "host/EpollLoop.h"
#include "netlink/LinkMonitor.h"
#include "netlink/NamespaceWatcher.h"
#include "plix/NamespaceName.h"
#include "quib/Clock.h"
#include "quib/Ptr.h"

namespace Netlink {

class DeviceSource {
 public:
  using Handler = std::function<void(Plix::NamespaceName const&, LinkMonitor::Devices const&)>;
  static constexpr char const* netnsDir = "/run/netns";
  static constexpr double retryPeriod = 1.0;

  // Throws std::system_error when inotify cannot be set up.
  DeviceSource(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock, Handler onDevices);
  ~DeviceSource();
  DeviceSource(DeviceSource const&) = delete;
  DeviceSource& operator=(DeviceSource const&) = delete;

  // From now on the namespace's devices are followed while it exists.
  void namespaceIs(Plix::NamespaceName const& ns);
  // The default namespace, or one named under /run/netns.
  bool exists(Plix::NamespaceName const& ns) const;
  bool following(Plix::NamespaceName const& ns) const { return monitors_.count(ns) != 0; }
  LinkMonitor::Devices devices(Plix::NamespaceName const& ns) const;

 private:
  class RetryReactor : public Quib::Clock::NotifieeConst {
   public:
    explicit RetryReactor(DeviceSource* source) : source_(source) {}
    void onTime() override { source_->handleRetry(); }

   private:
    DeviceSource* source_;
  };

  void handleNamespace(std::string const& name, bool present);
  void handleRetry();
  void doOpen(Plix::NamespaceName const& ns);
  void doClose(Plix::NamespaceName const& ns);

  Quib::EpollLoop& loop_;
  Handler onDevices_;
  NamespaceWatcher watcher_;
  std::set<Plix::NamespaceName> wanted_;
  std::map<Plix::NamespaceName, std::unique_ptr<LinkMonitor>> monitors_;
  RetryReactor retry_{this};
};

}  // namespace Netlink
