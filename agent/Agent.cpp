#include "agent/Agent.h"

#include <cstdlib>

#include "agent/AgentTrace.h"
#include "host/ActivityFacility.h"
#include "host/ActivityManager.h"
#include "orvo/Cell.h"
#include "orvo/MountGroup.h"
#include "quib/Stop.h"
#include "trace/vorlak/Vorlak.h"

namespace KernelMfibAgent {

Agent::Variant const Agent::ipv4{"Agent4", Plix::AddressFamily::ipv4, "routing/multicast/fib",
                                 "routing/kernelmfib/config", "routing/kernelmfib/status",
                                 "multicastIntfs/application"};
Agent::Variant const Agent::ipv6{"Agent6", Plix::AddressFamily::ipv6, "routing6/multicast/fib",
                                 "routing6/kernelmfib/config", "routing6/kernelmfib/status",
                                 "multicastIntfs6/application"};

namespace {

template <class T>
Quib::Ptr<T> entityAt(Orvo::EntityManager const& em, std::string const& path) {
  return Quib::ptrCast<T>(em.getEntity(path));
}

}  // namespace

Agent::~Agent() {
  rootSmDel();
  intfStatusManagerRootDel();
  allVrfStatusLocal_ = nullptr;
  allIntfStatusLocalDir_ = nullptr;
  allIntfStatusDir_ = nullptr;
  mfibDir_ = nullptr;
  multicastIntfsAppDir_ = nullptr;
  vifStatusColl_ = nullptr;
  vifConfigColl_ = nullptr;
}

Quib::Ptr<RootSm> Agent::rootSmIs(Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                  Quib::Ptr<Routing::KernelMfib::ConfigColl const> const& vifConfigColl,
                                  Quib::Ptr<Routing::KernelMfib::StatusColl> const& vifStatusColl,
                                  Quib::Ptr<Quib::Dir const> const& mfibDir,
                                  Quib::Ptr<Interface::AllIntfStatusDir const> const& allIntfStatusDir,
                                  Quib::Ptr<Interface::AllIntfStatusLocalDir const> const& allIntfStatusLocalDir,
                                  Quib::Ptr<Ip::AllVrfStatusLocal const> const& allVrfStatusLocal,
                                  Quib::Ptr<Quib::Clock const> const& clock, Quib::Ptr<Orvo::EntityManager> const& em,
                                  Quib::Ptr<Interface::NetNsIntfStatusManagerRoot> const& intfStatusManagerRoot,
                                  Agent* agent) {
  return rootSm_.is(af, multicastIntfsAppDir, vifConfigColl, vifStatusColl, mfibDir, allIntfStatusDir,
                    allIntfStatusLocalDir, allVrfStatusLocal, clock, em, intfStatusManagerRoot, agent);
}

std::string Agent::vorlakFileName(std::string const& agentName) {
  std::string name = agentName;
  if (!std::getenv("VORLAKDIR")) name += "-%d";
  return name + ".vk";
}

void Agent::doInitAs(Variant const& variant) {
  if (auto t = agentTrace().at(4)) t << fullName() << "::doInit()";
  Quib::ActivityFacility::activityManagerConfig().useEpollIs(true);
  if (!std::getenv("VORLAK_DISABLE")) {
    std::string const file = vorlakFileName(name());
    Vorlak::initialize(file.c_str(), nullptr, nullptr, 0, 24, 0, true, 512);
  }
  auto group = entityManager()->getMountGroup(this);
  group->doMount(Orvo::Mount(variant.mfibDir, "Quib::Dir", "ri"));
  group->doMount(Orvo::Mount(variant.vifConfigColl, "Routing::KernelMfib::ConfigColl", "r"));
  group->doMount(Orvo::Mount(Cell::path(variant.vifStatusColl), "Routing::KernelMfib::StatusColl", "w"));
  group->doMount(Orvo::Mount(variant.multicastIntfsAppDir, "Quib::Dir", "ri"));
  group->doMount(Orvo::Mount(Cell::path(vrfStatusPath), "Ip::AllVrfStatusLocal", "r"));
  createLocalEntity("AllIntfStatusDir", "Interface::AllIntfStatusDir", intfStatusPath);
  createLocalEntity("AllIntfStatusLocalDir", "Interface::AllIntfStatusLocalDir", Cell::path(intfStatusLocalPath));
  localEntitiesCreatedIs(true);
  group->doClose(false, "", 0.0);
}

void Agent::doMountsCompleteAs(Variant const& variant, Orvo::MountStatus status,
                               Quib::Ptr<Orvo::EntityManager> const& em) {
  if (auto t = agentTrace().at(4)) t << fullName() << "::doMountsComplete()";
  if (status != Orvo::mountSuccess_) Quib::stop("mountStatus == Orvo::mountSuccess_");
  mfibDir_ = entityAt<Quib::Dir>(*em, variant.mfibDir);
  vifConfigColl_ = entityAt<Routing::KernelMfib::ConfigColl>(*em, variant.vifConfigColl);
  vifStatusColl_ = entityAt<Routing::KernelMfib::StatusColl>(*em, Cell::path(variant.vifStatusColl));
  multicastIntfsAppDir_ = entityAt<Quib::Dir>(*em, variant.multicastIntfsAppDir);
  allIntfStatusDir_ = entityAt<Interface::AllIntfStatusDir>(*em, intfStatusPath);
  allIntfStatusLocalDir_ = entityAt<Interface::AllIntfStatusLocalDir>(*em, Cell::path(intfStatusLocalPath));
  allVrfStatusLocal_ = entityAt<Ip::AllVrfStatusLocal>(*em, Cell::path(vrfStatusPath));
  intfStatusManagerRootIs(allIntfStatusDir_, allIntfStatusLocalDir_, true);
  Quib::Ptr<Quib::Clock const> clock = Quib::activityManager()->config().clock();
  rootSmIs(variant.af, multicastIntfsAppDir_, vifConfigColl_, vifStatusColl_, mfibDir_, allIntfStatusDir_,
           allIntfStatusLocalDir_, allVrfStatusLocal_, clock, em, intfStatusManagerRoot(), this);
}

Quib::Ptr<AgentBase::CAgent> agentFactory(Quib::Name const& name) {
  auto agent = Quib::make<Agent>(name);
  agent->hasNotificationActiveIs(true);
  return agent;
}

}  // namespace KernelMfibAgent
