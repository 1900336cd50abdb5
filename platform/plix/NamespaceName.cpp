#include "plix/NamespaceName.h"

namespace Plix {

NamespaceName const& NamespaceName::defaultNamespace() {
  static NamespaceName const name("default");
  return name;
}

}  // namespace Plix
