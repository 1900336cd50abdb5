#include "tools/kmfibd/RecordPrinter.h"

#include <map>
#include <string>

namespace Kmfibd {

namespace {

char const* yesNo(bool b) { return b ? "yes" : "no"; }

}  // namespace

void printStatusRecords(std::ostream& os, Routing::KernelMfib::StatusColl const& status,
                        std::optional<L3::VrfName> const& vrf) {
  for (auto const& [name, entry] : status.vrfStatus) {
    if (vrf && name != *vrf) continue;
    for (auto const& [intf, vif] : entry->vifConfigColl) {
      os << "status vrf=" << name << " kind=config intf=" << intf << " vif=" << vif << "\n";
    }
    // A hash map: sort by interface for a stable listing.
    std::map<Plix::IntfId, Routing::KernelMfib::VifIndex> registered(entry->vifStatusColl.begin(),
                                                                     entry->vifStatusColl.end());
    for (auto const& [intf, vif] : registered) {
      os << "status vrf=" << name << " kind=registered intf=" << intf << " vif=" << vif << "\n";
    }
    for (auto const& [vif, intf] : entry->intfIdColl) {
      os << "status vrf=" << name << " kind=reverse vif=" << vif << " intf=" << intf << "\n";
    }
  }
}

void printAuditRecords(std::ostream& os, KernelMfibAgent::RootSm const& root, std::optional<L3::VrfName> const& vrf) {
  for (auto const& [name, sm] : root.mfibSm) {
    if (vrf && name != *vrf) continue;
    std::uint32_t const every = sm->vifConfig()->audit();
    if (every == 0) continue;
    auto const& totals = sm->auditTotals();
    os << "audit vrf=" << name << " every=" << every << " runs=" << totals.runs << " added=" << totals.added
       << " replaced=" << totals.replaced << " removed=" << totals.removed << " vifs=" << totals.vifs << "\n";
  }
}

void printMachineRecords(std::ostream& os, KernelMfibAgent::RootSm const& root) {
  for (auto const& [name, sm] : root.mfibSm) {
    os << "machine vrf=" << name << " ns=" << sm->ns() << " tables=" << yesNo(sm->mfibHalmDir() != nullptr)
       << " vif-review=" << yesNo(root.vifMrouteSyncSm.has(name)) << " key-sync=" << yesNo(root.keyToSync.has(name))
       << "\n";
  }
}

}  // namespace Kmfibd
