#include "entities/AllIntfStatusDir.h"

namespace Interface {

AllIntfStatusDir::AllIntfStatusDir(Quib::Name name) : IntfStatusDir(std::move(name)) {}

}  // namespace Interface
