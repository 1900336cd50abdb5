#include "kernelmfib/MulticastIntfsAppSm.h"

#include <vector>

#include "kernelmfib/KernelMfibSm.h"
#include "kernelmfib/KernelMfibTrace.h"
#include "kernelmfib/MulticastIntfsAppDirSm.h"

namespace Routing::KernelMfib {

MulticastIntfsAppSm::MulticastIntfsAppSm(std::string vrfName, Quib::Ptr<Requests const> multicastIntfsForApp,
                                         MulticastIntfsAppDirSm* appDirSm)
    : vrfName_(std::move(vrfName)), appDirSm_(appDirSm) {
  if (multicastIntfsForApp) reactor_.notifierIs(multicastIntfsForApp);
  reactor_.hasNotificationActiveIs(true);
  handleMulticastIntf();
}

std::string const& MulticastIntfsAppSm::appName() const { return appDirSm_->appName(); }

void MulticastIntfsAppSm::handleMulticastIntf(Plix::IntfId intfId) {
  if (auto t = kernelMfibTrace().at(9)) {
    t << "MulticastIntfsAppSm( " << vrfName_ << " )::handleMulticastIntf( " << intfId << " )";
  }
  auto const& requests = multicastIntfsForApp();
  auto const* wanted = requests ? requests->multicastIntf.find(intfId) : nullptr;
  KernelMfibSm* sm = appDirSm_->kernelMfibSm();
  if (wanted && *wanted) return sm->doRequestIntf(intfId, appName());
  sm->doWithdrawIntf(intfId, appName());
}

void MulticastIntfsAppSm::handleMulticastIntf() {
  if (auto t = kernelMfibTrace().at(9)) t << "MulticastIntfsAppSm( " << vrfName_ << " )::handleMulticastIntf()";
  auto const& requests = multicastIntfsForApp();
  if (!requests) return;
  std::vector<Plix::IntfId> intfs;
  for (auto const& [intfId, wanted] : requests->multicastIntf) intfs.push_back(intfId);
  for (auto intfId : intfs) handleMulticastIntf(intfId);
}

void MulticastIntfsAppSm::doPrepareToDie() {
  if (auto t = kernelMfibTrace().at(9)) t << "MulticastIntfsAppSm( " << vrfName_ << " )::doPrepareToDie()";
  appDirSm_->kernelMfibSm()->doWithdrawAllIntfs(appName());
}

}  // namespace Routing::KernelMfib
