#pragma once
// Makes the platform's entity types known to a state database, so that a mount or a
// local entity of one of them can create it by type name.

#include "orvo/EntityManager.h"

namespace Entities {

void registerTypes(Orvo::EntityManager& em);

}  // namespace Entities
