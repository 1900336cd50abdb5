#pragma once
// A statement file that can be read, or its refusal with the system's reason ("No such file
// or directory", "Permission denied"); a directory is refused as such. Only the first line
// (the options of a "#!" line) is kept: the statements are read as a stream when the file
// runs, so a script of a million routes is never held whole.

#include <fstream>
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

  // Opens the file as read() found it; throws Error with "PATH: REASON".
  std::ifstream open() const;

  std::string name;
  std::string firstLine;
};

}  // namespace Kmfibd
