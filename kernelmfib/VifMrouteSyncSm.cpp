#include "kernelmfib/VifMrouteSyncSm.h"

namespace Routing::KernelMfib {

VifMrouteSyncSm::VifMrouteSyncSm(L3::VrfName vrfName, Quib::Ptr<Status const> vifStatus,
                                 Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir,
                                 Quib::Ptr<Quib::Clock const> clock, Quib::Ptr<KeyToSync> keyToSync)
    : vrfName_(std::move(vrfName)),
      vifStatus_(std::move(vifStatus)),
      mfibHalmDir_(std::move(mfibHalmDir)),
      clock_(std::move(clock)),
      keyToSync_(std::move(keyToSync)) {}

VifMrouteSyncSm::~VifMrouteSyncSm() = default;

Quib::Ptr<VifMrouteSyncSm> VifMrouteSyncSm::VifMrouteSyncSmIs(
    L3::VrfName const& vrfName, Quib::Ptr<Status const> const& vifStatus,
    Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir, Quib::Ptr<Quib::Clock const> const& clock,
    Quib::Ptr<KeyToSync> const& keyToSync) {
  auto sm = Quib::make<VifMrouteSyncSm>(vrfName, vifStatus, mfibHalmDir, clock, keyToSync);
  sm->hasNotificationActiveIs(true);
  return sm;
}

}  // namespace Routing::KernelMfib
