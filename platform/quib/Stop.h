#pragma once
// Stops the process on a broken invariant, with the diagnostic an operator can search for.
// Kernel failures are never reasons to stop; only states the code cannot have reached
// correctly are.

#include <string_view>

namespace Quib {

[[noreturn]] void stop(std::string_view diagnostic);

}  // namespace Quib
