#pragma once
// The text trace of the per-VRF machines.

#include "trace/Handle.h"
#include "trace/Registry.h"

namespace Routing::KernelMfib {

inline Trace::Handle& kernelMfibTrace() {
  static Trace::Handle& handle = Trace::handle("KernelMfibSm");
  return handle;
}

}  // namespace Routing::KernelMfib
