#include "host/CAgent.h"

#include <sstream>
#include <stdexcept>

namespace AgentBase {

CAgent::~CAgent() = default;

Quib::Ptr<Quib::Entity> CAgent::createLocalEntity(std::string const& entityName, std::string const& typeName,
                                                  std::string const& path) {
  if (!em_) throw std::logic_error("createLocalEntity " + entityName + " before the agent has a state database");
  Orvo::MountStatus status = Orvo::mountPending_;
  auto entity = em_->entityIs(path, typeName, &status);
  if (!entity) {
    std::ostringstream os;
    os << "createLocalEntity " << entityName << " at " << path << " of type " << typeName << ": " << status;
    throw std::logic_error(os.str());
  }
  localEntities_[entityName] = path;
  return entity;
}

}  // namespace AgentBase
