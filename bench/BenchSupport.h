#pragma once
// What the benchmark programs share: the allocator's count of bytes in use, and distinct
// IPv4 host prefixes to build many route keys from.

#include <malloc.h>

#include <cstddef>
#include <cstdint>

#include "plix/IpGenPrefix.h"

namespace Bench {

// Bytes the allocator has handed out; large blocks are mmapped and counted apart.
inline std::size_t heapInUse() {
  struct mallinfo2 const m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// a.x.y.z/32 with x.y.z the low 24 bits.
inline Plix::IpGenPrefix hostPrefix(std::uint8_t a, std::uint32_t low24) {
  Plix::IpGenPrefix::Bytes b{};
  b[0] = a;
  b[1] = static_cast<std::uint8_t>(low24 >> 16);
  b[2] = static_cast<std::uint8_t>(low24 >> 8);
  b[3] = static_cast<std::uint8_t>(low24);
  return Plix::IpGenPrefix(Plix::AddressFamily::ipv4, b, 32);
}

}  // namespace Bench
