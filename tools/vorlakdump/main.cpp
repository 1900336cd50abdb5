// vorlakdump FILE: prints a binary trace file's records, oldest first.

#include <iostream>
#include <span>

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
  std::span<char const* const> args(const_cast<char const* const*>(argv), static_cast<std::size_t>(argc));
  Cli::Arguments parsed;
  try {
    parsed = Cli::parse(program, args.subspan(argc > 0 ? 1 : 0));
  } catch (Cli::UsageError const& e) {
    return program.refuse(std::cerr, e.what());
  }
  if (parsed.help) {
    program.printHelp(std::cout);
    return 0;
  }
  if (parsed.version) {
    program.printVersion(std::cout);
    return 0;
  }
  if (parsed.operands.size() != 1) return program.refuse(std::cerr, "vorlakdump reads exactly one FILE");
  char const* file[] = {parsed.operands.front().c_str()};
  return Vorlak::DumpCommand::run(file, std::cout, std::cerr);
}
