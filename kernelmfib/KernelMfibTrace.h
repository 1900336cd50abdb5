#pragma once
// The text trace of the per-VRF machines.

#include "trace/Handle.h"
#include "trace/Registry.h"

namespace Routing::KernelMfib {

inline Trace::Handle& kernelMfibTrace() {
  static Trace::Handle& handle = Trace::handle("KernelMfibSm");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] inline Trace::Handle& kernelMfibTraceDeclared = kernelMfibTrace();

}  // namespace Routing::KernelMfib
