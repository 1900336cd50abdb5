#pragma once
// One multicast route of a route table: its key, its incoming interface, a flag byte and
// its interfaces, each marked incoming (0x02) and/or outgoing (0x01). Routes compare by
// value; the empty route is the one built from the all-zero key.
//
// A route is cheap to copy: the interface list is immutable and shared by counted
// reference, so a lookup that hands out a copy allocates nothing.

#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

#include "halm/IpGenRouteKey.h"
#include "plix/IntfId.h"
#include "quib/Ptr.h"

namespace Halm::Multicast::Fib {

using Routing::Multicast::Fib::IpGenRouteKey;

class Route {
 public:
  static constexpr std::uint8_t iifRegister = 0x04;
  static constexpr std::uint8_t oifRegister = 0x08;
  static constexpr std::uint8_t switchingState = 0x20;

  static constexpr std::uint8_t isOif = 0x01;
  static constexpr std::uint8_t isIif = 0x02;

  struct Intf {
    Plix::IntfId intfId;
    std::uint8_t bits = 0;
    friend bool operator==(Intf const&, Intf const&) = default;
  };

  class IntfList : public Quib::PtrInterface {
   public:
    explicit IntfList(std::vector<Intf> intfs) : intfs_(std::move(intfs)) {}
    std::vector<Intf> const& intfs() const { return intfs_; }

   private:
    std::vector<Intf> const intfs_;
  };

  Route() = default;
  explicit Route(IpGenRouteKey const& key) : key_(key) {}
  // The incoming interface comes first in the list; an outgoing interface equal to it
  // shares its entry (both bits), and repeated outgoing interfaces count once.
  Route(IpGenRouteKey const& key, Plix::IntfId iif, std::vector<Plix::IntfId> const& oifs, std::uint8_t flags);

  static Route const& emptyRoute();

  IpGenRouteKey const& key() const { return key_; }
  Plix::IntfId iif() const { return iif_; }
  std::uint8_t flags() const { return flags_; }
  bool isEmpty() const { return *this == emptyRoute(); }
  std::vector<Intf> const& intfs() const;

  friend bool operator==(Route const& a, Route const& b);
  friend std::ostream& operator<<(std::ostream& os, Route const& r);

 private:
  friend class Status;
  Route(IpGenRouteKey const& key, Plix::IntfId iif, std::uint8_t flags, Quib::Ptr<IntfList const> intfs)
      : key_(key), iif_(iif), flags_(flags), intfs_(std::move(intfs)) {}

  IpGenRouteKey key_;
  Plix::IntfId iif_;
  std::uint8_t flags_ = 0;
  Quib::Ptr<IntfList const> intfs_;
};

}  // namespace Halm::Multicast::Fib
