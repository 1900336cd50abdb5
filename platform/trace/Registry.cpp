#include "trace/Registry.h"

#include <stdexcept>
#include <utility>

#include "trace/StreamSink.h"

namespace Trace {

namespace {

Sink& standardErrorSink() {
  static StreamSink sink;
  return sink;
}

}  // namespace

Registry::Registry() : sink_(&standardErrorSink()) {}

Registry& Registry::instance() {
  static Registry registry;
  return registry;
}

Handle& Registry::handle(std::string_view name) {
  if (auto it = handles_.find(name); it != handles_.end()) return it->second;
  auto [it, inserted] = handles_.try_emplace(std::string(name), name, selection_.levelsFor(name));
  return it->second;
}

Handle const* Registry::find(std::string_view name) const {
  auto it = handles_.find(name);
  return it == handles_.end() ? nullptr : &it->second;
}

std::vector<std::string> Registry::names() const {
  std::vector<std::string> names;
  for (auto const& [name, h] : handles_) names.push_back(name);
  return names;
}

Selection Registry::selectionIs(Selection selection) {
  std::swap(selection, selection_);
  for (auto& [name, h] : handles_) h.levelsIs(selection_.levelsFor(name));
  return selection;
}

Sink* Registry::sinkIs(Sink* sink) {
  return std::exchange(sink_, sink ? sink : &standardErrorSink());
}

Registry::TimeSource Registry::timeSourceIs(TimeSource source) {
  return std::exchange(timeSource_, std::move(source));
}

void Registry::emit(std::string_view handle, int level, std::string_view text) {
  sink_->write(now(), handle, level, text);
}

Handle& handle(std::string_view name) { return Registry::instance().handle(name); }

void selectionIs(std::string_view text) { Registry::instance().selectionIs(Selection::parse(text)); }

void checkKnownNames(Selection const& selection) {
  auto const& registry = Registry::instance();
  for (auto const& name : selection.names()) {
    if (name == "*" || registry.find(name)) continue;
    std::string known;
    for (auto const& n : registry.names()) known += (known.empty() ? "" : ", ") + n;
    throw std::invalid_argument("unknown trace '" + name + "' (" + known + ")");
  }
}

void timeSourceIs(Registry::TimeSource source) { Registry::instance().timeSourceIs(std::move(source)); }

}  // namespace Trace
