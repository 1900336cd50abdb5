#pragma once
// Sends trace lines to a sink for the lifetime of the scope, then to the previous one again.
// The sink must outlive the scope. Scopes end in the reverse order of their start.

#include "trace/Sink.h"

namespace Trace {

class SinkScope {
 public:
  explicit SinkScope(Sink& sink);
  ~SinkScope();
  SinkScope(SinkScope const&) = delete;
  SinkScope& operator=(SinkScope const&) = delete;

 private:
  Sink* previous_;
};

}  // namespace Trace
