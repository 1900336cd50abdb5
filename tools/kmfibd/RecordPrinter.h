#pragma once
// The `show status` and `show machines` records, one a line, sorted by their keys in the
// order they are printed. (The kernel's records have their own printer.) `show status`
// prints the audit records first: records sort by kind.

#include <optional>
#include <ostream>

#include "agent/RootSm.h"
#include "entities/StatusColl.h"
#include "plix/VrfName.h"

namespace Kmfibd {

// status vrf=VRF kind=config|registered intf=INTF vif=N, then kind=reverse vif=N intf=INTF
void printStatusRecords(std::ostream& os, Routing::KernelMfib::StatusColl const& status,
                        std::optional<L3::VrfName> const& vrf);
// audit vrf=VRF every=SECONDS runs=N added=N replaced=N removed=N vifs=N, for each VRF
// whose machine has the audit on
void printAuditRecords(std::ostream& os, KernelMfibAgent::RootSm const& root, std::optional<L3::VrfName> const& vrf);
// machine vrf=VRF ns=NS tables=yes|no vif-review=yes|no key-sync=yes|no
void printMachineRecords(std::ostream& os, KernelMfibAgent::RootSm const& root);

}  // namespace Kmfibd
