#pragma once
// The daemon's operator log: trace handle "kmfibd", level 1 for every line an operator acts
// on. The daemon's selection keeps it on whatever --trace says.

#include "trace/Registry.h"

namespace Kmfibd {

inline Trace::Handle& daemonLog() {
  static Trace::Handle& handle = Trace::handle("kmfibd");
  return handle;
}

}  // namespace Kmfibd
