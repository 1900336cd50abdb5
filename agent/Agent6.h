#pragma once
// The IPv6 kernel multicast FIB agent.

#include "agent/Agent.h"

namespace KernelMfibAgent {

class Agent6 : public Agent {
 public:
  using Agent::Agent;
  std::string_view fwkType() const override { return "KernelMfibAgent::Agent6"; }
  void doMountsComplete(Orvo::MountStatus status, Quib::Ptr<Orvo::EntityManager> const& em) override;
  void doInit() override;
};

Quib::Ptr<AgentBase::CAgent> agent6Factory(Quib::Name const& name);

}  // namespace KernelMfibAgent
