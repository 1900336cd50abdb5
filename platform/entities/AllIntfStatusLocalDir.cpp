#include "entities/AllIntfStatusLocalDir.h"

namespace Interface {

AllIntfStatusLocalDir::AllIntfStatusLocalDir(Quib::Name name) : IntfStatusDir(std::move(name)) {}

}  // namespace Interface
