#include "entities/EntityTypes.h"

#include <string>

#include "entities/AllIntfStatusDir.h"
#include "entities/AllIntfStatusLocalDir.h"
#include "entities/AllVrfStatusLocal.h"
#include "entities/Config.h"
#include "entities/ConfigColl.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/DeviceVrfIntfStatusDir.h"
#include "entities/IntfStatus.h"
#include "entities/MulticastIntfsForApplications.h"
#include "entities/Status.h"
#include "entities/StatusColl.h"
#include "entities/VrfStatusLocal.h"
#include "entities/kni/Status.h"
#include "plix/IntfId.h"

namespace Entities {

namespace {

template <class T>
void typeIs(Orvo::EntityManager& em) {
  em.typeIs(std::string(T::type), [](Quib::Name const& name) { return Quib::Ptr<Quib::Entity>(Quib::make<T>(name)); });
}

}  // namespace

void registerTypes(Orvo::EntityManager& em) {
  typeIs<Routing::KernelMfib::Config>(em);
  typeIs<Routing::KernelMfib::ConfigColl>(em);
  typeIs<Routing::KernelMfib::Status>(em);
  typeIs<Routing::KernelMfib::StatusColl>(em);
  typeIs<Ip::VrfStatusLocal>(em);
  typeIs<Ip::AllVrfStatusLocal>(em);
  typeIs<McastCommon::MulticastIntfsForApplications>(em);
  typeIs<Interface::AllIntfStatusDir>(em);
  typeIs<Interface::AllIntfStatusLocalDir>(em);
  typeIs<Interface::DeviceIntfStatusDir>(em);
  typeIs<Interface::DeviceVrfIntfStatusDir>(em);
  typeIs<KernelNetInfo::Status>(em);
  // Named after its interface, as in the interface-status directories.
  em.typeIs(std::string(Interface::IntfStatus::type), [](Quib::Name const& name) {
    return Quib::Ptr<Quib::Entity>(Quib::make<Interface::IntfStatus>(Plix::IntfId(name)));
  });
}

}  // namespace Entities
