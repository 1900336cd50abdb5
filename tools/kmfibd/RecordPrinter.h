#pragma once
// The `show status` and `show machines` records, one a line, sorted by their keys in the
// order they are printed. (The kernel's records have their own printer.)

#include <optional>
#include <ostream>

#include "agent/RootSm.h"
#include "entities/StatusColl.h"
#include "plix/VrfName.h"

namespace Kmfibd {

// status vrf=VRF kind=config|registered intf=INTF vif=N, then kind=reverse vif=N intf=INTF
void printStatusRecords(std::ostream& os, Routing::KernelMfib::StatusColl const& status,
                        std::optional<L3::VrfName> const& vrf);
// machine vrf=VRF ns=NS tables=yes|no vif-review=yes|no key-sync=yes|no
void printMachineRecords(std::ostream& os, KernelMfibAgent::RootSm const& root);

}  // namespace Kmfibd
