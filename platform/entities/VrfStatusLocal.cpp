#include "entities/VrfStatusLocal.h"

namespace Ip {

VrfStatusLocal::VrfStatusLocal(Quib::Name name) : Quib::Entity(std::move(name)) {}

std::ostream& operator<<(std::ostream& os, VrfStatusLocal::State state) {
  switch (state) {
    case VrfStatusLocal::State::inactive:
      return os << "inactive";
    case VrfStatusLocal::State::active:
      return os << "active";
    case VrfStatusLocal::State::deleting:
      return os << "deleting";
  }
  return os << "state(" << static_cast<unsigned>(state) << ")";
}

}  // namespace Ip
