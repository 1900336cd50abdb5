#pragma once
// One multicast route table. Other processes write it; the agent reads it: lookup of a key
// (constant time on average, no allocation), walks in key order from the first route or
// from any key (a key that has left resumes at the next one), and `onRoute(key)` once per
// key added, changed or removed. A table also carries its preference: among a VRF's tables
// holding a key, the lowest preference holds the best route, ties going to the name that
// sorts first.
//
// Storage, sized for a million routes: the routes sit densely in one array, a hash index of
// positions finds a key, and a sorted array of positions gives the key order. Keys added or
// removed since the last walk wait in a small change list; the next walk (begin, end or
// lowerBound) folds them into the order first, so filling a table costs no ordering per
// route and a walk costs a step through an array. A walk that meets a change goes on over
// the order it started with: removed keys still show, added ones do not.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <vector>

#include "halm/IpGenRouteKey.h"
#include "halm/Route.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"
#include "quib/PositionIndex.h"

namespace Halm::Multicast::Fib {

class Status : public Quib::Entity {
  // A route without its incoming interface, which its interface list holds first.
  struct Entry {
    IpGenRouteKey key;
    std::uint8_t flags = 0;
    bool live = false;  // false once removed, until the position is reused
    Quib::Ptr<Route::IntfList const> intfs;
  };

 public:
  static constexpr std::string_view type = "Halm::Multicast::Fib::Status";
  static constexpr std::uint32_t defaultPreference = 100;

  class NotifieeConst : public Quib::NotifieeBase<Status> {
   public:
    virtual void onRoute(IpGenRouteKey const&) {}
    virtual void onPreference() {}
  };

  // Walks keys in order. A position past the last key is the end, whatever the order
  // holds by the time it is compared.
  class const_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = IpGenRouteKey;
    using difference_type = std::ptrdiff_t;
    using pointer = IpGenRouteKey const*;
    using reference = IpGenRouteKey const&;
    const_iterator() = default;
    reference operator*() const { return table_->entries_[table_->order_[at_]].key; }
    pointer operator->() const { return &**this; }
    // The route of the key at this position, read in place: the empty route once the key
    // has left the table.
    Route route() const { return table_->routeAt(table_->order_[at_]); }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) { return {table_, at_++}; }
    const_iterator& operator--() {
      at_ = position() - 1;
      return *this;
    }
    const_iterator operator--(int) {
      const_iterator const was = *this;
      --*this;
      return was;
    }
    friend bool operator==(const_iterator const& a, const_iterator const& b) { return a.position() == b.position(); }

   private:
    friend class Status;
    const_iterator(Status const* table, std::size_t at) : table_(table), at_(at) {}
    std::size_t position() const { return table_ ? std::min(at_, table_->order_.size()) : at_; }
    Status const* table_ = nullptr;
    std::size_t at_ = 0;
  };

  explicit Status(Quib::Name name);
  std::string_view typeName() const override { return type; }

  // A number that identifies the table in binary traces; unique in the process.
  std::uint32_t id() const { return id_; }
  std::uint32_t preference() const { return preference_; }
  void preferenceIs(std::uint32_t p);

  // A copy of the route, or the empty route when the key is absent.
  Route route(IpGenRouteKey const& key) const;
  bool hasRoute(IpGenRouteKey const& key) const { return positionOf(key) != Quib::HashedPositionIndex::none; }
  std::size_t routes() const { return routes_; }

  // Adds or replaces the route of its key; an equal route notifies nothing.
  void routeIs(Route const& route);
  void routeDel(IpGenRouteKey const& key);
  void routeDelAll();

  const_iterator begin() const;
  const_iterator end() const;
  // The first key at or after `key`.
  const_iterator lowerBound(IpGenRouteKey const& key) const;

  // A run of lookups in steps, so that each key's memory reads overlap the work on the
  // keys before it: each step starts reading what the next one needs (the index slot, the
  // route, its interface list). A position is good for routeAt until the table next
  // changes; none when the key is absent.
  std::size_t hashPrefetched(IpGenRouteKey const& key) const;
  void entryPrefetched(std::size_t hash) const;
  std::uint32_t positionPrefetched(IpGenRouteKey const& key, std::size_t hash) const;
  // The route at a position: the empty route for none or a removed key.
  Route routeAt(std::uint32_t position) const;

  // True when this table ranks before `other` for the best-route choice.
  bool isPreferredTo(Status const& other) const;

  // Folds the keys added or removed since the last walk into the key order. Walks do it
  // when they start; calling it first only chooses when the cost is paid.
  void settle() const;

 private:
  static std::size_t hashOf(IpGenRouteKey const& key);
  std::uint32_t positionOf(IpGenRouteKey const& key) const { return positionOf(key, hashOf(key)); }
  std::uint32_t positionOf(IpGenRouteKey const& key, std::size_t hash) const;
  std::size_t slotOf(IpGenRouteKey const& key, std::size_t hash) const;
  std::uint32_t freePosition();
  void sortByKey(std::vector<std::uint32_t>& positions) const;

  std::uint32_t id_;
  std::uint32_t preference_ = defaultPreference;
  std::size_t routes_ = 0;
  std::vector<Entry> entries_;
  Quib::HashedPositionIndex index_;  // live entries only
  // Live positions in key order, as of the last walk, and the change list since: positions
  // added, and positions removed (not reused until the order has dropped them).
  mutable std::vector<std::uint32_t> order_;
  mutable std::vector<std::uint32_t> added_;
  mutable std::vector<std::uint32_t> removed_;
  mutable std::vector<std::uint32_t> free_;
};

}  // namespace Halm::Multicast::Fib
