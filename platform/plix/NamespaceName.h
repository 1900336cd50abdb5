#pragma once
// The name of a network namespace: at most 150 bytes. "default" is the namespace a
// process starts in; every other name is a namespace under /run/netns.

#include "plix/BoundedName.h"

namespace Plix {

struct NamespaceNameTraits {
  static constexpr std::size_t maxLength = 150;
  static constexpr char const* tooLong = "NamespaceName::bytes > 150 not allowed";
};

class NamespaceName : public BoundedName<NamespaceNameTraits> {
 public:
  using BoundedName::BoundedName;
  static NamespaceName const& defaultNamespace();
  bool isDefault() const { return *this == defaultNamespace(); }
};

}  // namespace Plix

template <>
struct std::hash<Plix::NamespaceName> : std::hash<Plix::BoundedName<Plix::NamespaceNameTraits>> {};
