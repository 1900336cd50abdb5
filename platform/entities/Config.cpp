#include "entities/Config.h"

namespace Routing::KernelMfib {

Config::Config(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace Routing::KernelMfib
