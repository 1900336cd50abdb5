#include "trace/TimeStamp.h"

#include <cstdio>

namespace Trace {

std::string TimeStamp::text() const {
  char buffer[64];
  auto const n = std::snprintf(buffer, sizeof buffer, "%.6f", seconds_);
  if (n < 0) return "?";
  return std::string(buffer, static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n)
                                                                           : sizeof buffer - 1);
}

}  // namespace Trace
