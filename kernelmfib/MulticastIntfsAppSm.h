#pragma once
// Follows one application's request entity for one VRF and turns every change of an
// interface's entry into a request or a withdrawal on the VRF's aggregated interface set.
// Only a present, true entry is a request. Destroying the machine withdraws nothing: its
// owner calls doPrepareToDie first when the application's requests must go.

#include <string>
#include <tuple>

#include "entities/MulticastIntfsForApplications.h"
#include "plix/IntfId.h"
#include "quib/ConstructorArgs.h"
#include "quib/Ptr.h"

namespace Routing::KernelMfib {

class MulticastIntfsAppDirSm;

class MulticastIntfsAppSm : public Quib::PtrInterface {
 public:
  using Requests = McastCommon::MulticastIntfsForApplications;

  // Follows `multicastIntfsForApp` (when given) at once and reads every entry it holds.
  MulticastIntfsAppSm(std::string vrfName, Quib::Ptr<Requests const> multicastIntfsForApp,
                      MulticastIntfsAppDirSm* appDirSm);

  // The owner refuses to rebuild this machine on another request entity.
  auto constructorArgs() const { return std::tuple(Quib::arg("_multicastIntfsForApp", multicastIntfsForApp())); }

  void hasNotificationActiveIs(bool active) { reactor_.hasNotificationActiveIs(active); }
  bool isNotificationActive() const { return reactor_.isNotificationActive(); }

  std::string const& vrfName() const { return vrfName_; }
  Quib::Ptr<Requests const> const& multicastIntfsForApp() const { return reactor_.notifier(); }
  MulticastIntfsAppDirSm* appDirSm() const { return appDirSm_; }

  void handleMulticastIntf(Plix::IntfId intfId);
  void handleMulticastIntf();
  void doPrepareToDie();

 private:
  class RequestsReactor : public Requests::NotifieeConst {
   public:
    explicit RequestsReactor(MulticastIntfsAppSm* sm) : sm_(sm) {}
    void onMulticastIntf(Plix::IntfId intfId) override { sm_->handleMulticastIntf(intfId); }

   private:
    MulticastIntfsAppSm* sm_;
  };

  std::string const& appName() const;

  std::string vrfName_;
  RequestsReactor reactor_{this};
  MulticastIntfsAppDirSm* appDirSm_;
};

}  // namespace Routing::KernelMfib
