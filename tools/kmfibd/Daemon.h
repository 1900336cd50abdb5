#pragma once
// `kmfibd run`: a Host on the real event loop, configured from a file and steered through
// the control socket. The configuration is read and checked before anything is built, so an
// error in it stops the start before the agent touches the kernel. SIGHUP applies the
// re-read file as one batch; SIGTERM and SIGINT end the run, and the agent is destroyed while
// the operator log still hears the kernel, so every socket's shutdown and close are logged.
//
// The daemon keeps what has been stated, by the file and at run time. A re-read file leads
// from what is held to: the new file's objects, plus what was stated at run time about
// objects the new file does not state. A file naming something nobody states (a route of a
// table that does not exist) is refused as a whole and nothing changes.

#include <csignal>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "kernel/Backend.h"
#include "tools/kmfibd/ConfigFile.h"
#include "tools/kmfibd/ControlServer.h"
#include "tools/kmfibd/Host.h"
#include "tools/kmfibd/KernelEventLog.h"
#include "tools/kmfibd/OperatorLogSink.h"
#include "tools/kmfibd/StatedObjects.h"
#include "tools/kmfibd/StatementParser.h"
#include "trace/SelectionScope.h"
#include "trace/SinkScope.h"

namespace Kmfibd {

class Daemon {
 public:
  struct Options {
    Host::Options host;
    std::string configPath;  // empty: none
    std::string controlPath = "/run/kmfibd.sock";
    std::string trace;  // the operator's trace selection
  };

  // Throws ConfigError for a refused configuration, std::system_error when the control
  // socket or the signal descriptor cannot be made. SIGTERM, SIGINT and SIGHUP must be
  // blocked by the caller before (see blockSignals).
  explicit Daemon(Options options);
  ~Daemon();
  Daemon(Daemon const&) = delete;
  Daemon& operator=(Daemon const&) = delete;

  static void blockSignals();

  // Serves until SIGTERM or SIGINT, then destroys the agent.
  void run();

  // One control request: its output, then "ok" or "error: TEXT".
  std::string execute(std::string_view line);
  // Re-reads the configuration file and applies the difference; false when it was refused.
  bool reload();

 private:
  struct SignalFd {
    SignalFd() = default;
    SignalFd(SignalFd const&) = delete;
    SignalFd& operator=(SignalFd const&) = delete;
    ~SignalFd();
    int fd = -1;
  };

  // The objects to hold after `file` is applied; throws ConfigError naming the file's line
  // when an object needs one nobody states.
  StatedObjects worldWith(ConfigFile const& file) const;
  // False when a statement of the batch was refused (logged).
  bool applyBatch(std::vector<Statement> const& batch);
  void handleSignal();
  // On a mainline kernel: warns once for each VRF whose VIF bound is above what the kernel
  // holds (again if it comes down and goes up again).
  void checkVifBounds();
  bool realKernel() const { return options_.host.kernel != Host::Options::Kernel::sim; }

  Options options_;
  StatementParser parser_;
  StatedObjects live_;
  std::set<std::string> runtimeKeys_;
  std::set<std::string> vifBoundWarned_;
  // Members end in reverse order: the control socket and the signal descriptor first, the
  // host while the trace sink still stands.
  std::unique_ptr<OperatorLogSink> sink_;
  std::optional<Trace::SinkScope> sinkScope_;
  std::optional<Trace::SelectionScope> selection_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<KernelEventLog> eventLog_;
  std::optional<Kernel::Backend::Use> useEventLog_;
  SignalFd signalFd_;
  std::unique_ptr<ControlServer> control_;
};

}  // namespace Kmfibd
