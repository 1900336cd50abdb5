#pragma once
// What a namespace's device directory says about one interface: its status, the kernel
// device carrying it and that device's kernel interface index. The empty value (no
// status, empty name, index 0) means the interface has no device in the namespace.

#include <cstdint>
#include <ostream>
#include <string>

#include "entities/IntfStatus.h"
#include "quib/Ptr.h"

namespace Interface {

struct IntfStatusAndDeviceName {
  Quib::Ptr<IntfStatus const> intfStatus;
  std::string deviceName;
  std::uint32_t ifIndex = 0;

  bool empty() const { return !intfStatus && deviceName.empty() && ifIndex == 0; }
  friend bool operator==(IntfStatusAndDeviceName const&, IntfStatusAndDeviceName const&) = default;
};

std::ostream& operator<<(std::ostream& os, IntfStatusAndDeviceName const& v);

}  // namespace Interface
