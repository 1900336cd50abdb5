// vorlakdump FILE: prints a binary trace file's records, oldest first.

#include <iostream>

#include "cli/CommandLine.h"
#include "trace/vorlak/DumpCommand.h"

int main(int argc, char** argv) {
  static Cli::Program const program{
      .name = "vorlakdump",
      .operands = "FILE",
      .summary = "Prints the records of a binary trace file (kmfibd writes one into the folder VORLAKDIR\n"
                 "names), oldest first, one a line: time stamp, level, text.",
      .subcommands = {},
      .options = {},
      .example = "VORLAKDIR=/tmp kmfibd script examples/quickstart.kmfib && vorlakdump /tmp/KernelMfib.vk",
  };
  Cli::Arguments parsed;
  if (auto status = program.start(argc, argv, parsed, std::cout, std::cerr)) return *status;
  if (parsed.operands.size() != 1) return program.refuse(std::cerr, "vorlakdump reads exactly one FILE");
  char const* file[] = {parsed.operands.front().c_str()};
  return Vorlak::DumpCommand::run(file, std::cout, std::cerr);
}
