#pragma once
// Where a network namespace's kernel network information (KernelNetInfo::Status) lives in
// the state database: "kni/ns/<namespace>/status".

#include <string>

#include "plix/NamespaceName.h"

namespace KernelNetInfo {

std::string kniStatusMount(Plix::NamespaceName const& ns);

}  // namespace KernelNetInfo
