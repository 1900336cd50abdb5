#include "tools/kmfibd/Daemon.h"

#include <malloc.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <system_error>

#include "host/EpollLoop.h"
#include "kernel/LinuxKernel.h"
#include "tools/kmfibd/DaemonLog.h"
#include "trace/Selection.h"

namespace Kmfibd {

namespace {

// The operator log is on whatever the operator selects; the agent's review end is heard
// at its level and passed on only when selected (OperatorLogSink).
std::string selectionFor(std::string const& operatorSelection) {
  std::string selection =
      "kmfibd/0-1," + std::string(OperatorLogSink::reviewHandle) + "/" + std::to_string(OperatorLogSink::reviewLevel);
  if (!operatorSelection.empty()) selection += "," + operatorSelection;
  return selection;
}

// Reading and applying a configuration of a million routes frees hundreds of megabytes at
// its end; the allocator keeps them for the process unless told to give them back.
void releaseFreedMemory() { malloc_trim(0); }

sigset_t daemonSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void Daemon::blockSignals() {
  sigset_t const set = daemonSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  // Peers that hang up must not kill the daemon; sends say MSG_NOSIGNAL anyway.
  std::signal(SIGPIPE, SIG_IGN);
}

Daemon::Daemon(Options options) : options_(std::move(options)), parser_(options_.host.af) {
  options_.host.realTime = true;
  // The file itself is not kept: what it states lives on in live_.
  StatedObjects world = worldWith(
      options_.configPath.empty() ? ConfigFile() : ConfigFile::read(options_.configPath, parser_, realKernel()));

  Trace::Handle::Levels const operatorLevels =
      Trace::Selection::parse(options_.trace).levelsFor(OperatorLogSink::reviewHandle);
  sink_ = std::make_unique<OperatorLogSink>(std::cerr, operatorLevels, [this] {
    if (eventLog_) eventLog_->reviewFinished();
  });
  sinkScope_.emplace(*sink_);
  selection_.emplace(selectionFor(options_.trace));

  host_ = std::make_unique<Host>(options_.host);
  eventLog_ = std::make_unique<KernelEventLog>(host_->backend());
  if (options_.host.kernel == Host::Options::Kernel::mainline) {
    if (auto t = daemonLog().at(1)) t << Kernel::LinuxKernel::unresolvedLimitsNote();
  }
  useEventLog_.emplace(*eventLog_);

  sigset_t const set = daemonSignals();
  signalFd_.fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signalFd_.fd < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  auto& loop = dynamic_cast<Quib::EpollLoop&>(host_->activityManager().loop());
  loop.readerIs(signalFd_.fd, [this] { handleSignal(); });
  control_ = std::make_unique<ControlServer>(loop, host_->activityManager().clock(), options_.controlPath,
                                             [this](std::string_view line) { return execute(line); });

  applyBatch(StatedObjects::batch(live_, world));
  live_ = std::move(world);
  releaseFreedMemory();
  checkVifBounds();
  if (auto t = daemonLog().at(1)) {
    t << "ready: " << (options_.host.af == Plix::AddressFamily::ipv6 ? "IPv6" : "IPv4") << " agent, "
      << live_.objects().size() << " objects configured, control socket " << control_->path();
  }
}

Daemon::SignalFd::~SignalFd() {
  if (fd >= 0) ::close(fd);
}

Daemon::~Daemon() {
  control_.reset();
  // The agent goes first, while the operator log still hears its sockets close.
  host_->agentDel();
}

void Daemon::run() {
  host_->activityManager().loop().run();
  if (auto t = daemonLog().at(1)) t << "stopping: destroying the agent";
  control_.reset();
  host_->agentDel();
  if (auto t = daemonLog().at(1)) t << "stopped";
}

void Daemon::handleSignal() {
  signalfd_siginfo info{};
  while (::read(signalFd_.fd, &info, sizeof info) == sizeof info) {
    if (info.ssi_signo == SIGHUP) {
      reload();
      continue;
    }
    if (auto t = daemonLog().at(1)) t << (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM") << " received";
    host_->activityManager().loop().stop();
  }
}

std::string Daemon::execute(std::string_view line) {
  std::optional<Statement> s;
  try {
    s = parser_.parse(line);
  } catch (StatementError const& e) {
    return std::string("error: ") + e.what() + "\n";
  }
  if (!s) return "ok\n";
  if (std::string why = ConfigFile::refusal(*s, realKernel()); !why.empty()) return "error: " + why + "\n";
  std::ostringstream out;
  try {
    host_->apply(*s, out);
  } catch (std::exception const& e) {
    return std::string("error: ") + e.what() + "\n";
  }
  for (auto const& key : live_.apply(*s)) runtimeKeys_.insert(key);
  checkVifBounds();
  return out.str() + "ok\n";
}

StatedObjects Daemon::worldWith(ConfigFile const& file) const {
  StatedObjects world = file.objects();
  for (auto const& key : runtimeKeys_) {
    if (world.has(key)) continue;
    world.isFrom(key, live_);
  }
  for (auto const& [key, s] : world.objects()) {
    std::string const why = world.conflict(*s);
    if (why.empty()) continue;
    if (file.objects().has(key)) throw ConfigError(file.whereStated(key) + ": " + why);
    throw ConfigError("a statement given at run time (" + key.substr(2) + ") would not stand: " + why);
  }
  return world;
}

bool Daemon::applyBatch(std::vector<Statement> const& batch) {
  bool done = true;
  std::ostringstream ignored;
  for (auto const& s : batch) {
    try {
      host_->apply(s, ignored);
    } catch (std::exception const& e) {
      if (auto t = daemonLog().at(1)) t << "configuration: " << StatedObjects::keyOf(s).substr(2) << ": " << e.what();
      done = false;
    }
  }
  return done;
}

bool Daemon::reload() {
  if (options_.configPath.empty()) {
    if (auto t = daemonLog().at(1)) t << "SIGHUP: no configuration file to read";
    return false;
  }
  ConfigFile next;
  StatedObjects world;
  try {
    next = ConfigFile::read(options_.configPath, parser_, realKernel());
    world = worldWith(next);
  } catch (ConfigError const& e) {
    if (auto t = daemonLog().at(1)) t << "configuration refused, nothing changed: " << e.what();
    return false;
  }
  auto const batch = StatedObjects::batch(live_, world);
  bool const done = applyBatch(batch);
  live_ = std::move(world);
  for (auto const& [key, s] : next.objects().objects()) runtimeKeys_.erase(key);
  next = ConfigFile();
  releaseFreedMemory();
  checkVifBounds();
  if (auto t = daemonLog().at(1))
    t << "configuration " << options_.configPath << " applied: " << batch.size() << " changes";
  return done;
}

void Daemon::checkVifBounds() {
  if (options_.host.kernel != Host::Options::Kernel::mainline) return;
  std::set<std::string> over;
  for (auto const& [vrf, config] : host_->config().vrfConfig) {
    auto const warning = Kernel::LinuxKernel::vifBoundWarning(vrf.str(), config->max());
    if (!warning) continue;
    over.insert(vrf.str());
    if (vifBoundWarned_.count(vrf.str())) continue;
    if (auto t = daemonLog().at(1)) t << *warning;
  }
  vifBoundWarned_ = std::move(over);
}

}  // namespace Kmfibd
