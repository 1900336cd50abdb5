#pragma once
// The world a kmfibd script runs in: a virtual-time activity manager, the simulated kernel,
// and the state database with the entities the rest of the platform would publish (VRF
// status, interface status, kernel multicast configuration, application requests, route
// tables, each namespace's kernel network information), and the agent of the chosen family
// running on all of it. `apply` carries out one statement against it; a statement that
// cannot be carried out is refused with a StatementError and changes nothing.

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "entities/AllIntfStatusDir.h"
#include "entities/AllVrfStatusLocal.h"
#include "entities/ConfigColl.h"
#include "entities/StatusColl.h"
#include "host/ActivityManager.h"
#include "host/AgentHost.h"
#include "kernel/Backend.h"
#include "kernel/SimKernel.h"
#include "orvo/EntityManager.h"
#include "plix/AddressFamily.h"
#include "quib/Dir.h"
#include "tools/kmfibd/Statement.h"
#include "tools/kmfibd/SystemDevices.h"
#include "trace/TimeSourceScope.h"

namespace Kmfibd {

class Host {
 public:
  struct Options {
    Plix::AddressFamily af = Plix::AddressFamily::ipv4;
    double callCost = 0;  // virtual seconds charged per kernel call
    bool agent = true;    // false: the platform alone
    bool realTime = false;  // the epoll loop on the monotonic clock (the daemon)
    // sim: the simulated kernel; platform: the platform's own; mainline: a stock Linux
    // kernel. The real ones read namespaces and devices from the system (need realTime).
    enum class Kernel { sim, platform, mainline } kernel = Kernel::sim;
  };
  static constexpr char const* agentName = "KernelMfib";

  // Where the platform publishes what the agent mounts, per family: the agent's own paths.
  struct Paths {
    explicit Paths(Plix::AddressFamily af);
    std::string mfibDir, config, status, appDir, vrfStatus, intfStatus;
  };

  explicit Host(Options const& options);
  ~Host();
  Host(Host const&) = delete;
  Host& operator=(Host const&) = delete;

  void apply(Statement const& s, std::ostream& out);
  // Destroys the agent, which shuts its sockets down; the platform stays.
  void agentDel() { agentHost_.agentDel(); }

  Plix::AddressFamily af() const { return options_.af; }
  Paths const& paths() const { return paths_; }
  Kernel::SimKernel& kernel() { return kernel_; }
  // The backend the agent's calls go to.
  Kernel::Backend& backend() { return realKernel_ ? *realKernel_ : kernel_; }
  bool realKernel() const { return realKernel_ != nullptr; }
  // The kernel multicast configuration of every configured VRF, as stated.
  Routing::KernelMfib::ConfigColl const& config() const { return *config_; }
  // Why the statement cannot be carried out on this kind of kernel; empty when it can.
  static std::string kernelRefusal(Statement const& s, bool realKernel);
  Quib::ActivityManager& activityManager() { return activityManager_; }
  Quib::Ptr<Orvo::EntityManager> const& entityManager() const { return em_; }
  Quib::Ptr<AgentBase::CAgent> const& agent() const { return agentHost_.agent(); }

 private:
  void applyNetns(Statement const& s);
  void applyLink(Statement const& s);
  void applyIntf(Statement const& s);
  void applyVrf(Statement const& s);
  void applyConfig(Statement const& s);
  void applyRequest(Statement const& s);
  void applyTable(Statement const& s);
  void applyRoute(Statement const& s);
  void applyFault(Statement const& s);
  void showKernel(Statement const& s, std::ostream& out);
  void showStatus(Statement const& s, std::ostream& out);
  void showMachines(std::ostream& out);
  void showMroute(Statement const& s, std::ostream& out);
  // A VRF the world knows of: default, or one with a VRF status, configuration, status or tables.
  void requireVrf(L3::VrfName const& vrf) const;
  void showCounters(Statement const& s, std::ostream& out);
  void startAgent();
  // The simulated kernel's devices of `ns` into its interface-index table: all of them, or
  // only `dev` when it alone changed.
  void mirrorDevices(Plix::NamespaceName const& ns, std::string const& dev = {});
  void publishDevices(Plix::NamespaceName const& ns, std::map<std::string, std::uint32_t> const& devices);
  void requireNamespace(Plix::NamespaceName const& ns) const;

  Options options_;
  Paths paths_;
  Quib::ActivityManager activityManager_;
  Trace::TimeSourceScope traceTime_;
  Kernel::SimKernel kernel_;
  std::unique_ptr<Kernel::Backend> realKernel_;
  Kernel::Backend::Use useKernel_{backend()};
  Quib::Ptr<Orvo::EntityManager> em_;
  Quib::Ptr<Routing::KernelMfib::ConfigColl> config_;
  Quib::Ptr<Routing::KernelMfib::StatusColl> status_;
  Quib::Ptr<Ip::AllVrfStatusLocal> vrfs_;
  Quib::Ptr<Interface::AllIntfStatusDir> intfs_;
  Quib::Ptr<Quib::Dir> apps_;
  Quib::Ptr<Quib::Dir> fib_;
  std::unique_ptr<SystemDevices> system_;  // on a real kernel
  AgentBase::AgentHost agentHost_{em_};
};

}  // namespace Kmfibd
