#pragma once
// Re-programs the routes that use an interface once that interface gets its VIF: it
// collects such interfaces and walks the VRF's routes in time-bounded slices, handing
// every route that uses one of them to the VRF's KeyToSync.

#include "entities/Status.h"
#include "halm/MfibHalmColl.h"
#include "kernelmfib/KeyToSync.h"
#include "plix/VrfName.h"
#include "quib/Clock.h"
#include "quib/Ptr.h"

namespace Routing::KernelMfib {

class VifMrouteSyncSm : public Quib::PtrInterface {
 public:
  VifMrouteSyncSm(L3::VrfName vrfName, Quib::Ptr<Status const> vifStatus,
                  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir, Quib::Ptr<Quib::Clock const> clock,
                  Quib::Ptr<KeyToSync> keyToSync);
  ~VifMrouteSyncSm() override;

  // Allocates and constructs a machine, then switches its notifications on.
  static Quib::Ptr<VifMrouteSyncSm> VifMrouteSyncSmIs(L3::VrfName const& vrfName,
                                                      Quib::Ptr<Status const> const& vifStatus,
                                                      Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir,
                                                      Quib::Ptr<Quib::Clock const> const& clock,
                                                      Quib::Ptr<KeyToSync> const& keyToSync);

  L3::VrfName const& vrfName() const { return vrfName_; }
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir() const { return mfibHalmDir_; }

  bool isNotificationActive() const { return active_; }
  void hasNotificationActiveIs(bool active) { active_ = active; }

 private:
  L3::VrfName vrfName_;
  Quib::Ptr<Status const> vifStatus_;
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir_;
  Quib::Ptr<Quib::Clock const> clock_;
  Quib::Ptr<KeyToSync> keyToSync_;
  bool active_ = false;
};

}  // namespace Routing::KernelMfib
