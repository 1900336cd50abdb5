// kmfibd: hosts the kernel multicast FIB agent on its own platform. `kmfibd script` runs
// statement files on the virtual clock and the simulated kernel.

#include <stdlib.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/kmfibd/RunCommand.h"
#include "tools/kmfibd/ScriptRunner.h"
#include "trace/Registry.h"

namespace {

int usage() {
  std::cerr << "usage: kmfibd script FILE... [--af 4|6] [--trace SELECTION] [--call-cost SECONDS]\n"
               "       kmfibd run [--af 4|6] [--kernel sim|platform] [--config FILE] [--control PATH] [--trace SPEC]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "run") return Kmfibd::runCommand(argc - 2, argv + 2);
  if (argc < 2 || std::string(argv[1]) != "script") return usage();
  Kmfibd::Host::Options options;
  std::vector<std::string> files;
  std::string trace;
  if (char const* env = std::getenv("TRACE")) trace = env;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    bool const hasValue = i + 1 < argc;
    if (arg == "--af" && hasValue) {
      std::string af = argv[++i];
      if (af != "4" && af != "6") return usage();
      options.af = af == "6" ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
    } else if (arg == "--trace" && hasValue) {
      trace = argv[++i];
    } else if (arg == "--call-cost" && hasValue) {
      char* end = nullptr;
      options.callCost = std::strtod(argv[++i], &end);
      if (*end != '\0' || options.callCost < 0) return usage();
    } else if (arg.starts_with("--")) {
      return usage();
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return usage();
  try {
    Trace::selectionIs(trace);
  } catch (std::invalid_argument const& e) {
    std::cerr << "error: --trace: " << e.what() << "\n";
    return 2;
  }
  // A script is a what-if: its binary trace is kept only where the user asks for one.
  if (!std::getenv("VORLAKDIR")) setenv("VORLAK_DISABLE", "1", 0);
  Kmfibd::Host host(options);
  return Kmfibd::ScriptRunner(host, std::cout, std::cerr).runFiles(files);
}
