#pragma once
// An IPv4 or IPv6 prefix: an address and a length. A prefix never has host bits set: a
// text such as "10.1.1.1/8" is refused rather than silently masked, because a route key
// the user did not mean is worse than an error. The default value is the all-zero IPv4
// prefix of length 0.

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "plix/AddressFamily.h"

namespace Plix {

class IpGenPrefix {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  IpGenPrefix() = default;
  // Throws std::invalid_argument for a length beyond the family's or set host bits.
  IpGenPrefix(AddressFamily af, Bytes const& address, std::uint8_t len);
  // The same without the checks, for the parts of a prefix taken apart from a valid one.
  static IpGenPrefix unchecked(AddressFamily af, Bytes const& address, std::uint8_t len) {
    IpGenPrefix p;
    p.af_ = af;
    p.len_ = len;
    p.address_ = address;
    return p;
  }

  // "A.B.C.D[/LEN]" or an IPv6 text with an optional "/LEN"; without a length the prefix
  // is a host prefix. Throws std::invalid_argument with a text naming the input.
  static IpGenPrefix parse(std::string_view text);

  AddressFamily af() const { return af_; }
  std::uint8_t len() const { return len_; }
  std::uint8_t maxLen() const { return af_ == AddressFamily::ipv6 ? 128 : 32; }
  // Network byte order; IPv4 in the first four bytes, the rest zero.
  Bytes const& address() const { return address_; }
  std::string addressText() const;
  std::string str() const;

  friend auto operator<=>(IpGenPrefix const&, IpGenPrefix const&) = default;
  // The same answer as comparing member by member; the address as two words, which route
  // lookups compare for every key, without a call to compare bytes.
  friend bool operator==(IpGenPrefix const& a, IpGenPrefix const& b) {
    std::uint64_t wa[2], wb[2];
    std::memcpy(wa, a.address_.data(), sizeof wa);
    std::memcpy(wb, b.address_.data(), sizeof wb);
    return a.af_ == b.af_ && a.len_ == b.len_ && ((wa[0] ^ wb[0]) | (wa[1] ^ wb[1])) == 0;
  }
  friend std::ostream& operator<<(std::ostream& os, IpGenPrefix const& p) { return os << p.str(); }

 private:
  AddressFamily af_ = AddressFamily::ipv4;
  std::uint8_t len_ = 0;
  Bytes address_{};
};

}  // namespace Plix

template <>
struct std::hash<Plix::IpGenPrefix> {
  std::size_t operator()(Plix::IpGenPrefix const& p) const noexcept;
};
