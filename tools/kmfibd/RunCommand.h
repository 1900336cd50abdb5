#pragma once
// `kmfibd run [--af 4|6] [--kernel sim|platform] [--config FILE] [--control PATH]
// [--trace SPEC]`: reads its arguments, starts the daemon and serves until SIGTERM or
// SIGINT. Exit status 0 after an orderly stop, 1 when the daemon could not start (a refused
// configuration, a control socket that cannot be made), 2 with a usage line for a wrong
// argument.

namespace Kmfibd {

int runCommand(int argc, char** argv);

}  // namespace Kmfibd
