#include "host/ActivityFacility.h"

#include <stdexcept>

#include "host/ActivityManager.h"

namespace Quib::ActivityFacility {

ActivityManagerConfig& activityManagerConfig() {
  ActivityManager* m = activityManager();
  if (!m) throw std::logic_error("activityManagerConfig without an activity manager");
  return m->config();
}

}  // namespace Quib::ActivityFacility
