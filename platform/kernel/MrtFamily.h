#pragma once
// The multicast-routing interface of the platform's kernel for one address family: the
// socket that may start routing, the option level and start option, and where each field
// sits in the VIF and MFC records. IPv4 and IPv6 differ only in these numbers, so code that
// reads records takes one of the two tables instead of branching on the family.
//
// The readers expect a record of exactly the family's size; checking it is the caller's job.

#include <cstddef>
#include <cstdint>
#include <span>

#include "kernel/NamespaceSnapshot.h"
#include "plix/AddressFamily.h"

namespace Kernel {

// Option numbers shared by both families; only the start option differs.
inline constexpr int mrtDone = 201;
inline constexpr int mrtAddVif = 202;
inline constexpr int mrtDelVif = 203;
inline constexpr int mrtAddMfc = 204;
inline constexpr int mrtDelMfc = 205;
inline constexpr int mrtPim = 208;

inline constexpr std::uint16_t maxVifs = 512;
inline constexpr std::uint16_t unresolvedParent = 65535;

struct MrtFamily {
  using Bytes = std::span<std::uint8_t const>;

  // A VIF record as the agent sends it to add one.
  struct VifRequest {
    std::uint16_t index = 0;
    std::uint8_t flags = 0;
    std::uint8_t threshold = 0;
    std::uint32_t ifindex = 0;
  };

  Plix::AddressFamily af;
  int domain;    // AF_INET, AF_INET6
  int protocol;  // the protocol of the raw socket that may start routing
  int level;     // IPPROTO_IP, IPPROTO_IPV6
  int startOption;
  std::uint8_t registerFlag;
  std::uint8_t byIfindexFlag;
  std::size_t vifSize;
  std::size_t ifindexOffset;
  std::size_t ifindexWidth;  // 4 (signed) or 2
  std::size_t delVifSize;
  std::size_t mfcSize;
  std::size_t addressSize;
  std::size_t sourceOffset;
  std::size_t groupOffset;
  std::size_t parentOffset;
  std::size_t oifOffset;
  bool oifBits;  // outgoing set as 32-bit words of bits, else one TTL byte per VIF

  static MrtFamily const& ipv4();
  static MrtFamily const& ipv6();
  // nullptr for a socket domain without multicast routing.
  static MrtFamily const* forDomain(int domain);

  VifRequest readVif(Bytes record) const;
  // The index of an add or delete VIF record: the first field of both.
  static std::uint16_t readVifIndex(Bytes record);
  // Source, group, parent and every VIF the record marks as outgoing.
  NamespaceSnapshot::Mfc readMfc(Bytes record) const;
};

}  // namespace Kernel
