#pragma once
// One multicast route table. Other processes write it; the agent reads it: lookup of a key
// (constant time on average, no allocation), walks in key order from the first route or
// from any key (a key that has left resumes at the next one), and `onRoute(key)` once per
// key added, changed or removed. A table also carries its preference: among a VRF's tables
// holding a key, the lowest preference holds the best route, ties going to the name that
// sorts first.
//
// Storage: a hash map from key to route data, plus an ordered index of pointers to the
// hash map's keys (node-based, so the pointers survive rehashing).

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <string_view>
#include <unordered_map>

#include "halm/IpGenRouteKey.h"
#include "halm/Route.h"
#include "quib/Entity.h"
#include "quib/NotifieeBase.h"

namespace Halm::Multicast::Fib {

class Status : public Quib::Entity {
  struct KeyOrder {
    using is_transparent = void;
    bool operator()(IpGenRouteKey const* a, IpGenRouteKey const* b) const { return *a < *b; }
    bool operator()(IpGenRouteKey const* a, IpGenRouteKey const& b) const { return *a < b; }
    bool operator()(IpGenRouteKey const& a, IpGenRouteKey const* b) const { return a < *b; }
  };
  using Order = std::set<IpGenRouteKey const*, KeyOrder>;

 public:
  static constexpr std::string_view type = "Halm::Multicast::Fib::Status";
  static constexpr std::uint32_t defaultPreference = 100;

  class NotifieeConst : public Quib::NotifieeBase<Status> {
   public:
    virtual void onRoute(IpGenRouteKey const&) {}
    virtual void onPreference() {}
  };

  // Walks keys in order.
  class const_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = IpGenRouteKey;
    using difference_type = std::ptrdiff_t;
    using pointer = IpGenRouteKey const*;
    using reference = IpGenRouteKey const&;
    const_iterator() = default;
    explicit const_iterator(Order::const_iterator it) : it_(it) {}
    reference operator*() const { return **it_; }
    pointer operator->() const { return *it_; }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    const_iterator operator++(int) { return const_iterator(it_++); }
    const_iterator& operator--() {
      --it_;
      return *this;
    }
    const_iterator operator--(int) { return const_iterator(it_--); }
    friend bool operator==(const_iterator const&, const_iterator const&) = default;

   private:
    Order::const_iterator it_;
  };

  explicit Status(Quib::Name name);
  std::string_view typeName() const override { return type; }

  // A number that identifies the table in binary traces; unique in the process.
  std::uint32_t id() const { return id_; }
  std::uint32_t preference() const { return preference_; }
  void preferenceIs(std::uint32_t p);

  // A copy of the route, or the empty route when the key is absent.
  Route route(IpGenRouteKey const& key) const;
  bool hasRoute(IpGenRouteKey const& key) const { return routes_.count(key) > 0; }
  std::size_t routes() const { return routes_.size(); }

  // Adds or replaces the route of its key; an equal route notifies nothing.
  void routeIs(Route const& route);
  void routeDel(IpGenRouteKey const& key);
  void routeDelAll();

  const_iterator begin() const { return const_iterator(order_.begin()); }
  const_iterator end() const { return const_iterator(order_.end()); }
  // The first key at or after `key`.
  const_iterator lowerBound(IpGenRouteKey const& key) const { return const_iterator(order_.lower_bound(key)); }

  // True when this table ranks before `other` for the best-route choice.
  bool isPreferredTo(Status const& other) const;

 private:
  // A route without its key, which the map holds already.
  struct Data {
    Plix::IntfId iif;
    std::uint8_t flags = 0;
    Quib::Ptr<Route::IntfList const> intfs;
  };
  std::uint32_t id_;
  std::uint32_t preference_ = defaultPreference;
  std::unordered_map<IpGenRouteKey, Data> routes_;
  Order order_;
};

}  // namespace Halm::Multicast::Fib
