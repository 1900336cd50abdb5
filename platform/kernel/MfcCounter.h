#pragma once
// The kernel's packet counters of one MFC entry, as `show counters` prints them: packets and
// bytes forwarded, and packets that arrived on another interface than the entry's incoming one.

#include <compare>
#include <cstdint>

#include "kernel/NamespaceSnapshot.h"

namespace Kernel {

struct MfcCounter {
  Plix::NamespaceName ns{};
  Plix::AddressFamily af = Plix::AddressFamily::ipv4;
  NamespaceSnapshot::Address source{};
  NamespaceSnapshot::Address group{};
  std::uint64_t packets = 0;
  std::uint64_t bytes = 0;
  std::uint64_t wrongIf = 0;
  friend bool operator==(MfcCounter const&, MfcCounter const&) = default;
};

}  // namespace Kernel
