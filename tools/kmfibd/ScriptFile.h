#pragma once
// A statement file that can be read, or its refusal with the system's reason ("No such file
// or directory", "Permission denied"); a directory is refused as such. Only the first line
// (the options of a "#!" line) is kept: the statements are read as a stream when the file
// runs, so a script of a million routes is never held whole. A regular file is opened again
// at its turn; a pipe or FIFO can be read only once, so it stays open, after its first line.

#include <fstream>
#include <memory>
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

  // Opens a regular file again, from its start; throws Error with "PATH: REASON".
  std::ifstream open() const;

  std::string name;
  std::string firstLine;
  // A pipe's or FIFO's stream, after firstLine.
  std::shared_ptr<std::istream> held;
};

}  // namespace Kmfibd
