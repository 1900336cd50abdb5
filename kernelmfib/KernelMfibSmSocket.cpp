// KernelMfibSm: the multicast-routing socket and the namespace's unresolved-traffic limits.

#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "plix/SocketAt.h"
#include "quib/ConstructorArgs.h"
#include "quib/Stop.h"
#include "quib/System.h"
#include "zell/ProcSys.h"

namespace Routing::KernelMfib {

namespace {

// Socket family, protocol and option numbers of one address family.
struct MrtSocket {
  int family;
  int protocol;
  int level;
  int start;
};
constexpr MrtSocket mrtIpv4{2, 255, 0, 210};
constexpr MrtSocket mrtIpv6{10, 58, 41, 200};
constexpr int mrtDone = 201;
constexpr int mrtPim = 208;

MrtSocket const& mrtSocket(Plix::AddressFamily af) {
  if (af == Plix::AddressFamily::ipv4) return mrtIpv4;
  if (af == Plix::AddressFamily::ipv6) return mrtIpv6;
  Quib::stop("Unknown Address Family");
}

int setOne(int sock, int level, int option) {
  int const one = 1;
  return Plix::setsockopt(sock, level, option, &one, sizeof one);
}

}  // namespace

int KernelMfibSm::level() const { return mrtSocket(af_).level; }

void KernelMfibSm::sockOpenTimerExpired() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::sockOpenTimerExpired()";
  if (!initialized_ || sock_ > 0) return;
  MrtSocket const& m = mrtSocket(af_);
  sock_ = Plix::socketAt(m.family, 3, m.protocol, ns_);
  int const error = errno;
  if (af_ == Plix::AddressFamily::ipv6 && v6RelaySm_) v6RelaySm_->mrtSkSdIs(sock_ < 0 ? -1 : sock_);
  if (sock_ < 0) {
    // The space before the comma is the wording operators grep for.
    if (auto t = tr.at(2)) t << "Failed to open socket in namespace " << ns_ << " , errno " << error;
    sockOpenTimer_->timeMinIs(Quib::System::currentTime() + sockOpenPeriod);
    return;
  }
  if (auto t = tr.at(2)) t << "Successfully opened socket " << sock_ << " in namespace " << ns_;
  doSetSocketOptions();
}

void KernelMfibSm::doSetSocketOptions() {
  auto& tr = kernelMfibTrace();
  if (auto t = tr.at(9)) t << "KernelMfibSm::doSetSocketOptions() for VRF " << vrfName_;
  MrtSocket const& m = mrtSocket(af_);
  mrtStarted_ = setOne(sock_, m.level, m.start) == 0;
  if (!mrtStarted_) {
    if (auto t = tr.at(8)) t << "failed MRT_INIT SocketOption " << std::strerror(errno);
  }
  if (setOne(sock_, m.level, mrtPim) < 0) {
    if (auto t = tr.at(8)) t << "failed MRT_PIM SocketOption " << std::strerror(errno);
  }
  int on = 1;
  if (Plix::ioctl(sock_, FIONBIO, &on) < 0) {
    if (auto t = tr.at(8)) t << "failed FIONBIO ioctl " << std::strerror(errno);
  }
  doSetVifInKernel(0, 0);
}

void KernelMfibSm::doSockClose() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::doSockClose()";
  setOne(sock_, level(), mrtDone);
  if (af_ == Plix::AddressFamily::ipv6 && v6RelaySm_) v6RelaySm_->mrtSkSdIs(-1);
  Plix::close(sock_);
}

Quib::Ptr<Routing::Multicast::Notify::MrtIcmpV6RelaySm> KernelMfibSm::v6RelaySmIs(
    std::string const& name, Plix::NamespaceName const& netNs, Quib::Ptr<Status const> const& vifStatus) {
  using Relay = Routing::Multicast::Notify::MrtIcmpV6RelaySm;
  if (v6RelaySm_ && !Quib::argDifference(v6RelaySm_->constructorArgs(), name, netNs, vifStatus)) return v6RelaySm_;
  v6RelaySmDel();
  v6RelaySm_ = Relay::MrtIcmpV6RelaySmIs(name, netNs, vifStatus);
  return v6RelaySm_;
}

void KernelMfibSm::v6RelaySmDel() {
  if (!v6RelaySm_) return;
  v6RelaySm_->hasNotificationActiveIs(false);
  v6RelaySm_ = nullptr;
}

namespace {

void writeLimit(char const* path, std::uint32_t value, Plix::NamespaceName const& ns) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", value);
  Zell::writeProcSysInNetNs(path, text, ns);
}

}  // namespace

void KernelMfibSm::handleMulticastMaxUnresolvedCacheEntries() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleMulticastMaxUnresolvedCacheEntries()";
  writeLimit("/proc/sys/net/ipv4/unresolved/ip_cache_resolve_qlimit", vifConfig_->maxUnresolvedCacheEntries(), ns_);
}

void KernelMfibSm::handleMulticastMaxUnresolvedPktBuffers() {
  if (auto t = kernelMfibTrace().at(9)) t << "KernelMfibSm::handleMulticastMaxUnresolvedPktBuffers()";
  writeLimit("/proc/sys/net/ipv4/unresolved/ip_mcast_unres_skb_limit", vifConfig_->maxUnresolvedPktBuffers(), ns_);
}

}  // namespace Routing::KernelMfib
