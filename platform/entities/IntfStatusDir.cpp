#include "entities/IntfStatusDir.h"

namespace Interface {

IntfStatusDir::IntfStatusDir(Quib::Name name) : Quib::Entity(std::move(name)) {}

IntfStatusDir::~IntfStatusDir() = default;

}  // namespace Interface
