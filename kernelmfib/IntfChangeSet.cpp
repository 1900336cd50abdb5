#include "kernelmfib/IntfChangeSet.h"

#include <utility>

namespace Routing::KernelMfib {

IntfChangeSet::IntfChangeSet(Quib::Name name) : Quib::Entity(std::move(name)) {}

Quib::Ptr<IntfChangeSet> IntfChangeSet::IntfChangeSetIs() { return Quib::make<IntfChangeSet>("intfChangeSet"); }

void IntfChangeSet::changedIntfIs(Plix::IntfId intf) {
  if (!changedIntf_.insert(intf).second) return;
  notify(&NotifieeConst::onChangedIntf, intf);
}

void IntfChangeSet::changedIntfDel(Plix::IntfId intf) {
  if (changedIntf_.erase(intf) == 0) return;
  notify(&NotifieeConst::onChangedIntf, intf);
}

void IntfChangeSet::changedIntfDelAll() {
  while (!changedIntf_.empty()) changedIntfDel(*changedIntf_.begin());
}

}  // namespace Routing::KernelMfib
