#pragma once
// The agent's way to the current activity manager's settings.

#include "host/ActivityManagerConfig.h"

namespace Quib::ActivityFacility {

// Throws std::logic_error when no activity manager lives.
ActivityManagerConfig& activityManagerConfig();

}  // namespace Quib::ActivityFacility
