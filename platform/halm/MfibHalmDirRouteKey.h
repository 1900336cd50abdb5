#pragma once
// A route key together with the table it was seen in. The pair holds the table by counted
// reference, so a table that has left its VRF by the time the pair is looked at can still
// be named in traces; pairs order by the table's id, which is stable from run to run.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "halm/IpGenRouteKey.h"
#include "halm/Status.h"

namespace Halm::Multicast::Fib {

class MfibHalmDirRouteKey {
 public:
  MfibHalmDirRouteKey() = default;
  MfibHalmDirRouteKey(Status const* table, IpGenRouteKey const& key)
      : table_(table), tableId_(table ? table->id() : 0), key_(key) {}

  Status const* table() const { return table_.ptr(); }
  std::uint32_t tableId() const { return tableId_; }
  IpGenRouteKey const& key() const { return key_; }

  friend bool operator==(MfibHalmDirRouteKey const& a, MfibHalmDirRouteKey const& b) {
    return a.table_ == b.table_ && a.key_ == b.key_;
  }
  friend std::strong_ordering operator<=>(MfibHalmDirRouteKey const& a, MfibHalmDirRouteKey const& b) {
    if (auto c = a.tableId_ <=> b.tableId_; c != 0) return c;
    if (auto c = std::compare_three_way()(a.table_.ptr(), b.table_.ptr()); c != 0) return c;
    return a.key_ <=> b.key_;
  }
  friend std::ostream& operator<<(std::ostream& os, MfibHalmDirRouteKey const& k) {
    return os << (k.table_ ? k.table_->name() : std::string("none")) << " " << k.key_;
  }

 private:
  Quib::Ptr<Status const> table_;
  std::uint32_t tableId_ = 0;
  IpGenRouteKey key_;
};

}  // namespace Halm::Multicast::Fib

template <>
struct std::hash<Halm::Multicast::Fib::MfibHalmDirRouteKey> {
  std::size_t operator()(Halm::Multicast::Fib::MfibHalmDirRouteKey const& k) const noexcept {
    return std::hash<Routing::Multicast::Fib::IpGenRouteKey>()(k.key()) * 31 + k.tableId();
  }
};
