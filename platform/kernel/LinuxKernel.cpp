#include "kernel/LinuxKernel.h"

#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "kernel/MrouteProcTables.h"
#include "kernel/MrtFamily.h"

namespace Kernel {

namespace {

using Bytes = std::span<std::uint8_t const>;

constexpr int mainlineInit = 200;

bool isMfcOption(int option) { return option == mrtAddMfc || option == mrtDelMfc; }

// IPv4: origin, group and parent keep their places; the TTLs move up to follow the parent.
// A TTL of 0 or 255 does not forward.
int shrinkMfc(Bytes agent, std::span<std::uint8_t> out, bool add) {
  MrtFamily const& family = MrtFamily::ipv4();
  Bytes const ttls = agent.subspan(family.oifOffset);
  if (add && std::any_of(ttls.begin() + LinuxKernel::maxVifs, ttls.end(),
                         [](std::uint8_t ttl) { return ttl != 0 && ttl != 255; })) {
    return ENFILE;
  }
  std::fill(out.begin(), out.end(), 0);
  std::copy_n(agent.begin(), family.parentOffset + 2, out.begin());
  std::copy_n(ttls.begin(), LinuxKernel::maxVifs, out.begin() + family.parentOffset + 2);
  return 0;
}

// IPv6: everything up to the outgoing set keeps its place; the set keeps its first words.
int shrinkMf6c(Bytes agent, std::span<std::uint8_t> out, bool add) {
  std::size_t const oifs = MrtFamily::ipv6().oifOffset;
  std::size_t const keptWords = LinuxKernel::maxVifs / 32;
  Bytes const dropped = agent.subspan(oifs + 4 * keptWords);
  if (add && std::any_of(dropped.begin(), dropped.end(), [](std::uint8_t b) { return b != 0; })) {
    return ENFILE;
  }
  std::fill(out.begin(), out.end(), 0);
  std::copy_n(agent.begin(), oifs + 4 * keptWords, out.begin());
  return 0;
}

}  // namespace

int LinuxKernel::translateSocket(SocketCall& call) {
  if (call.family == AF_INET && call.type == SOCK_RAW && call.protocol == IPPROTO_RAW) {
    call.protocol = IPPROTO_IGMP;
  }
  return 0;
}

int LinuxKernel::translateOption(int, OptionCall& call) {
  MrtFamily const& v4 = MrtFamily::ipv4();
  MrtFamily const& v6 = MrtFamily::ipv6();
  if (call.level == v4.level && call.option == v4.startOption) {
    call.option = mainlineInit;
    return 0;
  }
  if (!isMfcOption(call.option) || !call.value) return 0;
  bool const mfc4 = call.level == v4.level && call.len == v4.mfcSize;
  bool const mfc6 = call.level == v6.level && call.len == v6.mfcSize;
  if (!mfc4 && !mfc6) return 0;
  Bytes const agent(static_cast<std::uint8_t const*>(call.value), call.len);
  std::span<std::uint8_t> const out(record_.data(), mfc4 ? mfcSize : mf6cSize);
  if (int const error = (mfc4 ? shrinkMfc : shrinkMf6c)(agent, out, call.option == mrtAddMfc)) {
    return error;
  }
  call.value = out.data();
  call.len = socklen_t(out.size());
  return 0;
}

int LinuxKernel::translateProcSys(ProcSysCall&) { return 0; }

std::string LinuxKernel::unresolvedLimitsNote() {
  return "linux kernel: /proc/sys/net/ipv4/unresolved/ does not exist here; the "
         "unresolved-entries and unresolved-buffers limits are not applied";
}

std::optional<std::string> LinuxKernel::vifBoundWarning(std::string const& vrf,
                                                        std::uint32_t max) {
  if (max <= maxVifs) return std::nullopt;
  return "linux kernel: VRF " + vrf + " has max " + std::to_string(max) + " but the kernel holds " +
         std::to_string(maxVifs) + " VIFs; interfaces given VIF " + std::to_string(maxVifs) +
         " or above are refused (set 'config " + vrf + " max " + std::to_string(maxVifs) + "')";
}

std::vector<NamespaceSnapshot> LinuxKernel::snapshot(std::optional<Plix::NamespaceName> ns) const {
  std::vector<NamespaceSnapshot> result;
  for (auto const& name : ns ? std::vector{*ns} : MrouteProcTables::namespaces()) {
    if (auto tables = MrouteProcTables::read(name)) result.push_back(std::move(tables->snapshot));
  }
  return result;
}

std::vector<MfcCounter> LinuxKernel::counters(std::optional<Plix::NamespaceName> ns) const {
  std::vector<MfcCounter> result;
  for (auto const& name : ns ? std::vector{*ns} : MrouteProcTables::namespaces()) {
    auto tables = MrouteProcTables::read(name);
    if (!tables) continue;
    result.insert(result.end(), tables->counters.begin(), tables->counters.end());
  }
  return result;
}

}  // namespace Kernel
