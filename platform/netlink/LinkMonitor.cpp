#include "netlink/LinkMonitor.h"

#include <fcntl.h>
#include <libmnl/libmnl.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "kernel/NetNsEntry.h"

namespace Netlink {

namespace {

int onMessage(nlmsghdr const* message, void* data) { return static_cast<LinkMonitor*>(data)->handleMessage(message); }

int onAttribute(nlattr const* attribute, void* data) {
  if (mnl_attr_get_type(attribute) == IFLA_IFNAME && mnl_attr_validate(attribute, MNL_TYPE_NUL_STRING) >= 0) {
    *static_cast<char const**>(data) = mnl_attr_get_str(attribute);
  }
  return MNL_CB_OK;
}

}  // namespace

LinkMonitor::LinkMonitor(Plix::NamespaceName ns, std::function<void()> onChange)
    : ns_(std::move(ns)), onChange_(std::move(onChange)) {
  {
    // The socket belongs to the namespace it is opened in, for its whole life.
    Kernel::NetNsEntry const entry(ns_);
    if (entry.error()) {
      error_ = entry.error();
      return;
    }
    socket_ = mnl_socket_open2(NETLINK_ROUTE, SOCK_NONBLOCK | SOCK_CLOEXEC);
  }
  if (!socket_ || mnl_socket_bind(socket_, RTMGRP_LINK, MNL_SOCKET_AUTOPID) < 0) {
    error_ = errno;
    if (socket_) mnl_socket_close(socket_);
    socket_ = nullptr;
    return;
  }
  doDump();
}

LinkMonitor::~LinkMonitor() {
  if (socket_) mnl_socket_close(socket_);
}

int LinkMonitor::fd() const { return socket_ ? mnl_socket_get_fd(socket_) : -1; }

LinkMonitor::Devices LinkMonitor::devices() const {
  Devices out;
  for (auto const& [index, name] : byIndex_) out[name] = index;
  return out;
}

void LinkMonitor::doDump() {
  if (dumping_) {
    dumpAgain_ = true;
    return;
  }
  alignas(nlmsghdr) char buffer[512];
  nlmsghdr* request = mnl_nlmsg_put_header(buffer);
  request->nlmsg_type = RTM_GETLINK;
  request->nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request->nlmsg_seq = ++sequence_;
  auto* info = static_cast<rtgenmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(rtgenmsg)));
  info->rtgen_family = AF_UNSPEC;
  if (mnl_socket_sendto(socket_, request, request->nlmsg_len) < 0) {
    error_ = errno;
    return;
  }
  dumping_ = true;
  dumpAgain_ = false;
  seenInDump_.clear();
}

int LinkMonitor::handleMessage(nlmsghdr const* message) {
  if (message->nlmsg_type != RTM_NEWLINK && message->nlmsg_type != RTM_DELLINK) return MNL_CB_OK;
  if (message->nlmsg_flags & NLM_F_DUMP_INTR) dumpAgain_ = true;
  auto const* info = static_cast<ifinfomsg const*>(mnl_nlmsg_get_payload(message));
  auto const index = static_cast<std::uint32_t>(info->ifi_index);
  if (message->nlmsg_type == RTM_DELLINK) {
    changed_ = byIndex_.erase(index) > 0 || changed_;
    seenInDump_.erase(index);
    return MNL_CB_OK;
  }
  char const* name = nullptr;
  mnl_attr_parse(message, sizeof(ifinfomsg), onAttribute, &name);
  if (!name) return MNL_CB_OK;
  if (dumping_) seenInDump_.insert(index);
  auto [it, added] = byIndex_.try_emplace(index, name);
  if (added || it->second != name) changed_ = true;
  it->second = name;
  return MNL_CB_OK;
}

void LinkMonitor::handleReadable() {
  if (!socket_) return;
  // Large enough for a dump part of any kernel page size.
  std::vector<char> buffer(32768);
  // What is queued now, no more: a namespace with a flood of changes cannot hold the loop.
  for (int batch = 0; batch < 64; ++batch) {
    ssize_t const n = mnl_socket_recvfrom(socket_, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == ENOBUFS) {
        // Notifications were lost: only a new dump tells what is there now.
        dumping_ = false;
        doDump();
        continue;
      }
      break;
    }
    int const result = mnl_cb_run(buffer.data(), static_cast<std::size_t>(n), 0, 0, onMessage, this);
    if (result == MNL_CB_STOP && dumping_) {
      // The dump is over: whatever it did not list is gone (unless it was cut short, and a
      // new one will tell).
      for (auto it = byIndex_.begin(); !dumpAgain_ && it != byIndex_.end();) {
        if (seenInDump_.count(it->first)) {
          ++it;
          continue;
        }
        it = byIndex_.erase(it);
        changed_ = true;
      }
      dumping_ = false;
      if (dumpAgain_) doDump();
    }
  }
  if (!changed_) return;
  changed_ = false;
  if (onChange_) onChange_();
}

}  // namespace Netlink
