#include "entities/AllVrfStatusLocal.h"

namespace Ip {

AllVrfStatusLocal::AllVrfStatusLocal(Quib::Name name) : Quib::Entity(std::move(name)) {}

}  // namespace Ip
