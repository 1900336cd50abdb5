#pragma once
// `kmfibd run [--af 4|6] [--kernel sim|platform|linux] [--config FILE] [--control PATH]
// [--trace SPEC]`: checks the options the command line gave it, starts the daemon and
// serves until SIGTERM or SIGINT. Exit status 0 after an orderly stop, 1 when the daemon
// could not start (a refused configuration, a control socket that cannot be made), 2 with
// the usage for a wrong argument.

#include "cli/CommandLine.h"

namespace Kmfibd {

int runCommand(Cli::Arguments const& args);

}  // namespace Kmfibd
