#include "trace/SelectionScope.h"

#include <utility>

#include "trace/Registry.h"

namespace Trace {

SelectionScope::SelectionScope(std::string_view text) : previous_(Registry::instance().selectionIs(Selection::parse(text))) {}

SelectionScope::~SelectionScope() { Registry::instance().selectionIs(std::move(previous_)); }

}  // namespace Trace
