#include "plix/IntfId.h"

namespace Plix {

IntfId const& IntfId::null0() {
  static IntfId const id("Null0");
  return id;
}

IntfId const& IntfId::register0() {
  static IntfId const id("Register0");
  return id;
}

}  // namespace Plix
