#pragma once
// The backend for a stock (mainline) Linux kernel built with multicast routing. The agent
// speaks to the platform's kernel; this backend turns its calls into the mainline ones and
// changes nothing else:
// - IPv4 routing starts on a raw IPPROTO_IGMP socket with MRT_INIT (200); the agent opens
//   an IPPROTO_RAW socket and starts with option 210, which the mainline kernel refuses.
// - MFC records shrink to the mainline sizes: the 540-byte `mfcctl` (512 TTLs) to 60 bytes
//   (32 TTLs), the 124-byte `mf6cctl` (512-bit set) to 92 bytes (256-bit set).
// - The mainline kernel holds 32 VIFs. An entry that forwards to VIF 32 or above cannot be
//   expressed: its add fails with ENFILE, as the kernel fails an index it cannot hold, and
//   nothing is sent. A delete names only the entry's key, so its outgoing set never fails it.
// - VIF, PIM and shutdown records are the same on both kernels and pass unchanged.
// - The unresolved-traffic files under /proc/sys/net/ipv4/unresolved/ do not exist on this
//   kernel: their writes are made, and fail with the errno of the missing file.
//
// Reading back: `snapshot` and `counters` read the namespace's own tables (/proc/net,
// entered with setns), so what they show is what the kernel holds.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "kernel/RealKernel.h"

namespace Kernel {

class LinuxKernel final : public RealKernel {
 public:
  static constexpr std::uint16_t maxVifs = 32;
  static constexpr std::size_t mfcSize = 60;
  static constexpr std::size_t mf6cSize = 92;

  LinuxKernel() = default;

  std::vector<NamespaceSnapshot> snapshot(std::optional<Plix::NamespaceName> ns) const override;
  std::vector<MfcCounter> counters(std::optional<Plix::NamespaceName> ns) const override;
  bool readsBack() const override { return true; }

  // What a daemon on this kernel says once at start-up about the unresolved-traffic limits.
  static std::string unresolvedLimitsNote();
  // The start-up warning for a VRF whose VIF bound is above what this kernel holds; none for
  // a bound it holds.
  static std::optional<std::string> vifBoundWarning(std::string const& vrf, std::uint32_t max);

  // The translation, public so that it can be checked without a kernel.
  int translateSocket(SocketCall& call) override;
  int translateOption(int fd, OptionCall& call) override;
  int translateProcSys(ProcSysCall& call) override;

 private:
  // The mainline record an MFC option is rewritten to point at; it lives until the next call.
  std::array<std::uint8_t, mf6cSize> record_{};
};

}  // namespace Kernel
