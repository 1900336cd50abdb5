#include "netlink/DeviceSource.h"

#include <cstring>

#include "quib/System.h"
#include "trace/Registry.h"

namespace Netlink {

namespace {

Trace::Handle& trace() {
  static Trace::Handle& handle = Trace::handle("DeviceSource");
  return handle;
}

}  // namespace

DeviceSource::DeviceSource(Quib::EpollLoop& loop, Quib::Ptr<Quib::Clock const> clock, Handler onDevices)
    : loop_(loop),
      onDevices_(std::move(onDevices)),
      watcher_(netnsDir, [this](std::string const& name, bool present) { handleNamespace(name, present); }) {
  loop_.readerIs(watcher_.fd(), [this] { watcher_.handleReadable(); });
  retry_.notifierIs(std::move(clock));
  retry_.hasNotificationActiveIs(true);
}

DeviceSource::~DeviceSource() {
  for (auto const& [ns, monitor] : monitors_) loop_.readerDel(monitor->fd());
  loop_.readerDel(watcher_.fd());
}

bool DeviceSource::exists(Plix::NamespaceName const& ns) const { return ns.isDefault() || watcher_.has(ns.str()); }

LinkMonitor::Devices DeviceSource::devices(Plix::NamespaceName const& ns) const {
  auto it = monitors_.find(ns);
  return it == monitors_.end() ? LinkMonitor::Devices{} : it->second->devices();
}

void DeviceSource::namespaceIs(Plix::NamespaceName const& ns) {
  if (ns.empty() || !wanted_.insert(ns).second) return;
  if (exists(ns)) doOpen(ns);
}

void DeviceSource::handleNamespace(std::string const& name, bool present) {
  Plix::NamespaceName const ns(name);
  if (auto t = trace().at(2)) t << "namespace " << ns << (present ? " appeared" : " went away");
  if (!wanted_.count(ns)) return;
  if (present) return doOpen(ns);
  doClose(ns);
}

void DeviceSource::handleRetry() {
  for (auto const& ns : wanted_) {
    if (!monitors_.count(ns) && exists(ns)) doOpen(ns);
  }
}

void DeviceSource::doOpen(Plix::NamespaceName const& ns) {
  if (monitors_.count(ns)) return;
  auto monitor = std::make_unique<LinkMonitor>(ns, [this, ns] { onDevices_(ns, devices(ns)); });
  if (monitor->error()) {
    if (auto t = trace().at(1))
      t << "namespace " << ns << ": cannot follow its devices: " << std::strerror(monitor->error());
    retry_.timeMinIs(Quib::System::currentTime() + retryPeriod);
    return;
  }
  int const fd = monitor->fd();
  LinkMonitor* raw = monitor.get();
  monitors_.emplace(ns, std::move(monitor));
  loop_.readerIs(fd, [raw] { raw->handleReadable(); });
  if (auto t = trace().at(2)) t << "namespace " << ns << ": following its devices";
}

void DeviceSource::doClose(Plix::NamespaceName const& ns) {
  auto it = monitors_.find(ns);
  if (it == monitors_.end()) return;
  loop_.readerDel(it->second->fd());
  monitors_.erase(it);
  onDevices_(ns, {});
}

}  // namespace Netlink
