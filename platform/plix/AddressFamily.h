#pragma once
// The address family an agent variant serves: 1 for IPv4, 2 for IPv6. Other values can be
// built from raw numbers and are a programming error wherever the family decides something.

#include <cstdint>
#include <ostream>

namespace Plix {

enum class AddressFamily : std::uint8_t { ipunknown = 0, ipv4 = 1, ipv6 = 2 };

inline std::ostream& operator<<(std::ostream& os, AddressFamily af) {
  switch (af) {
    case AddressFamily::ipv4: return os << "ipv4";
    case AddressFamily::ipv6: return os << "ipv6";
    default: return os << "ipunknown(" << static_cast<unsigned>(af) << ")";
  }
}

}  // namespace Plix
