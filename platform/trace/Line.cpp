#include "trace/Line.h"

#include "trace/Handle.h"

namespace Trace {

void Line::emit() noexcept {
  // A trace must never take the process down, so a failing sink loses the line.
  try {
    handle_->write(level_, stream_->view());
  } catch (...) {
  }
}

}  // namespace Trace
