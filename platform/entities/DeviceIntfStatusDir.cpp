#include "entities/DeviceIntfStatusDir.h"

namespace Interface {

DeviceIntfStatusDir::DeviceIntfStatusDir(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace Interface
