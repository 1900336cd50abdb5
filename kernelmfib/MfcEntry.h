#pragma once
// The kernel MFC entry that the best route of one key asks for: its parent VIF and its
// outgoing VIFs, within the kernel's table of 512. The one-key programming sends it; the
// mirror audit compares it with what the kernel holds.

#include <bitset>
#include <cstdint>

namespace Routing::KernelMfib {

struct MfcEntry {
  static constexpr unsigned kernelVifs = 512;
  static constexpr std::uint16_t unresolved = 0xffff;

  std::uint16_t parent = unresolved;
  std::bitset<kernelVifs> oifs;

  friend bool operator==(MfcEntry const&, MfcEntry const&) = default;
};

}  // namespace Routing::KernelMfib
