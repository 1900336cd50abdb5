#pragma once
// How a mount group ended. Only success lets an agent read its mounted entities.

#include <ostream>

namespace Orvo {

enum MountStatus {
  mountPending_ = 0,
  mountUnknownType_ = 1,   // a mount named a type nobody registered
  mountTypeMismatch_ = 2,  // the path holds an entity of another type
  mountSuccess_ = 4,
};

inline std::ostream& operator<<(std::ostream& os, MountStatus s) {
  switch (s) {
    case mountPending_: return os << "mountPending";
    case mountUnknownType_: return os << "mountUnknownType";
    case mountTypeMismatch_: return os << "mountTypeMismatch";
    case mountSuccess_: return os << "mountSuccess";
  }
  return os << "MountStatus(" << static_cast<int>(s) << ")";
}

}  // namespace Orvo
