#pragma once
// The text trace of the agent frame and the root machine.

#include "trace/Handle.h"
#include "trace/Registry.h"

namespace KernelMfibAgent {

inline Trace::Handle& agentTrace() {
  static Trace::Handle& handle = Trace::handle("KernelMfibAgent");
  return handle;
}
// Created at start so that a trace selection can be checked against the names that exist.
[[maybe_unused]] inline Trace::Handle& agentTraceDeclared = agentTrace();

}  // namespace KernelMfibAgent
