#pragma once
// A multicast route key: a source and a group prefix of one family. A source of length 0
// is the (*,G) key. The all-zero key (both prefixes 0.0.0.0/0) stands for no key.

#include <compare>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "plix/IpGenPrefix.h"

namespace Routing::Multicast::Fib {

class IpGenRouteKey {
 public:
  IpGenRouteKey() = default;
  // Throws std::invalid_argument when the two prefixes are of different families.
  IpGenRouteKey(Plix::IpGenPrefix const& source, Plix::IpGenPrefix const& group);
  // The same without the checks, for the prefixes taken apart from a valid key.
  static IpGenRouteKey unchecked(Plix::IpGenPrefix const& source, Plix::IpGenPrefix const& group) {
    IpGenRouteKey k;
    k.source_ = source;
    k.group_ = group;
    return k;
  }

  static IpGenRouteKey const& invalidRouteKey();

  Plix::IpGenPrefix const& source() const { return source_; }
  Plix::IpGenPrefix const& group() const { return group_; }
  Plix::AddressFamily af() const { return group_.af(); }
  bool isStarG() const { return source_.len() == 0; }
  bool isValid() const { return *this != invalidRouteKey(); }

  // "(10.1.1.1, 239.1.1.1)": addresses alone for host prefixes, "*" for the (*,G) source.
  std::string pretty() const;

  // Group first, so the sources of one group sit together in walks and listings.
  friend std::strong_ordering operator<=>(IpGenRouteKey const& a, IpGenRouteKey const& b) {
    if (auto c = a.group_ <=> b.group_; c != 0) return c;
    return a.source_ <=> b.source_;
  }
  friend bool operator==(IpGenRouteKey const&, IpGenRouteKey const&) = default;
  // "(10.1.1.1/32, 239.1.1.1/32)"
  friend std::ostream& operator<<(std::ostream& os, IpGenRouteKey const& k);

 private:
  Plix::IpGenPrefix source_;
  Plix::IpGenPrefix group_;
};

}  // namespace Routing::Multicast::Fib

template <>
struct std::hash<Routing::Multicast::Fib::IpGenRouteKey> {
  std::size_t operator()(Routing::Multicast::Fib::IpGenRouteKey const& k) const noexcept {
    std::hash<Plix::IpGenPrefix> h;
    return h(k.source()) * 31 + h(k.group());
  }
};
