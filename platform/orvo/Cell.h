#pragma once
// Paths specific to this cell (this system's supervisor instance): the same name under
// "cell/<id>/", so several cells can share one state database without clashing.

#include <string>
#include <string_view>

namespace Cell {

int cellId();
std::string path(std::string_view name);
std::string path(std::string_view name, int cellId);

}  // namespace Cell
