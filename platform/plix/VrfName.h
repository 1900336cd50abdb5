#pragma once
// The name of a VRF: at most 100 bytes. The VRF "default" lives in the default namespace.

#include "plix/BoundedName.h"

namespace L3 {

struct VrfNameTraits {
  static constexpr std::size_t maxLength = 100;
  static constexpr char const* tooLong = "VrfName::bytes > VrfName::maxLength not allowed";
};

class VrfName : public Plix::BoundedName<VrfNameTraits> {
 public:
  using BoundedName::BoundedName;
  static VrfName const& defaultVrf();
  bool isDefault() const { return *this == defaultVrf(); }
};

}  // namespace L3

template <>
struct std::hash<L3::VrfName> : std::hash<Plix::BoundedName<L3::VrfNameTraits>> {};
