#pragma once
// A multicast route key as the binary trace stores it, tagged "MFGK": address family
// (1 IPv4, 2 IPv6), source and group addresses in network byte order (IPv4 in the first four
// bytes, the rest zero) and their prefix lengths. A plain struct so that the route-key type
// can fill it field by field; the decoder prints it as "(SRC/LEN, GRP/LEN)".

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>

namespace Vorlak {

struct RouteKeyRecord {
  static constexpr std::uint8_t ipv4 = 1;
  static constexpr std::uint8_t ipv6 = 2;
  using Address = std::array<std::uint8_t, 16>;

  std::uint8_t family;
  std::uint8_t sourceLength;
  std::uint8_t groupLength;
  std::uint8_t reserved;
  Address source;
  Address group;

  static RouteKeyRecord v4(std::array<std::uint8_t, 4> const& source, std::uint8_t sourceLength,
                           std::array<std::uint8_t, 4> const& group, std::uint8_t groupLength);
  static RouteKeyRecord v6(Address const& source, std::uint8_t sourceLength, Address const& group,
                           std::uint8_t groupLength);

  // "(10.0.0.1/32, 239.1.1.1/32)"; a family other than 1 or 2 prints as "(family N?)".
  std::string text() const;

  friend bool operator==(RouteKeyRecord const&, RouteKeyRecord const&) = default;
};

static_assert(sizeof(RouteKeyRecord) == 36);
static_assert(std::is_trivial_v<RouteKeyRecord> && std::is_standard_layout_v<RouteKeyRecord>);

}  // namespace Vorlak
