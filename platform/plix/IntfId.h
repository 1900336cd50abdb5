#pragma once
// An interface identifier such as "Ethernet1" or "Vlan10". The empty identifier stands for
// no interface. "Null0" (discard) and "Register0" (the PIM register tunnel) mean something
// to route programming and never carry a VIF of their own.

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace Plix {

class IntfId {
 public:
  IntfId() = default;
  explicit IntfId(std::string_view name) : name_(name) {}

  static IntfId const& null0();
  static IntfId const& register0();

  std::string const& name() const { return name_; }
  bool empty() const { return name_.empty(); }

  friend auto operator<=>(IntfId const&, IntfId const&) = default;
  friend bool operator==(IntfId const&, IntfId const&) = default;
  friend std::ostream& operator<<(std::ostream& os, IntfId const& i) { return os << i.name_; }

 private:
  std::string name_;
};

}  // namespace Plix

template <>
struct std::hash<Plix::IntfId> {
  std::size_t operator()(Plix::IntfId const& i) const noexcept {
    return std::hash<std::string>()(i.name());
  }
};
