#include "entities/Status.h"

namespace Routing::KernelMfib {

Status::Status(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace Routing::KernelMfib
