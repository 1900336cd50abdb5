#include "entities/kni/Status.h"

namespace KernelNetInfo {

Status::Status(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace KernelNetInfo
