#pragma once
// Runs one agent on a state database: builds it through a factory, switches it on, calls
// doInit(); mount completion then reaches the agent on the event loop. Dropping the agent
// (or building another) destroys the old one while the database stays, as a restart does.

#include <functional>

#include "host/CAgent.h"
#include "orvo/EntityManager.h"

namespace AgentBase {

class AgentHost {
 public:
  using Factory = std::function<Quib::Ptr<CAgent>(Quib::Name const&)>;

  explicit AgentHost(Quib::Ptr<Orvo::EntityManager> em) : em_(std::move(em)) {}
  AgentHost(AgentHost const&) = delete;
  AgentHost& operator=(AgentHost const&) = delete;
  ~AgentHost() { agentDel(); }

  Quib::Ptr<CAgent> agentIs(Factory const& factory, Quib::Name const& name);
  void agentDel();
  Quib::Ptr<CAgent> const& agent() const { return agent_; }

 private:
  Quib::Ptr<Orvo::EntityManager> em_;
  Quib::Ptr<CAgent> agent_;
};

}  // namespace AgentBase
