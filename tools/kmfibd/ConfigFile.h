#pragma once
// A daemon's configuration file read into the objects it states. The file is read as a
// whole and refused as a whole: a statement the parser refuses, one that has no place in a
// configuration (advance, restart, fault, show), a `no` form removing nothing stated above
// it, or one the kernel backend refuses (netns and link on a real kernel) makes the
// constructor throw a ConfigError "FILE:LINE: TEXT". What an object needs from outside the
// file (a table made at run time) is checked by the daemon, which knows the rest.

#include <istream>
#include <map>
#include <stdexcept>
#include <string>

#include "tools/kmfibd/StatedObjects.h"
#include "tools/kmfibd/StatementParser.h"

namespace Kmfibd {

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ConfigFile {
 public:
  ConfigFile() = default;
  // `realKernel`: namespaces and devices come from the system, not from statements.
  ConfigFile(std::string name, std::string const& text, StatementParser const& parser, bool realKernel);
  // Read line by line: a file of a million routes is never held as text.
  ConfigFile(std::string name, std::istream& in, StatementParser const& parser, bool realKernel);
  static ConfigFile read(std::string const& path, StatementParser const& parser, bool realKernel);

  StatedObjects const& objects() const { return objects_; }
  // "FILE:LINE" of the statement that last stated the object.
  std::string whereStated(std::string const& key) const;

  // Why a statement is refused on a daemon whatever its source; empty when it is not.
  static std::string refusal(Statement const& s, bool realKernel);

 private:
  void parse(std::istream& in, StatementParser const& parser, bool realKernel);

  std::string name_;
  StatedObjects objects_;
  std::map<std::string, int> lines_;
};

}  // namespace Kmfibd
