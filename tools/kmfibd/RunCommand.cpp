#include "tools/kmfibd/RunCommand.h"

#include <stdlib.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <system_error>

#include "tools/kmfibd/Daemon.h"
#include "trace/Selection.h"

namespace Kmfibd {

namespace {

constexpr char const* usageLine =
    "usage: kmfibd run [--af 4|6] [--kernel sim|platform] [--config FILE] [--control PATH] [--trace SPEC]\n";

int usage() {
  std::cerr << usageLine;
  return 2;
}

void help() {
  std::cout << usageLine
            << "Runs the kernel multicast FIB agent as a daemon on the real clock.\n"
               "  --af 4|6          address family of the agent (default 4)\n"
               "  --kernel KIND     sim (default: the embedded simulated kernel) or platform\n"
               "                    (the platform's own kernel; namespaces from /run/netns)\n"
               "  --config FILE     statements applied at start and again on SIGHUP\n"
               "  --control PATH    control socket (default /run/kmfibd.sock), mode 0600\n"
               "  --trace SPEC      text traces, e.g. KernelMfibSm/0-9,KernelMfibAgent/3\n"
               "SIGTERM and SIGINT stop the daemon; SIGHUP re-reads the configuration.\n";
}

}  // namespace

int runCommand(int argc, char** argv) {
  Daemon::Options options;
  for (int i = 0; i < argc; ++i) {
    std::string const arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help();
      return 0;
    }
    if (arg == "--version") {
      std::cout << "kmfibd " << KMFIB_VERSION << "\n";
      return 0;
    }
    if (i + 1 >= argc) return usage();
    std::string const value = argv[++i];
    if (arg == "--af" && (value == "4" || value == "6")) {
      options.host.af = value == "6" ? Plix::AddressFamily::ipv6 : Plix::AddressFamily::ipv4;
    } else if (arg == "--kernel" && (value == "sim" || value == "platform")) {
      options.host.kernel = value == "sim" ? Host::Options::Kernel::sim : Host::Options::Kernel::platform;
    } else if (arg == "--config") {
      options.configPath = value;
    } else if (arg == "--control") {
      options.controlPath = value;
    } else if (arg == "--trace") {
      options.trace = value;
    } else {
      return usage();
    }
  }
  try {
    Trace::Selection::parse(options.trace);
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
