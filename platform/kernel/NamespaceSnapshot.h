#pragma once
// What a kernel holds for multicast routing in one network namespace, as `show kernel`
// prints it: whether a multicast-routing socket is open and routing started, the two
// unresolved-traffic limits as last written, and the VIFs (MIFs) and MFC entries of both
// families.

#include <array>
#include <compare>
#include <cstdint>
#include <vector>

#include "plix/AddressFamily.h"
#include "plix/NamespaceName.h"

namespace Kernel {

struct NamespaceSnapshot {
  // Network byte order; an IPv4 address uses the first four bytes and leaves the rest zero.
  using Address = std::array<std::uint8_t, 16>;

  enum class VifFlags : std::uint8_t { none, useIfindex, registerVif };

  struct Vif {
    Plix::AddressFamily af = Plix::AddressFamily::ipv4;
    std::uint16_t index = 0;
    std::uint32_t ifindex = 0;  // 0 for the Register VIF
    VifFlags flags = VifFlags::none;
    std::uint8_t threshold = 0;
    friend bool operator==(Vif const&, Vif const&) = default;
  };

  struct Mfc {
    Plix::AddressFamily af = Plix::AddressFamily::ipv4;
    Address source{};
    Address group{};
    std::uint16_t iif = 0;              // 65535: unresolved
    std::vector<std::uint16_t> oifs{};  // ascending
    friend bool operator==(Mfc const&, Mfc const&) = default;
  };

  Plix::NamespaceName ns{};
  bool socketOpen = false;
  bool mrtOn = false;
  bool pimOn = false;
  std::uint32_t unresolvedEntries = 0;
  std::uint32_t unresolvedBuffers = 0;
  std::vector<Vif> vifs{};
  std::vector<Mfc> mfcs{};

  friend bool operator==(NamespaceSnapshot const&, NamespaceSnapshot const&) = default;
};

}  // namespace Kernel
