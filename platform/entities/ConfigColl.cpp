#include "entities/ConfigColl.h"

namespace Routing::KernelMfib {

ConfigColl::ConfigColl(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace Routing::KernelMfib
