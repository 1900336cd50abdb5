#pragma once
// Follows one application's directory of request entities, one entry per VRF, inside one
// VRF's KernelMfibSm. Only the entry named after that VRF matters: this machine keeps a
// MulticastIntfsAppSm for it while it is a request entity, and withdraws that machine's
// requests before deleting it. Destroying this machine withdraws nothing.

#include <string>
#include <tuple>

#include "kernelmfib/MulticastIntfsAppSm.h"
#include "plix/VrfName.h"
#include "quib/ConstructorArgs.h"
#include "quib/Dir.h"
#include "quib/OwnedColl.h"
#include "quib/Ptr.h"

namespace Routing::KernelMfib {

class KernelMfibSm;

class MulticastIntfsAppDirSm : public Quib::PtrInterface {
 public:
  // Follows `multicastIntfsAppDir` (when given) at once and reads the entry of its VRF.
  MulticastIntfsAppDirSm(std::string appName, Quib::Ptr<Quib::Dir const> multicastIntfsAppDir,
                         KernelMfibSm* kernelMfibSm);

  // The owner refuses to rebuild this machine on another directory; the back pointer is
  // the same for every member and so is not compared.
  auto constructorArgs() const { return std::tuple(Quib::arg("_multicastIntfsAppDir", multicastIntfsAppDir())); }

  // Switches its reactor and its request machine.
  void hasNotificationActiveIs(bool active);
  bool isNotificationActive() const { return reactor_.isNotificationActive(); }

  std::string const& appName() const { return appName_; }
  Quib::Ptr<Quib::Dir const> const& multicastIntfsAppDir() const { return reactor_.notifier(); }
  KernelMfibSm* kernelMfibSm() const { return kernelMfibSm_; }

  // Keyed by VRF name; holds at most the member for this machine's VRF.
  Quib::OwnedColl<std::string, MulticastIntfsAppSm> multicastIntfsAppSm;
  Quib::Ptr<MulticastIntfsAppSm> multicastIntfsAppSmIs(std::string const& vrf,
                                                       Quib::Ptr<MulticastIntfsAppSm::Requests const> const& entity);
  void multicastIntfsAppSmDel(std::string const& vrf) { multicastIntfsAppSm.del(vrf); }
  void multicastIntfsAppSmDelAll() { multicastIntfsAppSm.delAll(); }

  void handleVrf(L3::VrfName const& vrf);
  void handleVrf();

 private:
  class DirReactor : public Quib::Dir::NotifieeConst {
   public:
    explicit DirReactor(MulticastIntfsAppDirSm* sm) : sm_(sm) {}
    // An entry name too long for a VRF name is refused here, by the conversion.
    void onEntityPtr(Quib::Name const& name) override { sm_->handleVrf(L3::VrfName(name)); }

   private:
    MulticastIntfsAppDirSm* sm_;
  };

  std::string appName_;
  DirReactor reactor_{this};
  KernelMfibSm* kernelMfibSm_;
};

}  // namespace Routing::KernelMfib
