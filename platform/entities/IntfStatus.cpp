#include "entities/IntfStatus.h"

namespace Interface {

IntfStatus::IntfStatus(Plix::IntfId intfId) : Quib::Entity(intfId.name()), intfId_(intfId) {}

}  // namespace Interface
