#pragma once
// A name held as bytes with an upper bound on its length. The bound is checked at
// construction, so a value of this type is always within it; a longer name is refused
// with a std::range_error carrying the type's own text.

#include <cstddef>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Plix {

// Traits supplies `static constexpr std::size_t maxLength` and `static constexpr char const*
// tooLong`, the text of the range error.
template <class Traits>
class BoundedName {
 public:
  static constexpr std::size_t maxLength = Traits::maxLength;

  BoundedName() = default;
  BoundedName(std::string_view s) : value_(checked(s)) {}  // NOLINT: converts like a string
  BoundedName(char const* s) : BoundedName(std::string_view(s)) {}  // NOLINT
  BoundedName(std::string const& s) : BoundedName(std::string_view(s)) {}  // NOLINT

  std::string const& str() const { return value_; }
  char const* c_str() const { return value_.c_str(); }
  std::size_t bytes() const { return value_.size(); }
  bool empty() const { return value_.empty(); }
  operator std::string const&() const { return value_; }  // NOLINT

  friend auto operator<=>(BoundedName const&, BoundedName const&) = default;
  friend bool operator==(BoundedName const&, BoundedName const&) = default;
  friend bool operator==(BoundedName const& a, std::string_view b) { return a.value_ == b; }
  friend bool operator==(BoundedName const& a, char const* b) { return a.value_ == b; }
  friend std::ostream& operator<<(std::ostream& os, BoundedName const& n) { return os << n.value_; }

 private:
  static std::string checked(std::string_view s) {
    if (s.size() > maxLength) throw std::range_error(Traits::tooLong);
    return std::string(s);
  }
  std::string value_;
};

}  // namespace Plix

template <class Traits>
struct std::hash<Plix::BoundedName<Traits>> {
  std::size_t operator()(Plix::BoundedName<Traits> const& n) const noexcept {
    return std::hash<std::string>()(n.str());
  }
};
