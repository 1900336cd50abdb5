#include "orvo/Cell.h"

namespace Cell {

int cellId() { return 1; }

std::string path(std::string_view name) { return path(name, cellId()); }

std::string path(std::string_view name, int id) {
  return "cell/" + std::to_string(id) + "/" + std::string(name);
}

}  // namespace Cell
