#pragma once
// Construction arguments of owned children, compared when a child is asked for again.
// A child type lists its arguments, with the names of the attributes that hold them:
//
//   auto constructorArgs() const { return std::tuple(Quib::arg("_multicastIntfsForApp", entity_)); }
//
// A collection refuses to re-create a member whose arguments differ (NameInUseException);
// a single owned attribute replaces its object instead.

#include <cstddef>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "quib/Entity.h"
#include "quib/Ptr.h"

namespace Quib {

template <class V>
struct NamedArg {
  std::string_view name;
  V const& value;
};

template <class V>
NamedArg<V> arg(std::string_view name, V const& value) {
  return NamedArg<V>{name, value};
}

class NameInUseException : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

template <class T>
concept HasConstructorArgs = requires(T const& t) { t.constructorArgs(); };

template <class T>
concept HasNotificationSwitch = requires(T& t) { t.hasNotificationActiveIs(true); };

// Entities print as their full name; other values with their own printer.
template <class V>
void printArg(std::ostream& os, V const& v) {
  if constexpr (requires { v.ptr(); }) {
    using Target = std::remove_cvref_t<decltype(*v.ptr())>;
    if constexpr (std::is_base_of_v<Entity, Target>) {
      if (v) {
        os << v->fullName();
        return;
      }
      os << "<none>";
      return;
    } else {
      os << v;
    }
  } else {
    os << v;
  }
}

// The first argument that differs, as the refusal text; none when all are equal.
template <class Held, class... New>
std::optional<std::string> argDifference(Held const& held, New const&... fresh) {
  static_assert(std::tuple_size_v<Held> == sizeof...(New), "argument count differs");
  std::optional<std::string> diff;
  auto check = [&](auto const& h, auto const& n) {
    if (diff || h.value == n) return;
    std::ostringstream os;
    os << "Reinstantiating the pointer interface where constructor parameter attribute " << h.name
       << " has a different value of ";
    printArg(os, n);
    os << " than the current value of ";
    printArg(os, h.value);
    os << " not allowed";
    diff = os.str();
  };
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (check(std::get<I>(held), fresh), ...);
  }(std::index_sequence_for<New...>{});
  return diff;
}

}  // namespace Quib
