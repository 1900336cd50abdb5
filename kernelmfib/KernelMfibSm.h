#pragma once
// The per-VRF machine of the agent: it owns the VRF's multicast-routing socket, its VIFs
// and the kernel MFC, built from the VRF's configuration, status, device directory,
// application requests and route tables.

#include "entities/Config.h"
#include "entities/DeviceIntfStatusDir.h"
#include "entities/Status.h"
#include "halm/MfibHalmColl.h"
#include "kernelmfib/KeyToSync.h"
#include "plix/AddressFamily.h"
#include "plix/NamespaceName.h"
#include "plix/VrfName.h"
#include "quib/Clock.h"
#include "quib/Dir.h"
#include "quib/Ptr.h"

namespace Routing::KernelMfib {

class KernelMfibSm : public Quib::PtrInterface {
 public:
  KernelMfibSm(L3::VrfName vrfName, Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
               Quib::Ptr<Config const> vifConfig, Quib::Ptr<Status> vifStatus,
               Quib::Ptr<Interface::DeviceIntfStatusDir> deviceIntfStatusDir, Plix::NamespaceName ns,
               Quib::Ptr<Quib::Clock const> clock, Quib::Ptr<KeyToSync const> keyToSync);
  ~KernelMfibSm() override;

  // Allocates and constructs a machine, then switches its notifications on.
  static Quib::Ptr<KernelMfibSm> KernelMfibSmIs(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                                Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                                Quib::Ptr<Config const> const& vifConfig,
                                                Quib::Ptr<Status> const& vifStatus,
                                                Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                                Plix::NamespaceName const& ns, Quib::Ptr<Quib::Clock const> const& clock,
                                                Quib::Ptr<KeyToSync const> const& keyToSync);

  L3::VrfName const& vrfName() const { return vrfName_; }
  Plix::AddressFamily af() const { return af_; }
  Plix::NamespaceName const& ns() const { return ns_; }
  Quib::Ptr<Config const> const& vifConfig() const { return vifConfig_; }
  Quib::Ptr<Status> const& vifStatus() const { return vifStatus_; }
  Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir() const { return deviceIntfStatusDir_; }
  Quib::Ptr<KeyToSync const> const& keyToSync() const { return keyToSync_; }

  // The VRF's route tables to program from; an empty reference clears them.
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& mfibHalmDir() const { return mfibHalmDir_; }
  void mfibHalmDirIs(Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& coll);

  bool isNotificationActive() const { return active_; }
  void hasNotificationActiveIs(bool active) { active_ = active; }

 private:
  L3::VrfName vrfName_;
  Plix::AddressFamily af_;
  Quib::Ptr<Quib::Dir const> multicastIntfsAppDir_;
  Quib::Ptr<Config const> vifConfig_;
  Quib::Ptr<Status> vifStatus_;
  Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> mfibHalmDir_;
  Quib::Ptr<Interface::DeviceIntfStatusDir> deviceIntfStatusDir_;
  Plix::NamespaceName ns_;
  Quib::Ptr<Quib::Clock const> clock_;
  Quib::Ptr<KeyToSync const> keyToSync_;
  bool active_ = false;
};

// The same as KernelMfibSm::KernelMfibSmIs, for the framework's generic construction.
Quib::Ptr<KernelMfibSm> kernelMfibSmFactory(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                            Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                            Quib::Ptr<Config const> const& vifConfig, Quib::Ptr<Status> const& vifStatus,
                                            Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                            Plix::NamespaceName const& ns, Quib::Ptr<Quib::Clock const> const& clock,
                                            Quib::Ptr<KeyToSync const> const& keyToSync);

}  // namespace Routing::KernelMfib
