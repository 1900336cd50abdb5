#pragma once
// Prints what a kernel holds as the `show kernel` records: all `netns` lines, then all `vif`
// lines, then all `mfc` lines, each kind sorted by its keys (namespace, family, then VIF
// index or source and group), one record a line. The snapshots may come in any order.

#include <ostream>
#include <vector>

#include "kernel/MfcCounter.h"
#include "kernel/NamespaceSnapshot.h"

namespace Kernel {

void printKernelRecords(std::ostream& os, std::vector<NamespaceSnapshot> const& snapshots);

// The `show counters` records, one `counter` line per MFC entry, sorted by namespace, family,
// source and group.
void printCounterRecords(std::ostream& os, std::vector<MfcCounter> const& counters);

}  // namespace Kernel
