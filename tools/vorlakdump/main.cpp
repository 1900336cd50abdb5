// vorlakdump FILE: prints a binary trace file's records, oldest first.

#include <iostream>
#include <span>

#include "trace/vorlak/DumpCommand.h"

int main(int argc, char** argv) {
  std::span<char const* const> args(const_cast<char const* const*>(argv), static_cast<std::size_t>(argc));
  return Vorlak::DumpCommand::run(args.subspan(argc > 0 ? 1 : 0), std::cout, std::cerr);
}
