#include "trace/Context.h"

#include <set>
#include <string>

namespace Trace {

namespace {

Context current = nullptr;

}  // namespace

Context context(std::string_view text) {
  // Node-based: the texts and their views stay where they are.
  static std::set<std::string, std::less<>> texts;
  static std::set<std::string_view> views;
  auto const& stored = *texts.emplace(text).first;
  return &*views.emplace(stored).first;
}

Context currentContext() { return current; }

ContextScope::ContextScope(Context context) : previous_(current) {
  if (context) current = context;
}

ContextScope::~ContextScope() { current = previous_; }

}  // namespace Trace
