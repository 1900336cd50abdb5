#include "tools/kmfibd/KernelEventLog.h"

#include <cerrno>
#include <span>

#include "kernel/ErrnoName.h"
#include "tools/kmfibd/DaemonLog.h"

namespace Kmfibd {

namespace {

// Passes the result and errno of `result` through after the log line is written.
int keepErrno(int result, int error) {
  errno = error;
  return result;
}

}  // namespace

int KernelEventLog::socketAt(int family, int type, int protocol, Plix::NamespaceName const& ns) {
  int const fd = inner_.socketAt(family, type, protocol, ns);
  int const error = errno;
  auto const* mrt = Kernel::MrtFamily::forDomain(family);
  if (fd < 0) {
    if (auto t = daemonLog().at(1)) t << "namespace " << ns << ": socket refused: " << Kernel::errnoName(error);
    return keepErrno(fd, error);
  }
  sockets_[fd] = Socket{ns, mrt};
  if (auto t = daemonLog().at(1)) t << "namespace " << ns << ": socket " << fd << " opened";
  return keepErrno(fd, error);
}

int KernelEventLog::setsockopt(int fd, int level, int option, void const* value, socklen_t len) {
  int const result = inner_.setsockopt(fd, level, option, value, len);
  int const error = errno;
  auto it = sockets_.find(fd);
  if (it == sockets_.end() || !it->second.family || level != it->second.family->level) {
    return keepErrno(result, error);
  }
  Socket const& socket = it->second;
  std::string const outcome = result < 0 ? "refused: " + Kernel::errnoName(error) : std::string();
  auto const bytes = std::span(static_cast<std::uint8_t const*>(value), value ? len : 0);
  if (option == socket.family->startOption) {
    if (auto t = daemonLog().at(1)) {
      t << "namespace " << socket.ns << ": multicast routing " << (result < 0 ? outcome : "started") << " on socket "
        << fd;
    }
  } else if (option == Kernel::mrtAddVif && bytes.size() == socket.family->vifSize) {
    auto const vif = socket.family->readVif(bytes);
    if (auto t = daemonLog().at(1)) {
      t << "namespace " << socket.ns << ": VIF " << vif.index << " (ifindex " << vif.ifindex << ") "
        << (result < 0 ? outcome : "registered");
    }
  } else if (option == Kernel::mrtDone) {
    if (auto t = daemonLog().at(1)) {
      t << "namespace " << socket.ns << ": multicast routing " << (result < 0 ? outcome : "shut down") << " on socket "
        << fd;
    }
  } else if (option == Kernel::mrtAddMfc || option == Kernel::mrtDelMfc) {
    auto& updates = mfcUpdates_[Trace::currentContext()];
    ++updates.perNamespace[socket.ns];
    updates.last = socket.ns;
  }
  return keepErrno(result, error);
}

int KernelEventLog::ioctl(int fd, unsigned long request, void* arg) { return inner_.ioctl(fd, request, arg); }

int KernelEventLog::close(int fd) {
  int const result = inner_.close(fd);
  int const error = errno;
  auto it = sockets_.find(fd);
  if (it == sockets_.end()) return keepErrno(result, error);
  if (auto t = daemonLog().at(1)) {
    t << "namespace " << it->second.ns << ": socket " << fd << " "
      << (result < 0 ? "close refused: " + Kernel::errnoName(error) : std::string("closed"));
  }
  sockets_.erase(it);
  return keepErrno(result, error);
}

int KernelEventLog::writeProcSys(std::string const& path, std::string const& value, Plix::NamespaceName const& ns) {
  return inner_.writeProcSys(path, value, ns);
}

std::vector<Kernel::NamespaceSnapshot> KernelEventLog::snapshot(std::optional<Plix::NamespaceName> ns) const {
  return inner_.snapshot(std::move(ns));
}

std::vector<Kernel::MfcCounter> KernelEventLog::counters(std::optional<Plix::NamespaceName> ns) const {
  return inner_.counters(std::move(ns));
}

void KernelEventLog::reviewFinished() {
  auto it = mfcUpdates_.find(Trace::currentContext());
  if (it == mfcUpdates_.end() || !it->second.last) {
    if (auto t = daemonLog().at(1)) t << "full review finished: 0 MFC updates";
    return;
  }
  auto& updates = it->second;
  auto const ns = *updates.last;
  if (auto t = daemonLog().at(1)) {
    t << "full review finished: " << updates.perNamespace[ns] << " MFC updates in namespace " << ns;
  }
  updates.perNamespace.erase(ns);
  updates.last.reset();
  if (updates.perNamespace.empty()) mfcUpdates_.erase(it);
}

}  // namespace Kmfibd
