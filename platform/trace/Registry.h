#pragma once
// The process's text-trace state: every handle by name, the selection that sets their levels,
// the sink lines go to and the time source that stamps them. Handles are created on first
// use and live as long as the process, so callers may keep references to them. The host
// installs selection, sink and time source once; tests use SelectionScope, SinkScope and
// TimeSourceScope, which put the previous state back. Used from one thread only.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "trace/Handle.h"
#include "trace/Sink.h"
#include "trace/Selection.h"

namespace Trace {

class Registry {
 public:
  using TimeSource = std::function<double()>;

  static Registry& instance();
  Registry(Registry const&) = delete;
  Registry& operator=(Registry const&) = delete;

  // A new handle starts with the levels the current selection gives its name.
  Handle& handle(std::string_view name);
  Handle const* find(std::string_view name) const;
  // Every handle created so far, in name order.
  std::vector<std::string> names() const;

  // Each returns what it replaced.
  Selection selectionIs(Selection selection);
  Sink* sinkIs(Sink* sink);  // null restores the standard-error sink
  TimeSource timeSourceIs(TimeSource source);  // empty means a time of 0

  Selection const& selection() const { return selection_; }
  Sink& sink() const { return *sink_; }
  double now() const { return timeSource_ ? timeSource_() : 0.0; }

  void emit(std::string_view handle, int level, std::string_view text);

 private:
  Registry();

  std::map<std::string, Handle, std::less<>> handles_;
  Selection selection_;
  Sink* sink_;
  TimeSource timeSource_;
};

// Shorthands for the host and for source files keeping their handle.
Handle& handle(std::string_view name);
void selectionIs(std::string_view text);  // throws std::invalid_argument and changes nothing
// Throws std::invalid_argument when the selection names a handle that does not exist, listing
// those that do.
void checkKnownNames(Selection const& selection);
void timeSourceIs(Registry::TimeSource source);

}  // namespace Trace
