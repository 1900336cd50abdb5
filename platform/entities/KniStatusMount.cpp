#include "entities/KniStatusMount.h"

namespace KernelNetInfo {

std::string kniStatusMount(Plix::NamespaceName const& ns) { return "kni/ns/" + ns.str() + "/status"; }

}  // namespace KernelNetInfo
