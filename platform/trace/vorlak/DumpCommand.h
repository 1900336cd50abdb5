#pragma once
// The vorlakdump command: `vorlakdump FILE` prints every record of a binary trace file,
// oldest first, one per line ("12.000250 1 Syncing key ..."). Exit status 0 on success, 2
// with a message on the error stream for bad usage or a missing or malformed file.

#include <ostream>
#include <span>

namespace Vorlak {

class DumpCommand {
 public:
  // args are the command-line arguments after the program name.
  static int run(std::span<char const* const> args, std::ostream& out, std::ostream& err);
};

}  // namespace Vorlak
