#pragma once
// The base of every agent the host runs. The host builds an agent with its name, hands it
// the state database, calls `doInit()` once, and `doMountsComplete()` when the mount group
// that doInit closed has completed. The virtual operations are declared in the order the
// host's table of them has.

#include <map>
#include <string>
#include <string_view>

#include "orvo/EntityManager.h"
#include "orvo/Mounter.h"
#include "quib/Entity.h"

namespace AgentBase {

class CAgent : public Quib::Entity, public Orvo::Mounter {
 public:
  explicit CAgent(Quib::Name name) : Quib::Entity(std::move(name)) {}

  virtual std::string_view fwkType() const { return "AgentBase::CAgent"; }
  ~CAgent() override;
  virtual bool hasBackupSupport() const { return false; }
  void doMountsComplete(Orvo::MountStatus, Quib::Ptr<Orvo::EntityManager> const&) override {}
  virtual void doInit() {}

  std::string_view typeName() const override { return fwkType(); }

  Quib::Ptr<Orvo::EntityManager> const& entityManager() const { return em_; }
  void entityManagerIs(Quib::Ptr<Orvo::EntityManager> em) { em_ = std::move(em); }

  // Publishes an entity owned by this agent at `path`, created when absent (an entity
  // that an earlier agent left there is kept). Throws std::logic_error when the path
  // holds another type or the type is unknown.
  Quib::Ptr<Quib::Entity> createLocalEntity(std::string const& entityName, std::string const& typeName,
                                            std::string const& path);
  std::map<std::string, std::string> const& localEntities() const { return localEntities_; }
  void localEntitiesCreatedIs(bool done) { localEntitiesCreated_ = done; }
  bool localEntitiesCreated() const { return localEntitiesCreated_; }

  bool isNotificationActive() const { return active_; }
  virtual void hasNotificationActiveIs(bool active) { active_ = active; }

 private:
  Quib::Ptr<Orvo::EntityManager> em_;
  std::map<std::string, std::string> localEntities_;  // entity name -> path
  bool localEntitiesCreated_ = false;
  bool active_ = false;
};

}  // namespace AgentBase
