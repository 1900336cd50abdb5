#include "agent/Agent4.h"

#include "agent/AgentTrace.h"

namespace KernelMfibAgent {

void Agent4::doInit() {
  if (auto t = agentTrace().at(8)) t << "virtual void KernelMfibAgent::Agent4::doInit()";
  doInitAs(ipv4);
}

void Agent4::doMountsComplete(Orvo::MountStatus status, Quib::Ptr<Orvo::EntityManager> const& em) {
  if (auto t = agentTrace().at(8)) {
    t << "virtual void KernelMfibAgent::Agent4::doMountsComplete(Orvo::MountStatus, const Ptr&)";
  }
  doMountsCompleteAs(ipv4, status, em);
}

Quib::Ptr<AgentBase::CAgent> agent4Factory(Quib::Name const& name) {
  auto agent = Quib::make<Agent4>(name);
  agent->hasNotificationActiveIs(true);
  return agent;
}

}  // namespace KernelMfibAgent
