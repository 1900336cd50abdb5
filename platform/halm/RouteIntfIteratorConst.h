#pragma once
// Steps over one route's interfaces, each with its bits: `isIif` (0x02) for the incoming
// interface, `isOif` (0x01) for an outgoing one. The route is read once, at construction;
// a key the table does not hold gives no step.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "halm/Route.h"
#include "halm/Status.h"

namespace Halm::Multicast::Fib {

class RouteIntfIteratorConst {
 public:
  static constexpr std::uint8_t isOif = Route::isOif;
  static constexpr std::uint8_t isIif = Route::isIif;

  RouteIntfIteratorConst(Status const* table, IpGenRouteKey const& key)
      : route_(table ? table->route(key) : Route::emptyRoute()) {}
  // Over a route already looked up.
  explicit RouteIntfIteratorConst(Route route) : route_(std::move(route)) {}

  bool done() const { return pos_ >= route_.intfs().size(); }
  explicit operator bool() const { return !done(); }
  Plix::IntfId intfId() const { return route_.intfs()[pos_].intfId; }
  std::uint8_t bits() const { return route_.intfs()[pos_].bits; }
  void next() { ++pos_; }

 private:
  Route route_;
  std::size_t pos_ = 0;
};

}  // namespace Halm::Multicast::Fib
