#include "halm/IpGenRouteKey.h"

#include <stdexcept>

namespace Routing::Multicast::Fib {

IpGenRouteKey::IpGenRouteKey(Plix::IpGenPrefix const& source, Plix::IpGenPrefix const& group)
    : source_(source), group_(group) {
  if (source.len() > 0 && source.af() != group.af()) {
    throw std::invalid_argument("route key with source " + source.str() + " and group " + group.str() +
                                " of different families");
  }
  // The (*,G) source takes the group's family, so keys of one family compare as one set.
  if (source.len() == 0) source_ = Plix::IpGenPrefix(group.af(), {}, 0);
}

IpGenRouteKey const& IpGenRouteKey::invalidRouteKey() {
  static IpGenRouteKey const none;
  return none;
}

namespace {

std::string prettyPrefix(Plix::IpGenPrefix const& p) {
  if (p.len() == p.maxLen()) return p.addressText();
  return p.str();
}

}  // namespace

std::string IpGenRouteKey::pretty() const {
  std::string source = isStarG() ? "*" : prettyPrefix(source_);
  return "(" + source + ", " + prettyPrefix(group_) + ")";
}

std::ostream& operator<<(std::ostream& os, IpGenRouteKey const& k) {
  return os << "(" << k.source_ << ", " << k.group_ << ")";
}

}  // namespace Routing::Multicast::Fib
