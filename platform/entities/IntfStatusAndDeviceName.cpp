#include "entities/IntfStatusAndDeviceName.h"

namespace Interface {

std::ostream& operator<<(std::ostream& os, IntfStatusAndDeviceName const& v) {
  if (v.empty()) return os << "(none)";
  os << '(';
  if (v.intfStatus) {
    os << v.intfStatus->intfId();
  } else {
    os << "<no status>";
  }
  return os << ", " << v.deviceName << ", " << v.ifIndex << ')';
}

}  // namespace Interface
