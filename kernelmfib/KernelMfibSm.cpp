#include "kernelmfib/KernelMfibSm.h"

namespace Routing::KernelMfib {

KernelMfibSm::KernelMfibSm(L3::VrfName vrfName, Plix::AddressFamily af, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
                           Quib::Ptr<Config const> vifConfig, Quib::Ptr<Status> vifStatus,
                           Quib::Ptr<Interface::DeviceIntfStatusDir> deviceIntfStatusDir, Plix::NamespaceName ns,
                           Quib::Ptr<Quib::Clock const> clock, Quib::Ptr<KeyToSync const> keyToSync)
    : vrfName_(std::move(vrfName)),
      af_(af),
      multicastIntfsAppDir_(std::move(multicastIntfsAppDir)),
      vifConfig_(std::move(vifConfig)),
      vifStatus_(std::move(vifStatus)),
      deviceIntfStatusDir_(std::move(deviceIntfStatusDir)),
      ns_(std::move(ns)),
      clock_(std::move(clock)),
      keyToSync_(std::move(keyToSync)) {}

KernelMfibSm::~KernelMfibSm() = default;

Quib::Ptr<KernelMfibSm> KernelMfibSm::KernelMfibSmIs(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                                     Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                                     Quib::Ptr<Config const> const& vifConfig,
                                                     Quib::Ptr<Status> const& vifStatus,
                                                     Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                                     Plix::NamespaceName const& ns,
                                                     Quib::Ptr<Quib::Clock const> const& clock,
                                                     Quib::Ptr<KeyToSync const> const& keyToSync) {
  auto sm = Quib::make<KernelMfibSm>(vrfName, af, multicastIntfsAppDir, vifConfig, vifStatus, deviceIntfStatusDir, ns,
                                     clock, keyToSync);
  sm->hasNotificationActiveIs(true);
  return sm;
}

Quib::Ptr<KernelMfibSm> kernelMfibSmFactory(L3::VrfName const& vrfName, Plix::AddressFamily af,
                                            Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir,
                                            Quib::Ptr<Config const> const& vifConfig, Quib::Ptr<Status> const& vifStatus,
                                            Quib::Ptr<Interface::DeviceIntfStatusDir> const& deviceIntfStatusDir,
                                            Plix::NamespaceName const& ns, Quib::Ptr<Quib::Clock const> const& clock,
                                            Quib::Ptr<KeyToSync const> const& keyToSync) {
  return KernelMfibSm::KernelMfibSmIs(vrfName, af, multicastIntfsAppDir, vifConfig, vifStatus, deviceIntfStatusDir, ns,
                                      clock, keyToSync);
}

void KernelMfibSm::mfibHalmDirIs(Quib::Ptr<Halm::Multicast::Fib::MfibHalmColl const> const& coll) {
  mfibHalmDir_ = coll;
}

}  // namespace Routing::KernelMfib
