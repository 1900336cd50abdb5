#pragma once
// One multicast route of a route table: its key, its incoming interface, a flag byte and
// its interfaces, each marked incoming (0x02) and/or outgoing (0x01). Routes compare by
// value; the empty route is the one built from the all-zero key.
//
// A route is cheap to copy: the interface list is immutable and shared by counted
// reference, so a lookup that hands out a copy allocates nothing.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
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

  // The interfaces of a route in one allocation: a header and the interface identifiers.
  // Only the first interface can be the incoming one, so it alone keeps its bits; every
  // other interface is outgoing. A million routes each hold one, so every byte counts.
  class IntfList {
   public:
    // `iif` first (unless empty), then each outgoing interface once; an outgoing interface
    // equal to `iif` marks its entry. None for an empty list.
    static Quib::Ptr<IntfList const> listOf(Plix::IntfId iif, std::span<Plix::IntfId const> oifs);
    IntfList(IntfList const&) = delete;
    IntfList& operator=(IntfList const&) = delete;

    std::size_t size() const { return size_; }
    Intf operator[](std::size_t i) const { return {ids()[i], i == 0 ? firstBits_ : isOif}; }
    friend bool operator==(IntfList const& a, IntfList const& b);

    void newRef() const { ++references_; }
    void deleteRef() const;

   private:
    IntfList(std::uint16_t size, std::uint8_t firstBits) : size_(size), firstBits_(firstBits) {}
    Plix::IntfId const* ids() const;
    Plix::IntfId* ids();

    mutable std::uint32_t references_ = 0;
    std::uint16_t size_;
    std::uint8_t firstBits_;
  };

  // A route's interfaces, read in place.
  class Intfs {
   public:
    // Steps over the interfaces by position, yielding each by value.
    class const_iterator {
     public:
      const_iterator(Intfs const* intfs, std::size_t i) : intfs_(intfs), i_(i) {}
      Intf operator*() const { return (*intfs_)[i_]; }
      const_iterator& operator++() {
        ++i_;
        return *this;
      }
      friend bool operator==(const_iterator const& a, const_iterator const& b) { return a.i_ == b.i_; }

     private:
      Intfs const* intfs_;
      std::size_t i_;
    };

    explicit Intfs(IntfList const* list) : list_(list) {}
    std::size_t size() const { return list_ ? list_->size() : 0; }
    Intf operator[](std::size_t i) const { return (*list_)[i]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

   private:
    IntfList const* list_;
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
  // Equal to emptyRoute(), tested field by field so that a route with interfaces answers at
  // the first.
  bool isEmpty() const { return !intfs_ && flags_ == 0 && iif_.empty() && key_ == emptyRoute().key_; }
  Intfs intfs() const { return Intfs(intfs_.ptr()); }

  friend bool operator==(Route const& a, Route const& b);
  friend std::ostream& operator<<(std::ostream& os, Route const& r);

 private:
  friend class Status;
  Route(IpGenRouteKey const& key, std::uint8_t flags, Quib::Ptr<IntfList const> intfs);

  IpGenRouteKey key_;
  Plix::IntfId iif_;
  std::uint8_t flags_ = 0;
  Quib::Ptr<IntfList const> intfs_;
};

}  // namespace Halm::Multicast::Fib
