#pragma once
// An interface identifier such as "Ethernet1" or "Vlan10". The empty identifier stands for
// no interface. "Null0" (discard) and "Register0" (the PIM register tunnel) mean something
// to route programming and never carry a VIF of their own.
//
// Names are interned: an IntfId is four bytes, and equality and hashing are integer
// operations, because route programming compares and hashes interfaces once per route
// interface across a million routes. Ordering follows the names, so listings read
// naturally. The intern table only grows; interface names are few.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace Plix {

class IntfId {
 public:
  IntfId() = default;
  explicit IntfId(std::string_view name);

  // Interned at first use; inline, as route programming asks for every route interface.
  static IntfId const& null0() {
    static IntfId const id("Null0");
    return id;
  }
  static IntfId const& register0() {
    static IntfId const id("Register0");
    return id;
  }

  std::string const& name() const;
  std::uint32_t id() const { return id_; }
  bool empty() const { return id_ == 0; }

  friend bool operator==(IntfId a, IntfId b) { return a.id_ == b.id_; }
  friend std::strong_ordering operator<=>(IntfId a, IntfId b) {
    if (a.id_ == b.id_) return std::strong_ordering::equal;
    return a.name().compare(b.name()) < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
  }
  friend std::ostream& operator<<(std::ostream& os, IntfId i) { return os << i.name(); }

 private:
  std::uint32_t id_ = 0;
};

}  // namespace Plix

template <>
struct std::hash<Plix::IntfId> {
  std::size_t operator()(Plix::IntfId i) const noexcept { return i.id(); }
};
