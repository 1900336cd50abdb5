#include "host/AgentHost.h"

namespace AgentBase {

Quib::Ptr<CAgent> AgentHost::agentIs(Factory const& factory, Quib::Name const& name) {
  agentDel();
  agent_ = factory(name);
  agent_->entityManagerIs(em_);
  agent_->doInit();
  return agent_;
}

void AgentHost::agentDel() {
  if (!agent_) return;
  auto old = std::move(agent_);
  agent_ = nullptr;
  old->hasNotificationActiveIs(false);
}

}  // namespace AgentBase
