#include "plix/VrfName.h"

namespace L3 {

VrfName const& VrfName::defaultVrf() {
  static VrfName const name("default");
  return name;
}

}  // namespace L3
