#include "tools/kmfibd/Host.h"

#include "agent/Agent4.h"
#include "agent/Agent6.h"
#include "entities/EntityTypes.h"
#include "entities/KniStatusMount.h"
#include "entities/MulticastIntfsForApplications.h"
#include "halm/Status.h"
#include "host/EpollLoop.h"
#include "host/VirtualLoop.h"
#include "entities/kni/Status.h"
#include "kernel/KernelRecordPrinter.h"
#include "kernel/LinuxKernel.h"
#include "kernel/PlatformKernel.h"

#include <map>
#include <set>
#include <vector>
#include "orvo/Cell.h"
#include "tools/kmfibd/MrouteView.h"
#include "tools/kmfibd/RecordPrinter.h"
#include "tools/kmfibd/StatementParser.h"

namespace Kmfibd {

namespace {

std::unique_ptr<Quib::EventLoop> loopFor(Host::Options const& options) {
  if (options.realTime) return std::make_unique<Quib::EpollLoop>();
  return std::make_unique<Quib::VirtualLoop>();
}

std::unique_ptr<Kernel::Backend> realKernelFor(Host::Options const& options) {
  if (options.kernel == Host::Options::Kernel::sim) return nullptr;
  if (!options.realTime) throw std::logic_error("a real kernel needs the real event loop");
  if (options.kernel == Host::Options::Kernel::mainline) return std::make_unique<Kernel::LinuxKernel>();
  return std::make_unique<Kernel::PlatformKernel>();
}

template <class T>
Quib::Ptr<T> publish(Orvo::EntityManager& em, std::string const& path) {
  Orvo::MountStatus status = Orvo::mountPending_;
  auto entity = Quib::ptrCast<T>(em.entityIs(path, std::string(T::type), &status));
  if (!entity) throw std::logic_error("cannot publish " + std::string(T::type) + " at " + path);
  return entity;
}

}  // namespace

Host::Paths::Paths(Plix::AddressFamily af) {
  using KernelMfibAgent::Agent;
  Agent::Variant const& v = Agent::variantOf(af);
  mfibDir = v.mfibDir;
  config = v.vifConfigColl;
  status = Cell::path(v.vifStatusColl);
  appDir = v.multicastIntfsAppDir;
  vrfStatus = Cell::path(Agent::vrfStatusPath);
  intfStatus = Agent::intfStatusPath;
}

Host::Host(Options const& options)
    : options_(options),
      paths_(options.af),
      activityManager_(loopFor(options)),
      traceTime_([this] { return activityManager_.currentTime(); }),
      realKernel_(realKernelFor(options)),
      em_(Quib::make<Orvo::EntityManager>(activityManager_.clock())) {
  Entities::registerTypes(*em_);
  config_ = publish<Routing::KernelMfib::ConfigColl>(*em_, paths_.config);
  status_ = publish<Routing::KernelMfib::StatusColl>(*em_, paths_.status);
  vrfs_ = publish<Ip::AllVrfStatusLocal>(*em_, paths_.vrfStatus);
  intfs_ = publish<Interface::AllIntfStatusDir>(*em_, paths_.intfStatus);
  apps_ = publish<Quib::Dir>(*em_, paths_.appDir);
  fib_ = publish<Quib::Dir>(*em_, paths_.mfibDir);
  kernel_.recordingIs(false);
  if (options_.callCost > 0) kernel_.callHookIs([this] { activityManager_.loop().addTime(options_.callCost); });
  if (realKernel_) {
    system_ = std::make_unique<SystemDevices>(
        dynamic_cast<Quib::EpollLoop&>(activityManager_.loop()), activityManager_.clock(), *intfs_,
        [this](Plix::NamespaceName const& ns, auto const& devices) { publishDevices(ns, devices); });
    system_->namespaceIs(Plix::NamespaceName::defaultNamespace());
  } else {
    kernel_.changeHandlerIs([this](Plix::NamespaceName const& ns, std::string const& dev) { mirrorDevices(ns, dev); });
    mirrorDevices(Plix::NamespaceName::defaultNamespace());
  }
  if (options_.agent) startAgent();
}

void Host::startAgent() {
  agentHost_.agentIs(options_.af == Plix::AddressFamily::ipv6 ? KernelMfibAgent::agent6Factory
                                                              : KernelMfibAgent::agent4Factory,
                     agentName);
}

Host::~Host() {
  agentHost_.agentDel();
  system_.reset();
  kernel_.changeHandlerIs(nullptr);
  kernel_.callHookIs(nullptr);
}

std::string Host::kernelRefusal(Statement const& s, bool realKernel) {
  using Kind = Statement::Kind;
  if (!realKernel) return {};
  if (s.kind == Kind::netns || s.kind == Kind::link) {
    return std::string(s.kind == Kind::netns ? "netns" : "link") +
           ": namespaces and devices come from the kernel with a real kernel backend";
  }
  if (s.kind == Kind::fault) return "fault: only the simulated kernel can be told to fail calls";
  return {};
}

void Host::apply(Statement const& s, std::ostream& out) {
  using Kind = Statement::Kind;
  if (std::string why = kernelRefusal(s, realKernel()); !why.empty()) throw StatementError(why);
  switch (s.kind) {
    case Kind::netns: return applyNetns(s);
    case Kind::link: return applyLink(s);
    case Kind::intf: return applyIntf(s);
    case Kind::vrf: return applyVrf(s);
    case Kind::config: return applyConfig(s);
    case Kind::request: return applyRequest(s);
    case Kind::table: return applyTable(s);
    case Kind::route: return applyRoute(s);
    case Kind::fault: return applyFault(s);
    case Kind::advance: return activityManager_.loop().advance(s.seconds);
    case Kind::showKernel: return showKernel(s, out);
    case Kind::restart:
      if (!options_.agent) throw StatementError("this host runs no agent");
      return startAgent();
    case Kind::showStatus: return showStatus(s, out);
    case Kind::showMachines: return showMachines(out);
    case Kind::showMroute: return showMroute(s, out);
    case Kind::showCounters: return showCounters(s, out);
  }
}

void Host::requireNamespace(Plix::NamespaceName const& ns) const {
  bool const exists = system_ ? system_->exists(ns) : kernel_.netns(ns);
  if (!exists) throw StatementError("no namespace " + ns.str());
}

void Host::mirrorDevices(Plix::NamespaceName const& ns, std::string const& dev) {
  if (!dev.empty()) {
    auto kni = publish<KernelNetInfo::Status>(*em_, KernelNetInfo::kniStatusMount(ns));
    if (auto const ifindex = kernel_.ifindex(ns, dev)) return kni->ifIndex.is(dev, *ifindex);
    return kni->ifIndex.del(dev);
  }
  std::map<std::string, std::uint32_t> now;
  if (kernel_.netns(ns)) {
    for (auto const& link : kernel_.links(ns)) now[link.dev] = link.ifindex;
  }
  publishDevices(ns, now);
}

void Host::publishDevices(Plix::NamespaceName const& ns, std::map<std::string, std::uint32_t> const& now) {
  auto kni = publish<KernelNetInfo::Status>(*em_, KernelNetInfo::kniStatusMount(ns));
  std::vector<std::string> gone;
  for (auto const& [dev, index] : kni->ifIndex) {
    if (!now.count(dev)) gone.push_back(dev);
  }
  for (auto const& dev : gone) kni->ifIndex.del(dev);
  for (auto const& [dev, index] : now) kni->ifIndex.is(dev, index);
}

void Host::applyNetns(Statement const& s) {
  if (!s.no) return kernel_.netnsIs(s.ns);
  if (s.ns.isDefault()) throw StatementError("the default namespace cannot be removed");
  requireNamespace(s.ns);
  kernel_.netnsDel(s.ns);
}

void Host::applyLink(Statement const& s) {
  requireNamespace(s.ns);
  try {
    if (s.no) {
      if (!kernel_.ifindex(s.ns, s.dev)) throw StatementError("no device " + s.dev + " in namespace " + s.ns.str());
      return kernel_.linkDel(s.ns, s.dev);
    }
    kernel_.linkIs(s.ns, s.dev, s.ifindex);
  } catch (std::invalid_argument const& e) {
    throw StatementError(e.what());
  }
}

void Host::applyIntf(Statement const& s) {
  if (s.no) {
    if (!intfs_->intfStatus.has(s.intf)) throw StatementError("no interface " + s.intf.name());
    if (system_ && system_->isImplicit(s.intf)) {
      throw StatementError("no intf statement names " + s.intf.name() + ": the device of that name carries it");
    }
    intfs_->intfStatus.del(s.intf);
    if (system_) system_->explicitIntfDel(s.intf);
    return;
  }
  if (system_) system_->explicitIntfIs(s.intf);
  // A new entry is published with its device already set, so readers never see it without.
  if (auto held = intfs_->intfStatus(s.intf)) return held->deviceName.is(s.dev);
  intfs_->intfStatus.isBy(s.intf, [&] {
    auto intf = Quib::make<Interface::IntfStatus>(s.intf);
    intf->deviceName.is(s.dev);
    return intf;
  });
}

void Host::applyVrf(Statement const& s) {
  if (s.no) {
    if (!vrfs_->vrf.has(s.vrf)) throw StatementError("no VRF " + s.vrf.str());
    return vrfs_->vrf.del(s.vrf);
  }
  if (system_ && !s.ns.empty()) system_->namespaceIs(s.ns);
  if (auto held = vrfs_->vrf(s.vrf)) return held->networkNamespace.is(s.ns);
  vrfs_->vrf.isBy(s.vrf, [&] {
    auto vrf = Quib::make<Ip::VrfStatusLocal>(s.vrf);
    vrf->networkNamespace.is(s.ns);
    return vrf;
  });
}

void Host::applyConfig(Statement const& s) {
  if (s.no) {
    if (!config_->vrfConfig.has(s.vrf)) throw StatementError("no config for VRF " + s.vrf.str());
    return config_->vrfConfig.del(s.vrf);
  }
  auto set = [&](Routing::KernelMfib::Config& config) {
    if (s.unresolvedEntries) config.maxUnresolvedCacheEntries.is(*s.unresolvedEntries);
    if (s.unresolvedBuffers) config.maxUnresolvedPktBuffers.is(*s.unresolvedBuffers);
    if (s.max) config.max.is(*s.max);
    if (s.audit) config.audit.is(*s.audit);
  };
  if (auto held = config_->vrfConfig(s.vrf)) return set(*held);
  // A new entry carries what the statement names from the start: the VRF's machine is
  // built with it, not with the defaults first.
  config_->vrfConfig.isBy(s.vrf, [&] {
    auto config = Quib::make<Routing::KernelMfib::Config>(s.vrf);
    set(*config);
    return config;
  });
}

void Host::applyRequest(Statement const& s) {
  using Requests = McastCommon::MulticastIntfsForApplications;
  auto app = apps_->entity<Quib::Dir>(s.app);
  if (s.no) {
    if (!app) throw StatementError("no requests of application " + s.app);
    if (!s.hasVrf) return apps_->entityPtrDel(s.app);
    auto requests = app->entity<Requests>(s.vrf.str());
    if (!requests) throw StatementError("no requests of application " + s.app + " in VRF " + s.vrf.str());
    if (!s.hasIntf) return app->entityPtrDel(s.vrf.str());
    if (!requests->multicastIntf.has(s.intf)) {
      throw StatementError("application " + s.app + " has no request for " + s.intf.name() + " in VRF " +
                           s.vrf.str());
    }
    return requests->multicastIntf.del(s.intf);
  }
  if (auto requests = app ? app->entity<Requests>(s.vrf.str()) : Quib::Ptr<Requests>()) {
    return requests->multicastIntf.is(s.intf, s.on);
  }
  // New entities are published holding the request.
  auto requests = Quib::make<Requests>(s.vrf.str());
  requests->multicastIntf.is(s.intf, s.on);
  if (app) return app->entityPtrIs(s.vrf.str(), requests);
  app = Quib::make<Quib::Dir>(s.app);
  app->entityPtrIs(s.vrf.str(), requests);
  apps_->entityPtrIs(s.app, app);
}

void Host::applyTable(Statement const& s) {
  using Table = Halm::Multicast::Fib::Status;
  auto vrf = fib_->entity<Quib::Dir>(s.vrf.str());
  auto table = vrf ? vrf->entity<Table>(s.table) : Quib::Ptr<Table>();
  if (s.no) {
    if (!table) throw StatementError("no table " + s.table + " in VRF " + s.vrf.str());
    vrf->entityPtrDel(s.table);
    if (vrf->entries() == 0) fib_->entityPtrDel(s.vrf.str());
    return;
  }
  if (!table) {
    table = Quib::make<Table>(s.table);
    if (s.preference) table->preferenceIs(*s.preference);
    if (vrf) return vrf->entityPtrIs(s.table, table);
    vrf = Quib::make<Quib::Dir>(s.vrf.str());
    vrf->entityPtrIs(s.table, table);
    return fib_->entityPtrIs(s.vrf.str(), vrf);
  }
  if (s.preference) table->preferenceIs(*s.preference);
}

void Host::applyRoute(Statement const& s) {
  using Table = Halm::Multicast::Fib::Status;
  auto vrf = fib_->entity<Quib::Dir>(s.vrf.str());
  auto table = vrf ? vrf->entity<Table>(s.table) : Quib::Ptr<Table>();
  if (!table) throw StatementError("no table " + s.table + " in VRF " + s.vrf.str());
  if (s.no) {
    if (!table->hasRoute(s.key)) throw StatementError("no route " + s.key.pretty() + " in table " + s.table);
    return table->routeDel(s.key);
  }
  table->routeIs(Halm::Multicast::Fib::Route(s.key, s.iif, s.oifs, s.flags));
}

void Host::applyFault(Statement const& s) {
  if (s.no) return kernel_.faultDel(s.ns);
  try {
    kernel_.faultIs(s.ns, s.call, s.error, s.count);
  } catch (std::invalid_argument const& e) {
    throw StatementError(e.what());
  }
}

void Host::requireVrf(L3::VrfName const& vrf) const {
  if (vrf.isDefault() || vrfs_->vrf.has(vrf) || config_->vrfConfig.has(vrf) || status_->vrfStatus.has(vrf) ||
      fib_->entityPtr(vrf.str())) {
    return;
  }
  throw StatementError("no VRF " + vrf.str());
}

void Host::showStatus(Statement const& s, std::ostream& out) {
  if (s.hasVrf) requireVrf(s.vrf);
  auto const vrf = s.hasVrf ? std::optional(s.vrf) : std::nullopt;
  auto agent = Quib::ptrCast<KernelMfibAgent::Agent>(agentHost_.agent());
  if (agent && agent->rootSm()) printAuditRecords(out, *agent->rootSm(), vrf);
  printStatusRecords(out, *status_, vrf);
}

void Host::showMachines(std::ostream& out) {
  auto agent = Quib::ptrCast<KernelMfibAgent::Agent>(agentHost_.agent());
  if (!agent || !agent->rootSm()) return;
  printMachineRecords(out, *agent->rootSm());
}

void Host::showMroute(Statement const& s, std::ostream& out) {
  std::set<L3::VrfName> vrfs;
  if (s.hasVrf) {
    requireVrf(s.vrf);
    vrfs.insert(s.vrf);
  } else {
    for (auto const& [name, entity] : *fib_) vrfs.insert(L3::VrfName(name));
    for (auto const& [name, entry] : status_->vrfStatus) vrfs.insert(name);
  }
  for (auto const& vrf : vrfs) {
    MrouteView::Tables tables;
    if (auto dir = fib_->entity<Quib::Dir>(vrf.str())) {
      for (auto const& [name, entity] : *dir) {
        if (auto table = Quib::ptrCast<Halm::Multicast::Fib::Status const>(entity)) tables.push_back(table);
      }
    }
    std::optional<Plix::NamespaceName> ns;
    if (vrf.isDefault()) {
      ns = Plix::NamespaceName::defaultNamespace();
    } else if (auto entry = vrfs_->vrf(vrf); entry && !entry->networkNamespace().empty()) {
      ns = entry->networkNamespace();
    }
    std::vector<Kernel::NamespaceSnapshot::Mfc> mfcs;
    if (ns && kernel_.netns(*ns)) mfcs = kernel_.snapshot(*ns).front().mfcs;
    auto const status = status_->vrfStatus(vrf);
    MrouteView(options_.af, vrf, tables, status.ptr(), mfcs).print(out, s.hasKey ? std::optional(s.key) : std::nullopt);
  }
}

void Host::showKernel(Statement const& s, std::ostream& out) {
  if (s.hasNs) requireNamespace(s.ns);
  try {
    Kernel::printKernelRecords(out, backend().snapshot(s.hasNs ? std::optional(s.ns) : std::nullopt));
  } catch (std::runtime_error const& e) {
    throw StatementError(e.what());
  }
}

void Host::showCounters(Statement const& s, std::ostream& out) {
  if (s.hasNs) requireNamespace(s.ns);
  Kernel::printCounterRecords(out, backend().counters(s.hasNs ? std::optional(s.ns) : std::nullopt));
}

}  // namespace Kmfibd
