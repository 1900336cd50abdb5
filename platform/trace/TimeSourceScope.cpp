#include "trace/TimeSourceScope.h"

#include <utility>

namespace Trace {

TimeSourceScope::TimeSourceScope(Registry::TimeSource source)
    : previous_(Registry::instance().timeSourceIs(std::move(source))) {}

TimeSourceScope::~TimeSourceScope() { Registry::instance().timeSourceIs(std::move(previous_)); }

}  // namespace Trace
