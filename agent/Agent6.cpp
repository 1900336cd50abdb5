#include "agent/Agent6.h"

#include "agent/AgentTrace.h"

namespace KernelMfibAgent {

void Agent6::doInit() {
  if (auto t = agentTrace().at(8)) t << "virtual void KernelMfibAgent::Agent6::doInit()";
  doInitAs(ipv6);
}

void Agent6::doMountsComplete(Orvo::MountStatus status, Quib::Ptr<Orvo::EntityManager> const& em) {
  if (auto t = agentTrace().at(8)) {
    t << "virtual void KernelMfibAgent::Agent6::doMountsComplete(Orvo::MountStatus, const Ptr&)";
  }
  doMountsCompleteAs(ipv6, status, em);
}

Quib::Ptr<AgentBase::CAgent> agent6Factory(Quib::Name const& name) {
  auto agent = Quib::make<Agent6>(name);
  agent->hasNotificationActiveIs(true);
  return agent;
}

}  // namespace KernelMfibAgent
