#pragma once
// Stamps trace lines and binary-trace records with a given time source for the lifetime of
// the scope, then restores the previous source. Tests use it for fixed, repeatable times.

#include "trace/Registry.h"

namespace Trace {

class TimeSourceScope {
 public:
  explicit TimeSourceScope(Registry::TimeSource source);
  ~TimeSourceScope();
  TimeSourceScope(TimeSourceScope const&) = delete;
  TimeSourceScope& operator=(TimeSourceScope const&) = delete;

 private:
  Registry::TimeSource previous_;
};

}  // namespace Trace
