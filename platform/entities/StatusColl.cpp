#include "entities/StatusColl.h"

namespace Routing::KernelMfib {

StatusColl::StatusColl(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace Routing::KernelMfib
