#include "trace/SinkScope.h"

#include "trace/Registry.h"

namespace Trace {

SinkScope::SinkScope(Sink& sink) : previous_(Registry::instance().sinkIs(&sink)) {}

SinkScope::~SinkScope() { Registry::instance().sinkIs(previous_); }

}  // namespace Trace
