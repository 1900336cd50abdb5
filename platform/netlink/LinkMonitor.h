#pragma once
// The network devices of one namespace as its kernel reports them over rtnetlink: a
// socket opened inside the namespace, subscribed to link notifications, and an
// RTM_GETLINK dump to learn what is there already. The owner calls `handleReadable` when
// the socket is readable (from its event loop); the monitor never blocks. A dump that the
// kernel interrupts, or notifications lost to a full socket buffer (ENOBUFS), start a new
// dump, so the devices held are always made good again.
//
// `devices()` maps device name to interface index; `onChange` runs after every message batch
// that changed it.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "plix/NamespaceName.h"

struct mnl_socket;
struct nlmsghdr;

namespace Netlink {

class LinkMonitor {
 public:
  using Devices = std::map<std::string, std::uint32_t>;

  // Opens the socket inside `ns` and asks for the dump; error() says why when it could not.
  LinkMonitor(Plix::NamespaceName ns, std::function<void()> onChange);
  ~LinkMonitor();
  LinkMonitor(LinkMonitor const&) = delete;
  LinkMonitor& operator=(LinkMonitor const&) = delete;

  int error() const { return error_; }
  int fd() const;
  Plix::NamespaceName const& ns() const { return ns_; }
  Devices devices() const;
  bool dumping() const { return dumping_; }

  void handleReadable();
  // Parses one message; public for the callback libmnl calls.
  int handleMessage(nlmsghdr const* message);

 private:
  void doDump();

  Plix::NamespaceName ns_;
  std::function<void()> onChange_;
  mnl_socket* socket_ = nullptr;
  int error_ = 0;
  unsigned sequence_ = 0;
  bool dumping_ = false;
  bool dumpAgain_ = false;
  bool changed_ = false;
  std::map<std::uint32_t, std::string> byIndex_;
  std::set<std::uint32_t> seenInDump_;
};

}  // namespace Netlink
