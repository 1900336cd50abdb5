#pragma once
// Applies a trace selection for the lifetime of the scope and then puts the previous one back.
// Scopes nest; they must end in the reverse order of their start.

#include <string_view>

#include "trace/Selection.h"

namespace Trace {

class SelectionScope {
 public:
  // Throws std::invalid_argument for a malformed selection, before anything changes.
  explicit SelectionScope(std::string_view text);
  ~SelectionScope();
  SelectionScope(SelectionScope const&) = delete;
  SelectionScope& operator=(SelectionScope const&) = delete;

 private:
  Selection previous_;
};

}  // namespace Trace
