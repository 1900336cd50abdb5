#pragma once
// Marks a collection that has no keyless callback.

namespace Quib {

struct NoCallback {};
inline constexpr NoCallback noCallback{};

}  // namespace Quib
