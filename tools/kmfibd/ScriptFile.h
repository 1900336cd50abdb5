#pragma once
// A statement file read whole, or refused with the system's reason ("No such file or
// directory", "Permission denied"); a directory is refused as such.

#include <stdexcept>
#include <string>

namespace Kmfibd {

struct ScriptFile {
  class Error : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Throws Error with "PATH: REASON".
  static ScriptFile read(std::string const& path);

  std::string name;
  std::string text;
};

}  // namespace Kmfibd
