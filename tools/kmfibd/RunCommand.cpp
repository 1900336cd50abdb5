#include "tools/kmfibd/RunCommand.h"

#include <stdlib.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <system_error>

#include "tools/kmfibd/Daemon.h"
#include "tools/kmfibd/DaemonLog.h"
#include "tools/kmfibd/ScriptOptions.h"
#include "trace/Registry.h"
#include "trace/Selection.h"

namespace Kmfibd {

namespace {

std::map<std::string, Host::Options::Kernel> const kernels = {
    {"sim", Host::Options::Kernel::sim},
    {"platform", Host::Options::Kernel::platform},
    {"linux", Host::Options::Kernel::mainline},
};

int refuse(std::string const& reason) { return ScriptOptions::program().refuse(std::cerr, reason); }

}  // namespace

int runCommand(Cli::Arguments const& args) {
  if (!args.operands.empty()) return refuse("run takes no operand, not " + Cli::quoted(args.operands.front()));
  Daemon::Options options;
  for (auto const& [option, value] : args.options) {
    if (option == "--af") {
      // Checked as a script's --af is, with the same words for a wrong one.
      ScriptOptions family;
      try {
        family.set(option, value);
      } catch (Cli::UsageError const& e) {
        return refuse(e.what());
      }
      options.host.af = family.host().af;
    } else if (option == "--kernel") {
      if (!kernels.count(value)) return refuse("--kernel " + Cli::quoted(value) + ": the kernel is sim, platform or linux");
      options.host.kernel = kernels.at(value);
    } else if (option == "--config") {
      options.configPath = value;
    } else if (option == "--control") {
      options.controlPath = value;
    } else if (option == "--trace") {
      options.trace = value;
    }
  }
  try {
    daemonLog();  // its name is known before the daemon writes a line
    Trace::checkKnownNames(Trace::Selection::parse(options.trace));
  } catch (std::invalid_argument const& e) {
    std::cerr << "error: --trace: " << e.what() << "\n";
    return 2;
  }
  // The daemon keeps a binary trace only where the operator asks for one.
  if (!std::getenv("VORLAKDIR")) setenv("VORLAK_DISABLE", "1", 0);
  Daemon::blockSignals();
  try {
    Daemon daemon(options);
    daemon.run();
  } catch (ConfigError const& e) {
    std::cerr << "error: " << e.what() << "\n";
    return 1;
  } catch (std::system_error const& e) {
    std::cerr << "error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace Kmfibd
