#include "orvo/Mount.h"

#include <stdexcept>

namespace Orvo {

Mount::Mount(std::string path, std::string typeName, std::string flags)
    : path_(std::move(path)), typeName_(std::move(typeName)), flags_(std::move(flags)) {
  if (path_.empty()) throw std::invalid_argument("mount of an empty path");
  if (typeName_.empty()) throw std::invalid_argument("mount of " + path_ + " without a type name");
  if (flags_.find_first_not_of("rwi") != std::string::npos) {
    throw std::invalid_argument("mount of " + path_ + ": unknown flags '" + flags_ + "'");
  }
  if (flags_.find_first_of("rw") == std::string::npos) {
    throw std::invalid_argument("mount of " + path_ + ": flags '" + flags_ + "' give neither read nor write");
  }
}

}  // namespace Orvo
